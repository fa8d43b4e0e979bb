// Signatures on Linux: osslsigncode computes the Authenticode digests of PE and MSI files (it knows both
// layouts) and checks each signature against them; libcrypto reads the signer and checks the detached
// CMS signature of SHA256SUMS.
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "linux_disk.h"
#include "signature_rules.h"

extern char** environ;

namespace distcheck {
namespace {

// The roots a signer's chain may end in besides the certificates the signature carries itself: whether
// the signer is the one to trust is --signer's question, not the chain's.
constexpr const char* kSystemRoots = "/etc/ssl/certs/ca-certificates.crt";

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* object) const { Free(object); }
};
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, Deleter<PKCS7, PKCS7_free>>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo, CMS_ContentInfo_free>>;

void FreeX509Stack(STACK_OF(X509) * certificates) { sk_X509_free(certificates); }
using X509StackPtr = std::unique_ptr<STACK_OF(X509), Deleter<STACK_OF(X509), FreeX509Stack>>;

// A folder of its own for osslsigncode's files, gone with the object.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string name = (std::filesystem::temp_directory_path() / "distcheck.XXXXXX").string();
    if (::mkdtemp(name.data()) != nullptr) {
      path_ = name;
    }
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) {
      std::filesystem::remove_all(path_, ignored);
    }
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct ToolRun {
  int exitCode = -1;  // -1: it could not be started
  std::string output;
};

// Runs osslsigncode with these arguments, without a shell, its output (both streams) kept.
ToolRun RunOsslsigncode(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "osslsigncode");
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  std::array<int, 2> pipe{};
  ToolRun run;
  if (::pipe(pipe.data()) != 0) {
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe[0]);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", 0, 0);
  pid_t child = 0;
  const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe[1]);
  std::array<char, 4096> chunk{};
  for (ssize_t got; (got = ::read(pipe[0], chunk.data(), chunk.size())) > 0;) {
    run.output.append(chunk.data(), static_cast<std::size_t>(got));
  }
  ::close(pipe[0]);
  int status = 0;
  if (spawned == 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    run.exitCode = WEXITSTATUS(status);
  }
  return run;
}

// As Windows' CertNameToStr shows it (most significant part last, ", " between), UTF-8 kept as it is.
constexpr unsigned long kSubjectStyle =
    (XN_FLAG_RFC2253 & ~XN_FLAG_SEP_MASK & ~ASN1_STRFLGS_ESC_MSB) | XN_FLAG_SEP_CPLUS_SPC;

// The subject comes back as UTF-8, for the disk to decode as it decodes names.
std::string DescribeSigner(X509* certificate, Signature& signature) {
  BioPtr text(BIO_new(BIO_s_mem()));
  X509_NAME_print_ex(text.get(), X509_get_subject_name(certificate), 0, kSubjectStyle);
  char* data = nullptr;
  const long size = BIO_get_mem_data(text.get(), &data);
  std::string subject(data, static_cast<std::size_t>(size));
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned digestSize = 0;
  X509_digest(certificate, EVP_sha1(), digest.data(), &digestSize);
  signature.sha1 = ThumbprintHex(digest.data(), digestSize);
  X509_digest(certificate, EVP_sha256(), digest.data(), &digestSize);
  signature.sha256 = ThumbprintHex(digest.data(), digestSize);
  return subject;
}

std::string LastCryptoError() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  std::array<char, 256> text{};
  ERR_error_string_n(code, text.data(), text.size());
  return code == 0 ? "not a signature" : text.data();
}

}  // namespace

