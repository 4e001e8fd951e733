// platform_win32_trust.cpp - who signed a file, as Windows verifies it.
//
// WinVerifyTrust checks a file's embedded Authenticode signature; most of
// Windows' own files carry none and are signed through the system catalogs
// instead, found by the file's hash (CryptCATAdmin*). Revocation lists are
// never fetched: an unreachable server would hold every check for seconds.
// Wine 8.0's WinVerifyTrust reports success for a chain that ends in a root
// nobody trusts (its policy step gives up early), so the chain it built is
// put through the Authenticode chain policy here as well.
#include "platform.h"
#include "text.h"

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <mscat.h>
#include <string.h>

#ifndef CERT_CHAIN_POLICY_MICROSOFT_ROOT
#define CERT_CHAIN_POLICY_MICROSOFT_ROOT ((LPCSTR)7)
#endif

#define HASH_ROOM 64

typedef BOOL(WINAPI *AcquireContext2Function)(HCATADMIN *admin, const GUID *subsystem,
                                              PCWSTR hashAlgorithm,
                                              PCCERT_STRONG_SIGN_PARA strongSign, DWORD flags);
typedef BOOL(WINAPI *CalcHash2Function)(HCATADMIN admin, HANDLE file, DWORD *size, BYTE *hash,
                                        DWORD flags);

// Nonzero when chain passes the policy; *error is the policy's verdict.
static int ChainPasses(PCCERT_CHAIN_CONTEXT chain, LPCSTR policy, DWORD *error)
{
    CERT_CHAIN_POLICY_PARA para;
    CERT_CHAIN_POLICY_STATUS status;
    memset(&para, 0, sizeof para);
    memset(&status, 0, sizeof status);
    para.cbSize = sizeof para;
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(policy, chain, &para, &status)) {
        *error = (DWORD)TRUST_E_SYSTEM_ERROR;
        return 0;
    }
    *error = status.dwError;
    return status.dwError == 0;
}

// The signer's name, and the chain's verdict under the Authenticode policy
// (TRUST_E_NO_SIGNER_CERT when the check left no chain to judge).
static HRESULT JudgeSigner(HANDLE state, PlatSignature *result)
{
    CRYPT_PROVIDER_DATA *provider = WTHelperProvDataFromStateData(state);
    CRYPT_PROVIDER_SGNR *signer =
        provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : NULL;
    if (!signer || !signer->csCertChain || !signer->pasCertChain
        || !signer->pasCertChain[0].pCert)
        return TRUST_E_NO_SIGNER_CERT;
    CertGetNameStringA(signer->pasCertChain[0].pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL,
                       result->signer, PLAT_TEXT_SIZE);
    result->signer[PLAT_TEXT_SIZE - 1] = '\0';
    if (!signer->pChainContext)
        return TRUST_E_NO_SIGNER_CERT;
    DWORD error = 0, rootError = 0;
    int passes = ChainPasses(signer->pChainContext, CERT_CHAIN_POLICY_AUTHENTICODE, &error);
    result->microsoftRoot =
        passes && ChainPasses(signer->pChainContext, CERT_CHAIN_POLICY_MICROSOFT_ROOT, &rootError);
    return (HRESULT)error;
}

// One trust check of what data names; the verdict is the worse of
// WinVerifyTrust's and the chain policy's.
static HRESULT VerifyTrust(WINTRUST_DATA *data, PlatSignature *result)
{
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    data->cbStruct = sizeof *data;
    data->dwUIChoice = WTD_UI_NONE;
    data->fdwRevocationChecks = WTD_REVOKE_NONE;
    data->dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    data->dwStateAction = WTD_STATEACTION_VERIFY;
    HRESULT code = (HRESULT)WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, data);
    result->signer[0] = '\0';
    result->microsoftRoot = 0;
    HRESULT judged = JudgeSigner(data->hWVTStateData, result);
    if (code == S_OK && judged != S_OK)
        code = judged;
    if (code != S_OK)
        result->microsoftRoot = 0;
    data->dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, data);
    return code;
}

// Nonzero for the verdicts that mean the file itself carries no signature.
static int NoEmbeddedSignature(HRESULT code)
{
    return code == TRUST_E_NOSIGNATURE || code == TRUST_E_SUBJECT_FORM_UNKNOWN
           || code == TRUST_E_PROVIDER_UNKNOWN;
}

static void HexTag(const BYTE *hash, DWORD size, WCHAR *tag)
{
    static const WCHAR digits[] = L"0123456789ABCDEF";
    for (DWORD i = 0; i < size; ++i) {
        tag[2 * i] = digits[hash[i] >> 4];
        tag[2 * i + 1] = digits[hash[i] & 15];
    }
    tag[2 * size] = L'\0';
}

