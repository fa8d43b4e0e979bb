#include "folder_rules.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>

#include "distribution_check.h"

namespace distcheck {
namespace {

// Files the loader, or a program that loads by name, may take from Setup.exe's folder before the system's.
constexpr std::array<std::wstring_view, 11> kLoadable = {L"DLL", L"EXE", L"COM", L"OCX", L"CPL", L"DRV",
                                                         L"SYS", L"SCR", L"AX",  L"ACM", L"MUI"};
constexpr std::wstring_view kNotInWindowsNames = L"<>:\"/\\|?*";
constexpr std::size_t kSumDigits = 64;
// Deeper than any distribution needs, and shallow enough that a folder made to be endless still ends.
constexpr int kDeepestFolder = 16;

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  return folder.empty() ? name : folder + L"\\" + name;
}

// Problems come in name order, whatever order the disk lists in.
std::vector<DiskEntry> InNameOrder(std::vector<DiskEntry> entries) {
  std::sort(entries.begin(), entries.end(), [](const DiskEntry& a, const DiskEntry& b) {
    return PrecedesOnNtfs(a.name, b.name) || (!PrecedesOnNtfs(b.name, a.name) && a.name < b.name);
  });
  return entries;
}

// "Naming Files, Paths, and Namespaces": CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9 name devices,
// also "immediately followed by an extension" (NUL.txt), and blanks before the dot do not help.
bool IsDeviceName(const std::wstring& name) {
  std::wstring base = UpperName(name.substr(0, name.find(L'.')));
  base.erase(base.find_last_not_of(L' ') + 1);
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL") {
    return true;
  }
  return base.size() == 4 && (base.starts_with(L"COM") || base.starts_with(L"LPT")) && base[3] >= L'1' &&
         base[3] <= L'9';
}

// What the loader checks first ("PE Format"): the MS-DOS header's "MZ" and, at the offset it gives at
// 0x3C, the "PE\0\0" signature. A file without them ends a start with ERROR_BAD_EXE_FORMAT (193).
bool IsWindowsProgram(const std::string& bytes) {
  constexpr std::size_t kHeaderOffsetAt = 0x3C;
  if (bytes.size() < kHeaderOffsetAt + 4 || !bytes.starts_with("MZ")) {
    return false;
  }
  std::size_t header = 0;
  for (std::size_t i = 4; i-- > 0;) {
    header = header * 256 + static_cast<unsigned char>(bytes[kHeaderOffsetAt + i]);
  }
  return header <= bytes.size() - 4 && bytes.compare(header, 4, std::string("PE\0\0", 4)) == 0;
}

std::wstring NameProblem(const std::wstring& name) {
  if (std::any_of(name.begin(), name.end(), IsEscapedByte)) {
    return L"is not a UTF-8 name: on Windows it gets another name, or cannot be copied";
  }
  if (name.find_first_of(kNotInWindowsNames) != std::wstring::npos || name.ends_with(L' ') || name.ends_with(L'.') ||
      std::any_of(name.begin(), name.end(), IsControl)) {
    return L"is a name Windows cannot hold";
  }
  if (IsDeviceName(name)) {
    return L"is a name Windows keeps for a device: it cannot be a file there";
  }
  return {};
}

class FolderRules {
 public:
  FolderRules(Disk& disk, const Tree& tree, std::vector<std::wstring>& problems)
      : disk_(disk), tree_(tree), problems_(problems) {}

  void Check() {
    Walk(L"", disk_.List(L""), 0);
    CheckBesideProgram();
    for (const wchar_t* provider : kProviders) {
      CheckProvider(provider);
    }
    CheckSums();
  }

 private:
  void Add(const std::wstring& path, const std::wstring& text) { problems_.push_back(ShowName(path) + L" " + text); }

