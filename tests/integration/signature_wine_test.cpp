// signature_wine_test.cpp - the signature check on Windows' own trust calls:
// copies of the probe signed at build time (make_signed_probes.sh) through a
// test root that this program puts into the machine's Root store, one changed
// after signing, one signed through a root nobody trusts, one unsigned.
#include "../../catalogue/catalogue.h"

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <string.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Probe(const char *name)
{
    return std::string(ORVANE_SIGNED_DIR "/") + name;
}

// Wine's chain engine reads the Root store from the registry once, when the
// process first builds a chain, and a registry store writes an added or
// deleted certificate only when committed (closing it may not, while a
// context still holds it): so the test root goes into the machine's Root
// store, committed, before any test of this program runs.
class TestRoot : public testing::Environment {
public:
    static bool added;

    void SetUp() override
    {
        std::ifstream in(ORVANE_SIGNED_DIR "/root.cer", std::ios::binary);
        der.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        HCERTSTORE root = OpenRoot();
        if (!root || der.empty())
            return;
        added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING,
                                                 (const BYTE *)der.data(), (DWORD)der.size(),
                                                 CERT_STORE_ADD_REPLACE_EXISTING, NULL) &&
                CertControlStore(root, 0, CERT_STORE_CTRL_COMMIT, NULL);
        CertCloseStore(root, 0);
    }
    void TearDown() override
    {
        HCERTSTORE root = OpenRoot();
        PCCERT_CONTEXT cert = root && !der.empty()
            ? CertCreateCertificateContext(X509_ASN_ENCODING, (const BYTE *)der.data(),
                                           (DWORD)der.size())
            : NULL;
        PCCERT_CONTEXT found =
            cert ? CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                              cert, NULL)
                 : NULL;
        if (found && CertDeleteCertificateFromStore(found)) // frees it
            CertControlStore(root, 0, CERT_STORE_CTRL_COMMIT, NULL);
        if (cert)
            CertFreeCertificateContext(cert);
        if (root)
            CertCloseStore(root, 0);
        added = false;
    }

private:
    std::string der;

    static HCERTSTORE OpenRoot()
    {
        return CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                             CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    }
};

bool TestRoot::added = false;
testing::Environment *const testRoot = testing::AddGlobalTestEnvironment(new TestRoot);

class Signatures : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(TestRoot::added) << "the test root is in the Root store"; }
};

TEST_F(Signatures, VerifiedChangedUntrustedAndUnsignedAreToldApart)
{
    PlatSignature got;
    ASSERT_TRUE(PlatCheckSignature(Probe("signed.exe").c_str(), &got));
    EXPECT_EQ(PLAT_TRUST_VERIFIED, got.state) << std::hex << got.code;
    EXPECT_STREQ("Contoso Ltd", got.signer);
    EXPECT_EQ(0, got.microsoftRoot) << "a test root is not one of Microsoft's";
    EXPECT_EQ(0, got.fromCatalog);

    ASSERT_TRUE(PlatCheckSignature(Probe("changed.exe").c_str(), &got));
    EXPECT_EQ(PLAT_TRUST_CHANGED, got.state) << std::hex << got.code;

    // Wine's WinVerifyTrust says yes here: the chain policy must say no.
    ASSERT_TRUE(PlatCheckSignature(Probe("untrusted.exe").c_str(), &got));
    EXPECT_EQ(PLAT_TRUST_UNTRUSTED_ROOT, got.state) << std::hex << got.code;
    EXPECT_EQ(0, got.microsoftRoot);

    ASSERT_TRUE(PlatCheckSignature(Probe("unsigned.exe").c_str(), &got));
    EXPECT_EQ(PLAT_TRUST_NOT_SIGNED, got.state) << std::hex << got.code;
    EXPECT_STREQ("", got.signer);

    EXPECT_FALSE(PlatCheckSignature(Probe("absent.exe").c_str(), &got));
    EXPECT_EQ(PLAT_TRUST_UNCHECKED, got.state);
}

TEST_F(Signatures, PublisherLinesOfTheSignedFiles)
{
    ForgetSignatures();
    const char *files[] = {"signed.exe", "changed.exe", "untrusted.exe", "unsigned.exe"};
    const char *texts[] = {"Contoso Ltd (verified)", "signature not valid: changed since signed",
                           "signature not valid: untrusted root", PUBLISHER_NOT_SIGNED};
    for (int i = 0; i < 4; ++i) {
        AutostartItem item;
        memset(&item, 0, sizeof item);
        ReadPublisher(&item, Probe(files[i]).c_str());
        EXPECT_STREQ(texts[i], item.publisher) << files[i];
        EXPECT_EQ(0, item.signedByWindows) << files[i];
    }
    ForgetSignatures();
}

} // namespace