// The catalog member's check, with the file's hash as catalogs of that hash
// kind store it: SHA-256 (Windows 8 on) first, then SHA-1. *found zero when
// no catalog names the file.
static HRESULT VerifyFromCatalog(HANDLE file, const WCHAR *path, PlatSignature *result,
                                 int *found)
{
    HMODULE wintrust = GetModuleHandleA("wintrust.dll");
    AcquireContext2Function acquire2 =
        wintrust ? (AcquireContext2Function)(void *)GetProcAddress(wintrust,
                                                                  "CryptCATAdminAcquireContext2")
                 : NULL;
    CalcHash2Function calc2 =
        wintrust ? (CalcHash2Function)(void *)GetProcAddress(
                       wintrust, "CryptCATAdminCalcHashFromFileHandle2")
                 : NULL;
    HRESULT code = TRUST_E_NOSIGNATURE;
    *found = 0;
    for (int pass = 0; pass < 2 && !*found; ++pass) {
        HCATADMIN admin = NULL;
        BYTE hash[HASH_ROOM];
        DWORD size = sizeof hash;
        BOOL hashed = FALSE;
        SetFilePointer(file, 0, NULL, FILE_BEGIN);
        if (pass == 0) {
            if (!acquire2 || !calc2 || !acquire2(&admin, NULL, L"SHA256", NULL, 0))
                continue;
            hashed = calc2(admin, file, &size, hash, 0);
        } else {
            if (!CryptCATAdminAcquireContext(&admin, NULL, 0))
                continue;
            hashed = CryptCATAdminCalcHashFromFileHandle(file, &size, hash, 0);
        }
        HCATINFO info = hashed && size <= HASH_ROOM
                            ? CryptCATAdminEnumCatalogFromHash(admin, hash, size, 0, NULL)
                            : NULL;
        CATALOG_INFO catalog;
        memset(&catalog, 0, sizeof catalog);
        catalog.cbStruct = sizeof catalog;
        if (info && CryptCATCatalogInfoFromContext(info, &catalog, 0)) {
            WCHAR tag[2 * HASH_ROOM + 1];
            HexTag(hash, size, tag);
            WINTRUST_CATALOG_INFO member;
            memset(&member, 0, sizeof member);
            member.cbStruct = sizeof member;
            member.pcwszCatalogFilePath = catalog.wszCatalogFile;
            member.pcwszMemberTag = tag;
            member.pcwszMemberFilePath = path;
            member.hMemberFile = file;
            member.pbCalculatedFileHash = hash;
            member.cbCalculatedFileHash = size;
            WINTRUST_DATA data;
            memset(&data, 0, sizeof data);
            data.dwUnionChoice = WTD_CHOICE_CATALOG;
            data.pCatalog = &member;
            code = VerifyTrust(&data, result);
            *found = 1;
        }
        if (info)
            CryptCATAdminReleaseCatalogContext(admin, info, 0);
        CryptCATAdminReleaseContext(admin, 0);
    }
    return code;
}

static int32_t StateOf(HRESULT code)
{
    switch ((DWORD)code) {
    case (DWORD)S_OK: return PLAT_TRUST_VERIFIED;
    case (DWORD)TRUST_E_NOSIGNATURE:
    case (DWORD)TRUST_E_SUBJECT_FORM_UNKNOWN:
    case (DWORD)TRUST_E_PROVIDER_UNKNOWN: return PLAT_TRUST_NOT_SIGNED;
    case (DWORD)TRUST_E_BAD_DIGEST:
    case (DWORD)CRYPT_E_HASH_VALUE: return PLAT_TRUST_CHANGED;
    case (DWORD)CERT_E_UNTRUSTEDROOT:
    case (DWORD)CERT_E_UNTRUSTEDTESTROOT:
    case (DWORD)CERT_E_CHAINING: return PLAT_TRUST_UNTRUSTED_ROOT;
    case (DWORD)CERT_E_EXPIRED: return PLAT_TRUST_EXPIRED;
    default: return PLAT_TRUST_INVALID;
    }
}

int PlatCheckSignature(const char *path, PlatSignature *result)
{
    memset(result, 0, sizeof *result);
    result->state = PLAT_TRUST_UNCHECKED;
    WCHAR wide[MAX_PATH + 8];
    if (!path || !path[0] || !MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH + 8)) {
        result->code = (int32_t)HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
        return 0;
    }
    // Others may go on using the file; it only has to stay put while read.
    HANDLE file = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        result->code = (int32_t)HRESULT_FROM_WIN32(GetLastError());
        return 0;
    }
    WINTRUST_FILE_INFO info;
    memset(&info, 0, sizeof info);
    info.cbStruct = sizeof info;
    info.pcwszFilePath = wide;
    info.hFile = file;
    WINTRUST_DATA data;
    memset(&data, 0, sizeof data);
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    HRESULT code = VerifyTrust(&data, result);
    if (NoEmbeddedSignature(code)) {
        int found = 0;
        HRESULT catalogCode = VerifyFromCatalog(file, wide, result, &found);
        if (found) {
            code = catalogCode;
            result->fromCatalog = 1;
        }
    }
    CloseHandle(file);
    result->state = StateOf(code);
    result->code = (int32_t)code;
    if (result->state == PLAT_TRUST_NOT_SIGNED)
        result->signer[0] = '\0';
    return 1;
}