  // Every entry at every depth: names, what cannot be read, and the files SHA256SUMS must cover.
  void Walk(const std::wstring& folder, const Listing& listing, int depth) {
    if (!listing.error.empty()) {
      Add(folder, L"cannot be read: " + listing.error);
    }
    std::map<std::wstring, std::wstring> seen;  // upper-cased name -> name
    for (const DiskEntry& entry : InNameOrder(listing.entries)) {
      const std::wstring path = JoinPath(folder, entry.name);
      const auto [earlier, first] = seen.emplace(UpperName(entry.name), entry.name);
      if (!first) {
        const std::wstring before = JoinPath(folder, earlier->second);
        const std::pair<std::wstring, std::wstring> names = std::minmax(before, path);
        Add(names.first, L"and " + ShowName(names.second) + L" are one name on Windows");
      }
      if (const std::wstring problem = NameProblem(entry.name); !problem.empty()) {
        Add(path, problem);
        if (entry.name.find(L'\\') != std::wstring::npos) {
          continue;  // the path would lead elsewhere
        }
      }
      if (entry.link) {
        Add(path, L"is a link or junction: Windows follows it wherever it leads; the check does not");
        continue;
      }
      if (entry.special) {
        Add(path, L"is a special file (FIFO, socket or device), not a file: it is not opened");
        continue;
      }
      if (entry.folder) {
        if (depth + 1 >= kDeepestFolder) {
          Add(path, L"lies " + std::to_wstring(kDeepestFolder) + L" folders deep: not looked into");
        } else {
          Walk(path, disk_.List(path), depth + 1);
        }
        continue;
      }
      files_.push_back(path);
      if (const std::wstring error = disk_.Probe(path); !error.empty()) {
        Add(path, L"cannot be read: " + error);
      }
    }
  }

  void CheckBesideProgram() {
    const DiskEntry* program = FindEntry(tree_.root, kProgram);
    if (program == nullptr) {
      problems_.push_back(L"no Setup.exe in the folder");
    } else if (program->folder) {
      Add(program->name, L"is a folder, not the program");
    } else {
      CheckProgram(program->name);
    }
    CheckBeside(tree_.root, L"", kProgram, L"Setup.exe");
    const DiskEntry* tools = FindEntry(tree_.root, kToolsFolder);
    if (tools != nullptr && tools->folder && FindEntry(tree_.below.at(tools->name), kTool) != nullptr) {
      CheckBeside(tree_.below.at(tools->name), tools->name, kTool, L"distcheck.exe");
    }
  }

  // What Windows may take from a program's folder instead of the system's: a .local redirection, an
  // external manifest, DLLs and programs.
  void CheckBeside(const Listing& listing, const std::wstring& folder, const wchar_t* program,
                   const std::wstring& shown) {
    for (const DiskEntry& entry : InNameOrder(listing.entries)) {
      const std::wstring path = JoinPath(folder, entry.name);
      const std::wstring upper = UpperName(entry.name);
      const std::wstring extension = upper.substr(upper.rfind(L'.') + 1);
      if (SameName(entry.name, std::wstring(program) + L".local")) {
        Add(path, L"makes " + shown + L" refuse to run (exit 10" + (folder.empty() ? L", nothing shown)" : L")"));
      } else if (SameName(entry.name, std::wstring(program) + L".manifest")) {
        Add(path,
            L"would replace " + shown + L"'s own manifest on Windows XP (and where PreferExternalManifest is set)");
      } else if (!entry.folder && !SameName(entry.name, program) && upper.find(L'.') != std::wstring::npos &&
                 std::find(kLoadable.begin(), kLoadable.end(), extension) != kLoadable.end()) {
        Add(path,
            L"lies beside " + shown +
                L", where Windows may load or run it instead of the system's own (a planted DLL looks like this)");
      }
    }
  }

  // A program that cannot start is found now rather than by the run that starts it.
  void CheckProgram(const std::wstring& path) {
    std::wstring error;
    const std::string bytes = disk_.ReadBytes(path, error);
    if (error.empty() && !IsWindowsProgram(bytes)) {
      Add(path, L"is not a Windows program: starting it fails with 193");
    }
  }

