// One owner type for every handle that crosses the platform seam: the handle is released through the
// call that matches it, of the interface that opened it, on every return path, and never outlives its
// owner.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace setup::platform {

template <typename Interface, typename T, auto Close>
class UniqueHandle {
 public:
  // Empty, with no interface yet: it takes a handle, and the interface to close it through, only by
  // being moved into.
  UniqueHandle() = default;
  explicit UniqueHandle(Interface& owner, T handle = T{}) : owner_(&owner), handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : owner_(other.owner_), handle_(std::exchange(other.handle_, T{})) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      owner_ = other.owner_;
      handle_ = std::exchange(other.handle_, T{});
    }
    return *this;
  }
  ~UniqueHandle() { reset(); }

  T get() const { return handle_; }
  // For calls of the owner's interface that hand a new handle back through a pointer.
  T* put() {
    reset();
    return &handle_;
  }
  explicit operator bool() const { return handle_ != T{}; }
  void reset(T handle = T{}) {
    if (handle_ != T{}) {
      (owner_->*Close)(handle_);
    }
    handle_ = handle;
  }

 private:
  Interface* owner_ = nullptr;
  T handle_{};
};

using UniqueFind = UniqueHandle<FolderListing, FindHandle, &FolderListing::FindClose>;
using UniqueFile = UniqueHandle<Files, KernelHandle, &Files::CloseHandle>;
using UniqueKernelHandle = UniqueHandle<Processes, KernelHandle, &Processes::CloseHandle>;
using UniqueRegistryKey = UniqueHandle<Registry, RegistryKey, &Registry::RegCloseKey>;
using UniqueModule = UniqueHandle<Modules, ModuleHandle, &Modules::FreeLibrary>;
using UniqueMsiHandle = UniqueHandle<Installer, MsiHandle, &Installer::MsiCloseHandle>;

}  // namespace setup::platform
