// The Windows layer: files and folders.
#include "platform/win/win_shared.h"

namespace setup::platform {

using namespace win;

namespace {

// "ACE_HEADER structure", "ACCESS_ALLOWED_OBJECT_ACE structure": the SID follows the mask in the plain
// kinds, and the object kinds put their flags and the GUIDs those flags announce in between.
PSID SidOfAce(const ACE_HEADER* header) {
  const BYTE* body = reinterpret_cast<const BYTE*>(header) + sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);
  switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
      return const_cast<BYTE*>(body);
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: {
      const DWORD flags = *reinterpret_cast<const DWORD*>(body);
      body += sizeof(DWORD);
      body += (flags & ACE_OBJECT_TYPE_PRESENT) != 0 ? sizeof(GUID) : 0;
      body += (flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) != 0 ? sizeof(GUID) : 0;
      return const_cast<BYTE*>(body);
    }
    default:
      return nullptr;
  }
}

std::wstring SidText(fn::ConvertSidToStringSidW convert, PSID sid) {
  LPWSTR text = nullptr;
  if (sid == nullptr || !convert(sid, &text)) {
    return std::wstring();
  }
  std::wstring result(text);
  ::LocalFree(text);
  return result;
}

}  // namespace

namespace {

// Calls that fill a buffer and, when it is too small, give the size they need, terminator included.
template <typename Fill>
std::wstring GrowingRead(Fill fill) {
  std::wstring text(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = fill(text.data(), static_cast<DWORD>(text.size()));
    if (length == 0) {
      return {};
    }
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.assign(length, L'\0');
  }
  return {};
}

}  // namespace

std::uint32_t WinFiles::GetLastError() { return ::GetLastError(); }

FindHandle WinFiles::FindFirstFileW(const std::wstring& fileName, FindData& data) {
  WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileW(fileName.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) {
    return nullptr;
  }
  data.attributes = found.dwFileAttributes;
  data.fileName = found.cFileName;
  data.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  return find;
}

bool WinFiles::FindNextFileW(FindHandle find, FindData& data) {
  WIN32_FIND_DATAW found{};
  if (!::FindNextFileW(find, &found)) {
    return false;
  }
  data.attributes = found.dwFileAttributes;
  data.fileName = found.cFileName;
  data.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  return true;
}

bool WinFiles::FindClose(FindHandle find) { return ::FindClose(find) != FALSE; }

bool WinFiles::DeleteFileW(const std::wstring& fileName) { return ::DeleteFileW(fileName.c_str()) != FALSE; }

int WinFiles::WStat(const std::wstring& path) {
  struct _stat status {};
  return ::_wstat(path.c_str(), &status);
}

bool WinFiles::WriteFile(KernelHandle file, const void* data, std::uint32_t size, std::uint32_t* written) {
  DWORD count = 0;
  const BOOL succeeded = ::WriteFile(file, data, size, &count, nullptr);
  *written = count;
  return succeeded != FALSE;
}

bool WinFiles::MoveFileExW(const std::wstring& existingFileName, const std::wstring& newFileName, std::uint32_t flags) {
  return ::MoveFileExW(existingFileName.c_str(), newFileName.c_str(), flags) != FALSE;
}

std::wstring WinFiles::GetFullPathNameW(const std::wstring& fileName) {
  return GrowingRead(
      [&](wchar_t* buffer, DWORD size) { return ::GetFullPathNameW(fileName.c_str(), size, buffer, nullptr); });
}

std::wstring WinFiles::GetLongPathNameW(const std::wstring& path) {
  return GrowingRead([&](wchar_t* buffer, DWORD size) { return ::GetLongPathNameW(path.c_str(), buffer, size); });
}

Status WinFiles::GetFinalPathNameByHandleW(KernelHandle file, std::wstring& path) {
  auto finalPath = Kernel32Function<fn::GetFinalPathNameByHandleW>("GetFinalPathNameByHandleW");
  if (finalPath == nullptr) {
    return ERROR_PROC_NOT_FOUND;
  }
  path = GrowingRead([&](wchar_t* buffer, DWORD size) {
    return finalPath(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  });
  return path.empty() ? ::GetLastError() : 0;
}

bool WinFiles::GetFileInformationByHandle(KernelHandle file, std::uint32_t* numberOfLinks) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(file, &information)) {
    return false;
  }
  *numberOfLinks = information.nNumberOfLinks;
  return true;
}

bool WinFiles::SetFileInformationByHandle(KernelHandle file, bool deleteFile) {
  auto setInformation = Kernel32Function<fn::SetFileInformationByHandle>("SetFileInformationByHandle");
  if (setInformation == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  fn::FileDispositionInfo disposition{static_cast<BOOLEAN>(deleteFile ? TRUE : FALSE)};
  return setInformation(file, fn::kFileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

KernelHandle WinFiles::CreateFileW(const wchar_t* fileName, std::uint32_t access, std::uint32_t shareMode,
                                   std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) {
  HANDLE file = ::CreateFileW(fileName, access, shareMode, nullptr, creationDisposition, flagsAndAttributes, nullptr);
  return file != INVALID_HANDLE_VALUE ? file : nullptr;
}

bool WinFiles::CloseHandle(KernelHandle handle) { return ::CloseHandle(handle) != FALSE; }

Status WinFiles::GetNamedSecurityInfoW(const std::wstring& path, FileSecurity& security) {
  auto getSecurity = Advapi32Function<fn::GetNamedSecurityInfoW>("GetNamedSecurityInfoW");
  auto convert = Advapi32Function<fn::ConvertSidToStringSidW>("ConvertSidToStringSidW");
  if (getSecurity == nullptr || convert == nullptr) {
    return ERROR_PROC_NOT_FOUND;
  }
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status = getSecurity(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   &owner, nullptr, &dacl, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) {
    return status;
  }
  security.owner = SidText(convert, owner);
  security.nullDacl = dacl == nullptr;
  security.entries.clear();
  for (DWORD index = 0; dacl != nullptr && index < dacl->AceCount; ++index) {
    void* ace = nullptr;
    if (!::GetAce(dacl, index, &ace)) {
      continue;
    }
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    const ACCESS_MASK mask = *reinterpret_cast<const ACCESS_MASK*>(header + 1);
    security.entries.push_back({header->AceType, header->AceFlags, mask, SidText(convert, SidOfAce(header))});
  }
  ::LocalFree(descriptor);
  return 0;
}

bool WinFiles::GetVolumePathNameW(const std::wstring& path, std::wstring& volumeRoot) {
  auto getVolumePath = Kernel32Function<fn::GetVolumePathNameW>("GetVolumePathNameW");
  std::wstring buffer(path.size() + 2, L'\0');
  if (getVolumePath == nullptr || !getVolumePath(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()))) {
    return false;
  }
  buffer.resize(std::char_traits<wchar_t>::length(buffer.c_str()));
  volumeRoot = buffer;
  return true;
}

bool WinFiles::GetVolumeInformationW(const std::wstring& root, std::uint32_t* fileSystemFlags) {
  DWORD flags = 0;
  if (!::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
    return false;
  }
  *fileSystemFlags = flags;
  return true;
}

}  // namespace setup::platform