  void CheckProvider(const wchar_t* provider) {
    const DiskEntry* folder = FindEntry(tree_.root, provider);
    if (folder == nullptr || folder->link) {
      return;  // a link is reported by the walk
    }
    if (!folder->folder) {
      Add(folder->name, L"is a file, not the folder of the provider's Setup.exe");
      return;
    }
    const Listing& listing = tree_.below.at(folder->name);
    if (!listing.error.empty()) {
      return;  // reported by the walk
    }
    const DiskEntry* setup = FindEntry(listing, kProgram);
    if (listing.entries.empty()) {
      Add(folder->name, L"is an empty folder: no Setup.exe for -" + std::wstring(provider));
    } else if (setup == nullptr || setup->folder) {
      Add(folder->name, L"has no Setup.exe for -" + std::wstring(provider));
    } else if (!setup->link && !setup->special) {
      CheckProgram(folder->name + L"\\" + setup->name);
    }
  }

  // sha256sum's lines: 64 hex digits, a blank, ' ' or '*', the path; a leading '\' when the path is escaped.
  bool ParseSum(std::string line, std::string& sum, std::wstring& path) {
    const bool escaped = line.starts_with('\\');
    line.erase(0, escaped ? 1 : 0);
    if (line.size() < kSumDigits + 3 || line[kSumDigits] != ' ' ||
        (line[kSumDigits + 1] != ' ' && line[kSumDigits + 1] != '*') ||
        line.find_first_not_of("0123456789abcdefABCDEF") < kSumDigits) {
      return false;
    }
    sum = line.substr(0, kSumDigits);
    std::transform(sum.begin(), sum.end(), sum.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    std::string name = line.substr(kSumDigits + 2);
    if (escaped) {
      std::string plain;
      for (std::size_t i = 0; i < name.size(); ++i) {
        plain += name[i] == '\\' && i + 1 < name.size() ? (name[++i] == 'n' ? '\n' : name[i]) : name[i];
      }
      name = plain;
    }
    name.erase(0, name.starts_with("./") ? 2 : 0);
    path = disk_.DecodeName(name);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return true;
  }

  void CheckSums() {
    const DiskEntry* sums = FindEntry(tree_.root, kSums);
    if (sums == nullptr || sums->link || sums->special) {
      return;
    }
    if (sums->folder) {
      Add(sums->name, L"is a folder, not the list of sums");
      return;
    }
    std::wstring error;
    const std::string text = disk_.ReadBytes(sums->name, error);
    if (!error.empty()) {
      return;  // reported by the walk
    }
    std::map<std::wstring, std::string> listed;
    std::size_t number = 0;
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
      end = std::min(text.find('\n', start), text.size());
      std::string line = text.substr(start, end - start);
      line.erase(line.ends_with('\r') ? line.size() - 1 : line.size());
      std::string sum;
      std::wstring path;
      ++number;
      if (line.empty()) {
        continue;
      }
      if (!ParseSum(line, sum, path)) {
        Add(sums->name, L"line " + std::to_wstring(number) + L" is not a sum line");
      } else if (!listed.emplace(path, sum).second) {
        // sha256sum -c checks each line, so a second, right sum would pass where the first fails.
        Add(path, L"is listed twice in " + sums->name);
      }
    }
    for (const std::wstring& file : files_) {
      const auto found = listed.find(file);
      if (file == sums->name || SameName(file, kSumsSignature)) {
        continue;
      }
      if (found == listed.end()) {
        Add(file, L"is not listed in " + sums->name + L" (added after the release?)");
        continue;
      }
      std::wstring readError;
      if (disk_.Sha256(file, readError) != found->second && readError.empty()) {
        Add(file, L"has changed since " + sums->name + L" was written");
      }
      listed.erase(found);
    }
    for (const auto& [path, sum] : listed) {
      Add(path, L"is listed in " + sums->name + L" but missing");
    }
  }

  Disk& disk_;
  const Tree& tree_;
  std::vector<std::wstring>& problems_;
  std::vector<std::wstring> files_;
};

}  // namespace

bool SameName(const std::wstring& a, const std::wstring& b) { return UpperName(a) == UpperName(b); }

void FindFolderProblems(Disk& disk, const Tree& tree, std::vector<std::wstring>& problems) {
  FolderRules(disk, tree, problems).Check();
}

const DiskEntry* FindEntry(const Listing& listing, const wchar_t* name) {
  const auto found = std::find_if(listing.entries.begin(), listing.entries.end(),
                                  [name](const DiskEntry& entry) { return SameName(entry.name, name); });
  return found == listing.entries.end() ? nullptr : &*found;
}

}  // namespace distcheck
