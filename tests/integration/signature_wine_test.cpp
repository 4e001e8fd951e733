// signature_wine_test.cpp - the signature check on Windows' own trust calls:
// copies of the probe signed at build time (make_signed_probes.sh) through a
// test root that this suite puts into the user's Root store, one changed
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

class Signatures : public testing::Test {
protected:
    static HCERTSTORE root;
    static PCCERT_CONTEXT added;

    static void SetUpTestSuite()
    {
        std::ifstream in(ORVANE_SIGNED_DIR "/root.cer", std::ios::binary);
        std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        root = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                             "Root");
        if (root && !der.empty())
            CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, (const BYTE *)der.data(),
                                             (DWORD)der.size(), CERT_STORE_ADD_REPLACE_EXISTING,
                                             &added);
    }
    static void TearDownTestSuite()
    {
        if (added)
            CertDeleteCertificateFromStore(added); // frees it
        if (root)
            CertCloseStore(root, 0);
        added = NULL;
        root = NULL;
    }
    void SetUp() override { ASSERT_NE(nullptr, added) << "the test root is in the Root store"; }

    // Whether this system's chain engine trusts the root just added.
    static bool RootTrusted()
    {
        CERT_CHAIN_PARA para;
        memset(&para, 0, sizeof para);
        para.cbSize = sizeof para;
        PCCERT_CHAIN_CONTEXT chain = NULL;
        if (!CertGetCertificateChain(NULL, added, NULL, NULL, &para, 0, NULL, &chain))
            return false;
        bool trusted = !(chain->TrustStatus.dwErrorStatus & CERT_TRUST_IS_UNTRUSTED_ROOT);
        CertFreeCertificateChain(chain);
        return trusted;
    }
};

HCERTSTORE Signatures::root = NULL;
PCCERT_CONTEXT Signatures::added = NULL;

TEST_F(Signatures, VerifiedChangedUntrustedAndUnsignedAreToldApart)
{
    PlatSignature got;
    ASSERT_TRUE(PlatCheckSignature(Probe("signed.exe").c_str(), &got));
    if (RootTrusted())
        EXPECT_EQ(PLAT_TRUST_VERIFIED, got.state) << std::hex << got.code;
    else
        EXPECT_EQ(PLAT_TRUST_UNTRUSTED_ROOT, got.state) << "never verified through an untrusted root";
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
    if (!RootTrusted())
        GTEST_SKIP() << "this Wine's chain engine does not take the added test root";
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
