// Signatures on Windows: WinVerifyTrust checks an Authenticode signature through the subject interface
// package Windows has for the file's kind (PE, MSI), and crypt32 checks the detached CMS signature of
// SHA256SUMS. Both DLLs come from the system folder.
#include <windows.h>
// windows.h first: the headers below depend on it.
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <array>

#include "signature_rules.h"
#include "system_functions.h"
#include "windows_disk.h"

namespace distcheck {
namespace {

// WINTRUST_ACTION_GENERIC_VERIFY_V2: the Authenticode policy.
constexpr GUID kAuthenticodePolicy = {0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};
constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// Results that say only that the chain ends where this machine does not trust: the file's bytes are the
// ones signed. Whether that signer is the one to trust is --signer's question.
bool SaysOnlyUntrustedChain(LONG status) {
  return status == ERROR_SUCCESS || status == CERT_E_UNTRUSTEDROOT || status == CERT_E_CHAINING ||
         status == CERT_E_UNTRUSTEDTESTROOT;
}

// "Example C Program: Verifying the Signature of a PE File": TRUST_E_NOSIGNATURE stands for a malformed
// signature too, unless the last error says the file carries none.
bool SaysUnsigned(LONG status, DWORD lastError) {
  const auto noSignature = [](DWORD code) {
    return code == static_cast<DWORD>(TRUST_E_NOSIGNATURE) ||
           code == static_cast<DWORD>(TRUST_E_SUBJECT_FORM_UNKNOWN) ||
           code == static_cast<DWORD>(TRUST_E_PROVIDER_UNKNOWN);
  };
  return status == TRUST_E_SUBJECT_FORM_UNKNOWN || status == TRUST_E_PROVIDER_UNKNOWN ||
         (status == TRUST_E_NOSIGNATURE && noSignature(lastError));
}

std::wstring Code(LONG status) {
  std::array<wchar_t, 16> text{};
  ::wsprintfW(text.data(), L"0x%08X", static_cast<unsigned>(status));
  return text.data();
}

// Subject and thumbprints. SHA-256 needs a provider that has it (XP SP3 and later); before, it stays empty.
void DescribeSigner(const SystemFunctions& crypt32, PCCERT_CONTEXT certificate, Signature& signature) {
  const auto nameToString = crypt32.Get<decltype(::CertNameToStrW)>("CertNameToStrW");
  const auto hashCertificate = crypt32.Get<decltype(::CryptHashCertificate)>("CryptHashCertificate");
  if (nameToString != nullptr) {
    constexpr DWORD kStyle = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG;
    std::wstring subject(nameToString(kEncodings, &certificate->pCertInfo->Subject, kStyle, nullptr, 0), L'\0');
    subject.resize(nameToString(kEncodings, &certificate->pCertInfo->Subject, kStyle, subject.data(),
                                static_cast<DWORD>(subject.size())));
    signature.subject = subject.c_str();
  }
  for (const auto& [algorithm, thumbprint] :
       {std::pair{CALG_SHA1, &signature.sha1}, {CALG_SHA_256, &signature.sha256}}) {
    std::array<BYTE, 32> digest{};
    DWORD size = static_cast<DWORD>(digest.size());
    if (hashCertificate != nullptr && hashCertificate(0, algorithm, 0, certificate->pbCertEncoded,
                                                      certificate->cbCertEncoded, digest.data(), &size)) {
      *thumbprint = ThumbprintHex(digest.data(), size);
    }
  }
}

// Whether the file holds an embedded signature at all: for a file WinVerifyTrust fails on in other ways
// (Wine gives ERROR_INVALID_PARAMETER for a truncated program), that tells unsigned from broken.
bool CarriesSignature(const SystemFunctions& crypt32, const std::wstring& path) {
  const auto queryObject = crypt32.Get<decltype(::CryptQueryObject)>("CryptQueryObject");
  const auto closeStore = crypt32.Get<decltype(::CertCloseStore)>("CertCloseStore");
  const auto closeMessage = crypt32.Get<decltype(::CryptMsgClose)>("CryptMsgClose");
  if (queryObject == nullptr || closeStore == nullptr || closeMessage == nullptr) {
    return true;
  }
  HCERTSTORE store = nullptr;
  HCRYPTMSG message = nullptr;
  const bool found =
      queryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                  CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store, &message, nullptr) != FALSE;
  if (store != nullptr) {
    closeStore(store, 0);
  }
  if (message != nullptr) {
    closeMessage(message);
  }
  return found;
}

}  // namespace

