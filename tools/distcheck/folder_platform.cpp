#include "folder_platform.h"

#include <algorithm>

#include "platform/win32_constants.h"

namespace distcheck {
namespace {

constexpr std::uint32_t kArchiveAttribute = 0x20;  // FILE_ATTRIBUTE_ARCHIVE

}  // namespace

Tree ReadTree(Disk& disk) {
  const auto windowsCannotHold = [](const DiskEntry& entry) { return entry.name.find(L'\\') != std::wstring::npos; };
  Tree tree{disk.List(L""), {}};
  std::erase_if(tree.root.entries, windowsCannotHold);
  for (const DiskEntry& entry : tree.root.entries) {
    if (entry.folder) {
      Listing& below = tree.below[entry.name] = disk.List(entry.name);
      std::erase_if(below.entries, windowsCannotHold);
    }
  }
  return tree;
}

FolderPlatform::FolderPlatform(const Tree& tree, std::wstring root, Arrangement arrangement)
    : tree_(tree), root_(std::move(root)), arrangement_(std::move(arrangement)) {}

std::wstring FolderPlatform::NameBelowRoot(const std::wstring& windowsPath) const {
  const std::wstring prefix = root_ + L"\\";
  return windowsPath.starts_with(prefix) ? windowsPath.substr(prefix.size()) : std::wstring();
}

std::wstring FolderPlatform::FirstIn(const std::wstring& folder) const {
  const std::wstring& first = arrangement_.first;
  if (folder.empty()) {
    return first.substr(0, first.find(L'\\'));
  }
  const std::wstring prefix = folder + L"\\";
  return first.starts_with(prefix) ? first.substr(prefix.size()) : std::wstring();
}

std::vector<FindData> FolderPlatform::MatchesIn(const std::wstring& folder, const std::wstring& mask) const {
  const Listing* listing = &tree_.root;
  if (!folder.empty()) {
    const auto found = tree_.below.find(folder);
    if (found == tree_.below.end()) {
      return {};
    }
    listing = &found->second;
  }
  // The disk's own order, whatever it is, with the arrangement's entry first.
  const ListingRules rules{false, folder.empty() ? arrangement_.shortNamesAtRoot : arrangement_.shortNamesBelow,
                           FirstIn(folder)};
  std::vector<FindData> entries;
  for (const DiskEntry& entry : ListMatches(listing->entries, mask, rules)) {
    entries.push_back({entry.folder ? setup::platform::kFileAttributeDirectory : kArchiveAttribute, entry.name});
  }
  return entries;
}

FindHandle FolderPlatform::FindFirstFileW(const std::wstring& fileName, FindData& data) {
  const std::wstring below = NameBelowRoot(fileName);
  const std::size_t slash = below.rfind(L'\\');
  auto listing = std::make_unique<Matches>();
  listing->entries = MatchesIn(slash == std::wstring::npos ? L"" : below.substr(0, slash), below.substr(slash + 1));
  if (below.empty() || listing->entries.empty()) {
    return nullptr;
  }
  data = listing->entries[listing->next++];
  FindHandle handle = listing.get();
  listings_[handle] = std::move(listing);
  return handle;
}

bool FolderPlatform::FindNextFileW(FindHandle find, FindData& data) {
  Matches& listing = *listings_.at(find);
  if (listing.next >= listing.entries.size()) {
    return false;
  }
  data = listing.entries[listing.next++];
  return true;
}

bool FolderPlatform::FindClose(FindHandle find) { return listings_.erase(find) == 1; }

}  // namespace distcheck
