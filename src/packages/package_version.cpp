#include "packages/package_version.h"

#include <cwchar>
#include <initializer_list>
#include <limits>

#include "base/messages.h"
#include "packages/msi_access.h"
#include "packages/package_identity.h"
#include "packages/package_search.h"

namespace setup {
namespace {

using platform::Status;

// The scan's white space: what the C locale's isspace accepts.
bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// One "%I64d": blanks, an optional sign, then at least one digit. A number too large for 64 bits is
// held at the nearest end of the range, as strtoll does; every digit is consumed all the same.
bool ScanInteger(const std::wstring& text, std::size_t& position, std::int64_t& value) {
  std::size_t at = position;
  while (at < text.size() && IsBlank(text[at])) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
    negative = text[at] == L'-';
    ++at;
  }
  if (at >= text.size() || !IsDigit(text[at])) {
    return false;
  }
  // The magnitude is gathered unsigned so that the most negative number is reachable.
  const std::uint64_t limit =
      negative ? std::uint64_t{1} << 63 : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  std::uint64_t magnitude = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    const auto digit = static_cast<std::uint64_t>(text[at] - L'0');
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  position = at;
  return true;
}

// Two's-complement wrap on overflow, as the packed key is defined; done unsigned to stay defined.
std::int64_t PackedKey(const VersionNumber& version) {
  std::uint64_t key = 0;
  for (std::int64_t part : version.parts) {
    key = key * 65536u + static_cast<std::uint64_t>(part);
  }
  return static_cast<std::int64_t>(key);
}

// printf's "%s" for each argument in turn, without its dependence on the runtime's idea of %s in
// wide formats; inserted texts are not scanned again.
std::wstring FormatMessageText(std::wstring text, std::initializer_list<const std::wstring*> arguments) {
  std::size_t from = 0;
  for (const std::wstring* argument : arguments) {
    const std::size_t at = text.find(L"%s", from);
    if (at == std::wstring::npos) {
      break;
    }
    text.replace(at, 2, *argument);
    from = at + argument->size();
  }
  return text;
}

Status ReadInstalledVersion(Installer& installer, const std::wstring& productCode, const RunConduct& conduct,
                            std::wstring& version) {
  if (const Status status = ReadProductVersion(installer, productCode, conduct, version); status != 0) {
    ShowMessage(conduct, box::kLookupError, IDS_INSTALLED_VERSION_UNREADABLE);
    return status;
  }
  return 0;
}

}  // namespace

namespace {

// Up to four "%I64d" parts joined by dots, as far as the text allows; position ends after the last.
VersionNumber ScanVersion(const std::wstring& text, std::size_t& position) {
  VersionNumber version;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (position >= text.size() || text[position] != L'.') {
        break;
      }
      ++position;
    }
    if (!ScanInteger(text, position, version.parts[part])) {
      break;
    }
  }
  return version;
}

}  // namespace

VersionNumber ParseVersion(const std::wstring& text) {
  std::size_t position = 0;
  return ScanVersion(text, position);
}

// Each part is one 16-bit digit of the packed key; a larger or negative part carries into the next.
bool IsComparableVersion(const std::wstring& text) {
  constexpr std::int64_t kLargestPart = 65535;
  std::size_t position = 0;
  const VersionNumber version = ScanVersion(text, position);
  bool inRange = true;
  for (std::int64_t part : version.parts) {
    inRange = inRange && part >= 0 && part <= kLargestPart;
  }
  return !text.empty() && position == text.size() && inRange;
}

int CompareVersions(const VersionNumber& a, const VersionNumber& b) {
  const std::int64_t keyA = PackedKey(a);
  const std::int64_t keyB = PackedKey(b);
  return keyA > keyB ? 1 : keyA < keyB ? -1 : 0;
}

Status ReadProductVersion(Installer& installer, const std::wstring& productCode, const RunConduct& conduct,
                          std::wstring& version) {
  std::uint32_t size = 0;
  if (const Status status = installer.MsiGetProductInfoW(productCode.c_str(), L"VersionString", nullptr, &size)) {
    conduct.Log({L"installed version cannot be read, error ", FormatUnsigned(status)});
    // The table has no text for this failure; 131 says what went wrong. The result is 1 by contract.
    return 1;
  }
  ++size;
  std::wstring text(size, L'\0');
  const Status status = installer.MsiGetProductInfoW(productCode.c_str(), L"VersionString", text.data(), &size);
  if (status != 0) {
    conduct.Log({L"installed version cannot be read, error ", FormatUnsigned(status)});
    return status;
  }
  text.resize(std::wcslen(text.c_str()));
  version = std::move(text);
  conduct.Log({L"installed version ", version});
  return 0;
}

StepOutcome CheckPackageVersion(PackageReads& packages, int& decision, bool askUpdate,
                                std::wstring installedProductCode, const RunConduct& conduct,
                                std::wstring& installedVersion) {
  if (const Status status =
          ReadInstalledVersion(packages.os().installer, installedProductCode, conduct, installedVersion);
      status != 0) {
    return StepOutcome::Failed(status);
  }
  std::wstring packageVersion;
  if (const Status status = ReadLookedUpProperty(LookupKind::kVersion, packages, conduct, packageVersion);
      status != 0) {
    return StepOutcome::Failed(status);
  }
  decision = CompareVersions(ParseVersion(packageVersion), ParseVersion(installedVersion));
  conduct.Log({L"the package is ", decision > 0 ? L"newer" : decision == 0 ? L"the same" : L"older"});
  if (decision <= 0 || conduct.silent || !askUpdate) {
    return StepOutcome::Done();
  }

  std::wstring productName;
  if (const Status status = ReadLookedUpProperty(LookupKind::kName, packages, conduct, productName); status != 0) {
    return StepOutcome::Failed(status);
  }
  std::wstring question;
  LoadMessage(packages.os().modules, IDS_UPDATE_QUESTION, question);
  question = FormatMessageText(std::move(question), {&productName, &installedVersion, &packageVersion});
  if (ShowBox(conduct, box::kUpdateQuestion, question) == kIdNo) {
    conduct.Log({L"decision: update declined"});
    return StepOutcome::Stopped(kExitUpdateDeclined);
  }
  return StepOutcome::Done();
}

}  // namespace setup
