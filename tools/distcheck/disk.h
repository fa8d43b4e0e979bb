// What the distribution check reads from the folder it checks: listings, package properties, file
// contents. Linux (std::filesystem, libmsi) and Windows (FindFirstFileW, msi.dll) each implement it, so
// the check itself is the same code on both.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace distcheck {

// Where a name that is not UTF-8 keeps each such byte: U+DC00 plus the byte (0x80 to 0xFF).
constexpr wchar_t kEscapedByte = 0xDC00;
inline bool IsEscapedByte(wchar_t c) { return c >= kEscapedByte + 0x80 && c <= kEscapedByte + 0xFF; }
// Characters below a blank, and DEL, are control characters, in a name as anywhere: shown raw, a line
// feed would start a forged line of the report and an escape would drive the terminal.
inline bool IsControl(wchar_t c) { return c < L' ' || c == 0x7F; }

struct DiskEntry {
  // As Windows would name it. On Linux a byte that is not UTF-8 is kept as an escaped byte (a lone
  // surrogate), so that the name still leads back to the file and can be shown as such.
  std::wstring name;
  // The 8.3 name this disk gave it, empty when none (always empty on Linux).
  std::wstring shortName;
  bool folder = false;
  // A symbolic link, junction or other reparse point: Windows follows it wherever it leads, so the check
  // neither reads nor descends into it. Never a folder.
  bool link = false;
  // A FIFO, socket or device (Linux): opening one may block for good, so it is never opened.
  bool special = false;
};

struct Listing {
  std::vector<DiskEntry> entries;  // in the disk's own order, "." and ".." left out
  std::wstring error;              // why the folder could not be listed; empty when it could
};

enum class EntryKind { kFolder, kNotAPackage, kPackage, kUnreadable };

struct Entry {
  EntryKind kind = EntryKind::kNotAPackage;
  std::map<std::wstring, std::wstring> properties;  // the Property table
  std::wstring platform;                            // the summary information's Template, up to its ';'
  std::wstring error;                               // why it could not be read (kUnreadable)
};

// An Authenticode signature (or a detached CMS one) as far as the file itself can tell: whether its digests
// match the bytes and its signer's signature holds. Whether that signer is the one to trust is the check's
// to say (--signer), not the disk's.
struct Signature {
  enum class State { kNone, kIntact, kBroken };
  State state = State::kNone;
  std::wstring subject;  // the signer certificate's subject, most significant part last (CN=..., O=...)
  std::string sha1;      // the signer certificate's thumbprints, upper-case hex
  std::string sha256;
  std::wstring error;  // kBroken: why it does not verify
};

// Paths are relative to the checked folder, their parts joined by '\'; "" is the folder itself.
class Disk {
 public:
  virtual ~Disk() = default;
  virtual Listing List(const std::wstring& folder) = 0;
  // kPackage, kNotAPackage or kUnreadable for a file.
  Entry ReadPackage(const std::wstring& file) {
    Entry entry;
    entry.error = Probe(file);
    if (!entry.error.empty()) {
      entry.kind = EntryKind::kUnreadable;
    } else if (ReadDatabase(file, entry)) {
      entry.kind = EntryKind::kPackage;
    }
    return entry;
  }
  // Fills the properties and the platform of a file that can be read; false when it is no package.
  virtual bool ReadDatabase(const std::wstring& file, Entry& entry) = 0;
  // Empty when the file can be opened for reading, else why not.
  virtual std::wstring Probe(const std::wstring& file) = 0;
  // The SHA-256 of the file in lower-case hex; empty with error set when it cannot be read.
  virtual std::string Sha256(const std::wstring& file, std::wstring& error) = 0;
  // The file's bytes; empty with error set when it cannot be read.
  virtual std::string ReadBytes(const std::wstring& file, std::wstring& error) = 0;
  // The file's Authenticode signature (its primary signer, every nested signature verified).
  virtual Signature ReadSignature(const std::wstring& file) = 0;
  // A detached CMS signature of content.
  virtual Signature ReadDetachedSignature(const std::wstring& signature, const std::wstring& content) = 0;
  // A text file's bytes (UTF-8) as names are held in DiskEntry.
  virtual std::wstring DecodeName(const std::string& utf8) = 0;
};

}  // namespace distcheck