Signature WindowsDisk::ReadSignature(const std::wstring& file) {
  const SystemFunctions wintrust(wintrust_);
  const SystemFunctions crypt32(crypt32_);
  const auto verifyTrust = wintrust.Get<decltype(::WinVerifyTrust)>("WinVerifyTrust");
  const auto providerData = wintrust.Get<decltype(::WTHelperProvDataFromStateData)>("WTHelperProvDataFromStateData");
  const auto signerOf = wintrust.Get<decltype(::WTHelperGetProvSignerFromChain)>("WTHelperGetProvSignerFromChain");
  Signature signature;
  if (verifyTrust == nullptr || providerData == nullptr || signerOf == nullptr) {
    signature.state = Signature::State::kBroken;
    signature.error = L"wintrust.dll could not be loaded to check it";
    return signature;
  }
  const std::wstring path = FullPath(file);
  WINTRUST_FILE_INFO fileInfo{};
  fileInfo.cbStruct = sizeof(fileInfo);
  fileInfo.pcwszFilePath = path.c_str();
  WINTRUST_DATA data{};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  // Nothing is fetched from the network: a check must not wait on, or tell, a server.
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID policy = kAuthenticodePolicy;
  const HWND noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);
  const LONG status = verifyTrust(noWindow, &policy, &data);
  const DWORD lastError = ::GetLastError();
  if (SaysUnsigned(status, lastError) ||
      (status != TRUST_E_BAD_DIGEST && !SaysOnlyUntrustedChain(status) && !CarriesSignature(crypt32, path))) {
    signature.state = Signature::State::kNone;
  } else if (SaysOnlyUntrustedChain(status)) {
    signature.state = Signature::State::kIntact;
  } else {
    signature.state = Signature::State::kBroken;
    signature.error =
        status == TRUST_E_BAD_DIGEST ? L"its digest does not match the file" : L"WinVerifyTrust " + Code(status);
  }
  CRYPT_PROVIDER_DATA* provider = data.hWVTStateData != nullptr ? providerData(data.hWVTStateData) : nullptr;
  CRYPT_PROVIDER_SGNR* signer = provider != nullptr ? signerOf(provider, 0, FALSE, 0) : nullptr;
  if (signer != nullptr && signer->csCertChain > 0 && signer->pasCertChain[0].pCert != nullptr) {
    DescribeSigner(crypt32, signer->pasCertChain[0].pCert, signature);
  } else if (signature.state == Signature::State::kIntact) {
    signature.state = Signature::State::kBroken;
    signature.error = L"it names no signer";
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  verifyTrust(noWindow, &policy, &data);
  return signature;
}

Signature WindowsDisk::ReadDetachedSignature(const std::wstring& signatureFile, const std::wstring& content) {
  const SystemFunctions crypt32(crypt32_);
  const auto verifyDetached =
      crypt32.Get<decltype(::CryptVerifyDetachedMessageSignature)>("CryptVerifyDetachedMessageSignature");
  const auto freeCertificate = crypt32.Get<decltype(::CertFreeCertificateContext)>("CertFreeCertificateContext");
  Signature signature;
  signature.state = Signature::State::kBroken;
  std::wstring error;
  const std::string signatureBytes = ReadBytes(signatureFile, error);
  const std::string contentBytes = ReadBytes(content, error);
  if (verifyDetached == nullptr || freeCertificate == nullptr) {
    signature.error = L"crypt32.dll could not be loaded to check it";
    return signature;
  }
  CRYPT_VERIFY_MESSAGE_PARA parameters{};
  parameters.cbSize = sizeof(parameters);
  parameters.dwMsgAndCertEncodingType = kEncodings;
  const BYTE* signed_[] = {reinterpret_cast<const BYTE*>(contentBytes.data())};
  DWORD signedSizes[] = {static_cast<DWORD>(contentBytes.size())};
  PCCERT_CONTEXT signer = nullptr;
  if (!verifyDetached(&parameters, 0, reinterpret_cast<const BYTE*>(signatureBytes.data()),
                      static_cast<DWORD>(signatureBytes.size()), 1, signed_, signedSizes, &signer)) {
    signature.error = L"it does not sign SHA256SUMS as it is (" + Code(static_cast<LONG>(::GetLastError())) + L")";
    return signature;
  }
  DescribeSigner(crypt32, signer, signature);
  freeCertificate(signer);
  signature.state = Signature::State::kIntact;
  return signature;
}

}  // namespace distcheck
