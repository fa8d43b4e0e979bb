#include "signature_rules.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "distribution_check.h"
#include "folder_rules.h"

namespace distcheck {
namespace {

constexpr std::size_t kSha1Digits = 40;
constexpr std::size_t kSha256Digits = 64;

// What a file is to the release: its own programs and packages carry the release's signature; a
// provider's setup is its vendor's, held to a signer only where the caller names the signers.
enum class Role { kRelease, kPackage, kProvider, kSums };

struct SignedFile {
  std::wstring path;
  Role role;
  Signature signature;
};

bool IsSigned(const SignedFile& file) { return file.signature.state != Signature::State::kNone; }

bool SignedBy(const Signature& signature, const std::string& thumbprint) {
  return signature.state == Signature::State::kIntact &&
         (signature.sha1 == thumbprint || signature.sha256 == thumbprint);
}

std::wstring Widen(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

std::wstring SignerOf(const Signature& signature) {
  return ShowName(signature.subject) + L" (SHA-1 " + Widen(signature.sha1) + L")";
}

// The path of a plain file of that name in the folder (empty: beside Setup.exe); empty when there is none.
std::wstring FileAt(const Tree& tree, const std::wstring& folder, const wchar_t* name) {
  const Listing* listing = &tree.root;
  std::wstring prefix;
  if (!folder.empty()) {
    const auto below = std::find_if(tree.below.begin(), tree.below.end(),
                                    [&folder](const auto& entry) { return SameName(entry.first, folder); });
    if (below == tree.below.end()) {
      return {};
    }
    listing = &below->second;
    prefix = below->first + L"\\";
  }
  const DiskEntry* found = FindEntry(*listing, name);
  return found == nullptr || found->folder || found->link || found->special ? std::wstring() : prefix + found->name;
}

std::vector<SignedFile> ReadSignatures(Disk& disk, const Tree& tree, const std::vector<std::wstring>& packages) {
  std::vector<SignedFile> files;
  const auto add = [&](const std::wstring& path, Role role) {
    if (!path.empty()) {
      files.push_back({path, role, disk.ReadSignature(path)});
    }
  };
  add(FileAt(tree, L"", kProgram), Role::kRelease);
  add(FileAt(tree, kToolsFolder, kTool), Role::kRelease);
  for (const std::wstring& package : packages) {
    add(package, Role::kPackage);
  }
  for (const wchar_t* provider : kProviders) {
    add(FileAt(tree, provider, kProgram), Role::kProvider);
  }
  const std::wstring sums = FileAt(tree, L"", kSums);
  const std::wstring sumsSignature = FileAt(tree, L"", kSumsSignature);
  if (!sums.empty() && !sumsSignature.empty()) {
    files.push_back({sumsSignature, Role::kSums, disk.ReadDetachedSignature(sumsSignature, sums)});
  }
  return files;
}

// Without signers named, the release's signer is Setup.exe's, or failing that the first of its own files'.
const Signature* ReleaseSigner(const std::vector<SignedFile>& files) {
  const auto signedOwn = [](const SignedFile& file) {
    return file.signature.state == Signature::State::kIntact &&
           (file.role == Role::kRelease || file.role == Role::kPackage);
  };
  const auto found = std::find_if(files.begin(), files.end(), signedOwn);
  return found == files.end() ? nullptr : &found->signature;
}

void FindProblemsAgainstSigners(const std::vector<SignedFile>& files, const std::vector<std::string>& signers,
                                std::vector<std::wstring>& problems) {
  const bool sumsSigned =
      std::any_of(files.begin(), files.end(), [](const SignedFile& file) { return file.role == Role::kSums; });
  if (!sumsSigned) {
    problems.push_back(
        L"SHA256SUMS with SHA256SUMS.p7s beside it is missing: the list of files is not signed (--signer)");
  }
  for (const SignedFile& file : files) {
    const bool bySigner = std::any_of(signers.begin(), signers.end(),
                                      [&file](const std::string& signer) { return SignedBy(file.signature, signer); });
    if (file.signature.state == Signature::State::kNone) {
      problems.push_back(ShowName(file.path) + L" is not signed (--signer)");
    } else if (file.signature.state == Signature::State::kIntact && !bySigner) {
      problems.push_back(ShowName(file.path) + L" is signed by " + SignerOf(file.signature) + L", not by --signer");
    }
  }
}

void FindProblemsAgainstRelease(const std::vector<SignedFile>& files, std::vector<std::wstring>& problems) {
  const Signature* release = ReleaseSigner(files);
  if (release == nullptr) {
    return;
  }
  // The packages are signed all or none: signing them is the release engineer's choice.
  const bool packagesSigned = std::any_of(
      files.begin(), files.end(), [](const SignedFile& file) { return file.role == Role::kPackage && IsSigned(file); });
  for (const SignedFile& file : files) {
    if (file.role == Role::kProvider || file.signature.state == Signature::State::kBroken) {
      continue;
    }
    if (file.signature.state == Signature::State::kIntact && !SignedBy(file.signature, release->sha256)) {
      problems.push_back(ShowName(file.path) + L" is signed by " + SignerOf(file.signature) +
                         L", not by the release's signer " + SignerOf(*release));
    } else if (!IsSigned(file) && (file.role == Role::kRelease || packagesSigned)) {
      problems.push_back(ShowName(file.path) + L" is not signed, where the release's other files are signed by " +
                         SignerOf(*release));
    }
  }
}

// Files by signer, in the order they were read: the signer lines once, its files above them.
void ReportSigners(const std::vector<SignedFile>& files, std::vector<std::wstring>& report) {
  std::vector<bool> shown(files.size(), false);
  for (std::size_t first = 0; first < files.size(); ++first) {
    if (shown[first]) {
      continue;
    }
    const Signature& signature = files[first].signature;
    const auto same = [&signature](const Signature& other) {
      return other.state == signature.state &&
             (signature.state != Signature::State::kIntact || other.sha256 == signature.sha256);
    };
    std::wstring paths;
    for (std::size_t next = first; next < files.size(); ++next) {
      if (!shown[next] && same(files[next].signature)) {
        shown[next] = true;
        paths += (paths.empty() ? L"" : L", ") + ShowName(files[next].path);
      }
    }
    Wrap(paths, 2, report);
    switch (signature.state) {
      case Signature::State::kNone:
        report.push_back(L"    not signed");
        break;
      case Signature::State::kBroken:
        Wrap(L"signature does not verify: " + ShowName(signature.error), 4, report);
        break;
      case Signature::State::kIntact:
        Wrap(L"signed by " + ShowName(signature.subject), 4, report);
        report.push_back(L"    SHA-1    " + Widen(signature.sha1));
        report.push_back(L"    SHA-256  " + Widen(signature.sha256));
        break;
    }
  }
}

}  // namespace

std::string ThumbprintHex(const unsigned char* bytes, std::size_t size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (std::size_t i = 0; i < size; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0xF];
  }
  return hex;
}

std::optional<std::string> ParseThumbprint(const std::string& text) {
  std::string hex;
  for (const char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    } else if (c != ' ' && c != ':') {
      return std::nullopt;
    }
  }
  if (hex.size() != kSha1Digits && hex.size() != kSha256Digits) {
    return std::nullopt;
  }
  return hex;
}

