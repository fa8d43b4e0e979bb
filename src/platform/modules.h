// Modules, their entry points and the calls through them, and the program's resources.
#pragma once

#include "platform/types.h"

namespace setup::platform {

class Modules {
 public:
  virtual ~Modules() = default;

  virtual ModuleHandle GetModuleHandleW(const wchar_t* moduleName) = 0;
  virtual ModuleHandle LoadLibraryW(const wchar_t* fileName) = 0;
  // LoadLibraryExW(fileName, NULL, flags).
  virtual ModuleHandle LoadLibraryExW(const wchar_t* fileName, std::uint32_t flags) = 0;
  virtual bool FreeLibrary(ModuleHandle module) = 0;
  // procName is a name, or an ordinal made by OrdinalName.
  virtual ProcAddress GetProcAddress(ModuleHandle module, const char* procName) = 0;
  // The error the last failed call of this interface left (on Windows, the thread's).
  virtual std::uint32_t GetLastError() = 0;
  // Calls through entry points found with GetProcAddress, with the signatures of those functions.
  virtual bool CallIsUserAnAdmin(ProcAddress isUserAnAdmin) = 0;
  virtual bool CallIsWow64Process(ProcAddress isWow64Process, KernelHandle process, bool* isWow64) = 0;
  // GetModuleFileNameW(NULL, buffer, size): the number of characters copied, without terminator.
  virtual std::uint32_t GetModuleFileNameW(ModuleHandle module, wchar_t* buffer, std::uint32_t size) = 0;
  virtual ResourceHandle FindResourceW(ModuleHandle module, std::uint16_t name, std::uint16_t type) = 0;
  virtual GlobalHandle LoadResource(ModuleHandle module, ResourceHandle resource) = 0;
  virtual const void* LockResource(GlobalHandle data) = 0;
  virtual std::uint32_t SizeofResource(ModuleHandle module, ResourceHandle resource) = 0;
};

}  // namespace setup::platform