Signature LinuxDisk::ReadSignature(const std::wstring& file) {
  Signature signature;
  const ScratchFolder scratch;
  const std::string path = LinuxPath(file).string();
  const std::string extracted = (scratch.path() / "signature.pem").string();
  if (scratch.path().empty() ||
      RunOsslsigncode({"extract-signature", "-pem", "-in", path, "-out", extracted}).exitCode != 0) {
    return signature;  // no signature osslsigncode can find: unsigned, or a file it cannot sign
  }
  signature.state = Signature::State::kBroken;
  BioPtr input(BIO_new_file(extracted.c_str(), "r"));
  const Pkcs7Ptr pkcs7(input ? PEM_read_bio_PKCS7(input.get(), nullptr, nullptr, nullptr) : nullptr);
  const X509StackPtr signers(pkcs7 && PKCS7_type_is_signed(pkcs7.get()) ? PKCS7_get0_signers(pkcs7.get(), nullptr, 0)
                                                                        : nullptr);
  if (!signers || sk_X509_num(signers.get()) == 0) {
    signature.error = L"its signature cannot be read: " + DecodeName(LastCryptoError());
    return signature;
  }
  signature.subject = DecodeName(DescribeSigner(sk_X509_value(signers.get(), 0), signature));
  const std::string roots = (scratch.path() / "roots.pem").string();
  {
    BioPtr output(BIO_new_file(roots.c_str(), "w"));
    BioPtr system(BIO_new_file(kSystemRoots, "r"));
    while (system) {
      std::unique_ptr<X509, Deleter<X509, X509_free>> root(PEM_read_bio_X509(system.get(), nullptr, nullptr, nullptr));
      if (!root) {
        break;
      }
      PEM_write_bio_X509(output.get(), root.get());
    }
    ERR_clear_error();
    STACK_OF(X509)* carried = pkcs7->d.sign->cert;
    for (int i = 0; i < sk_X509_num(carried); ++i) {
      PEM_write_bio_X509(output.get(), sk_X509_value(carried, i));
    }
  }
  const ToolRun verify = RunOsslsigncode({"verify", "-CAfile", roots, "-TSA-CAfile", roots, "-in", path});
  if (verify.exitCode == -1) {
    signature.error = L"osslsigncode, which checks signatures here, could not be started";
  } else if (verify.exitCode != 0) {
    signature.error = verify.output.find("MISMATCH") != std::string::npos ? L"its digest does not match the file"
                                                                          : L"osslsigncode verify refuses it";
  } else {
    signature.state = Signature::State::kIntact;
  }
  return signature;
}

Signature LinuxDisk::ReadDetachedSignature(const std::wstring& signatureFile, const std::wstring& content) {
  Signature signature;
  signature.state = Signature::State::kBroken;
  BioPtr input(BIO_new_file(LinuxPath(signatureFile).c_str(), "rb"));
  const CmsPtr cms(input ? d2i_CMS_bio(input.get(), nullptr) : nullptr);
  BioPtr signedBytes(BIO_new_file(LinuxPath(content).c_str(), "rb"));
  if (!cms || !signedBytes) {
    signature.error = L"not a CMS signature: " + DecodeName(LastCryptoError());
    return signature;
  }
  // The signer's chain is not checked: which signer to trust is --signer's question.
  if (CMS_verify(cms.get(), nullptr, nullptr, signedBytes.get(), nullptr, CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) !=
      1) {
    signature.error = L"it does not sign SHA256SUMS as it is: " + DecodeName(LastCryptoError());
    return signature;
  }
  const X509StackPtr signers(CMS_get0_signers(cms.get()));
  if (!signers || sk_X509_num(signers.get()) == 0) {
    signature.error = L"it names no signer";
    return signature;
  }
  signature.subject = DecodeName(DescribeSigner(sk_X509_value(signers.get(), 0), signature));
  signature.state = Signature::State::kIntact;
  return signature;
}

std::optional<std::string> CertificateThumbprint(const std::filesystem::path& file) {
  BioPtr input(BIO_new_file(file.c_str(), "rb"));
  std::unique_ptr<X509, Deleter<X509, X509_free>> certificate(
      input ? PEM_read_bio_X509(input.get(), nullptr, nullptr, nullptr) : nullptr);
  if (!certificate && input) {
    BIO_reset(input.get());
    certificate.reset(d2i_X509_bio(input.get(), nullptr));
  }
  ERR_clear_error();
  if (!certificate) {
    return std::nullopt;
  }
  Signature described;
  DescribeSigner(certificate.get(), described);
  return described.sha256;
}

}  // namespace distcheck