void CheckSignatures(Disk& disk, const Tree& tree, const std::vector<std::wstring>& packages,
                     const std::vector<std::string>& signers, std::vector<std::wstring>& report,
                     std::vector<std::wstring>& problems) {
  const std::vector<SignedFile> files = ReadSignatures(disk, tree, packages);
  report.push_back(L"");
  report.push_back(L"Signatures (Authenticode; SHA256SUMS.p7s is CMS, of SHA256SUMS)");
  ReportSigners(files, report);
  if (!FileAt(tree, L"", kSums).empty()) {
    std::wstring error;
    const std::string digest = disk.Sha256(kSums, error);
    if (!digest.empty()) {
      report.push_back(L"  SHA256SUMS, to compare with the one the release gave you");
      report.push_back(L"    SHA-256  " + Widen(digest));
    }
  }
  for (const SignedFile& file : files) {
    if (file.signature.state == Signature::State::kBroken) {
      problems.push_back(ShowName(file.path) + L": its signature does not verify (" + ShowName(file.signature.error) +
                         L"): changed after it was signed, or damaged");
    }
  }
  if (signers.empty()) {
    FindProblemsAgainstRelease(files, problems);
  } else {
    FindProblemsAgainstSigners(files, signers, problems);
  }
}

}  // namespace distcheck
