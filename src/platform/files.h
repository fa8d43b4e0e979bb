// Files and folders: finding, making, moving and removing them, their security and their volume.
#pragma once

#include "platform/types.h"

namespace setup::platform {

// What a folder search calls: the listing of a folder by a wildcard.
class FolderListing {
 public:
  virtual ~FolderListing() = default;

  virtual FindHandle FindFirstFileW(const std::wstring& fileName, FindData& data) = 0;
  virtual bool FindNextFileW(FindHandle find, FindData& data) = 0;
  virtual bool FindClose(FindHandle find) = 0;
};

class Files : public FolderListing {
 public:
  virtual bool DeleteFileW(const std::wstring& fileName) = 0;
  // _wstat: 0 when something exists under the path.
  virtual int WStat(const std::wstring& path) = 0;
  // GetFullPathNameW, its buffer grown until the path fits; empty where it fails.
  virtual std::wstring GetFullPathNameW(const std::wstring& fileName) = 0;
  // GetLongPathNameW likewise; empty where it fails (a path that does not exist).
  virtual std::wstring GetLongPathNameW(const std::wstring& path) = 0;
  // GetFinalPathNameByHandleW(file, ..., FILE_NAME_NORMALIZED | VOLUME_NAME_DOS), looked up at run time:
  // 0 and the path, ERROR_PROC_NOT_FOUND where it is missing (before Vista), or the call's error.
  virtual Status GetFinalPathNameByHandleW(KernelHandle file, std::wstring& path) = 0;
  // GetFileInformationByHandle asked for the number of links to the file only.
  virtual bool GetFileInformationByHandle(KernelHandle file, std::uint32_t* numberOfLinks) = 0;
  // SetFileInformationByHandle(file, FileDispositionInfo, {deleteFile}), looked up at run time: false
  // with ERROR_PROC_NOT_FOUND where it is missing (before Vista). The handle needs DELETE access.
  virtual bool SetFileInformationByHandle(KernelHandle file, bool deleteFile) = 0;
  // MoveFileExW(existingFileName, newFileName, flags).
  virtual bool MoveFileExW(const std::wstring& existingFileName, const std::wstring& newFileName,
                           std::uint32_t flags) = 0;
  // CreateFileW(fileName, access, shareMode, NULL, creationDisposition, flagsAndAttributes, NULL); null
  // where it fails.
  virtual KernelHandle CreateFileW(const wchar_t* fileName, std::uint32_t access, std::uint32_t shareMode,
                                   std::uint32_t creationDisposition, std::uint32_t flagsAndAttributes) = 0;
  virtual bool WriteFile(KernelHandle file, const void* data, std::uint32_t size, std::uint32_t* written) = 0;
  // Closes a file handle this interface opened.
  virtual bool CloseHandle(KernelHandle handle) = 0;
  // The error the last failed call of this interface left (on Windows, the thread's).
  virtual std::uint32_t GetLastError() = 0;
  // GetNamedSecurityInfoW(path, SE_FILE_OBJECT, owner and DACL), its SIDs through ConvertSidToStringSidW
  // and its ACEs through GetAce, the descriptor then freed: 0, or the error (127 where a call is missing).
  virtual Status GetNamedSecurityInfoW(const std::wstring& path, FileSecurity& security) = 0;
  // GetVolumePathNameW, looked up at run time: the root of the volume the path lies on; false where it
  // fails or is missing.
  virtual bool GetVolumePathNameW(const std::wstring& path, std::wstring& volumeRoot) = 0;
  // GetVolumeInformationW(root, ...) asked for the file system flags only.
  virtual bool GetVolumeInformationW(const std::wstring& root, std::uint32_t* fileSystemFlags) = 0;
};

}  // namespace setup::platform
