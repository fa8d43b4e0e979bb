// One owner type for every handle that crosses the platform seam: the handle is released through the
// platform call that matches it, on every return path, and never outlives its owner.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace setup::platform {

template <typename T, auto Close>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T handle) : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, T{})) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset(std::exchange(other.handle_, T{}));
    }
    return *this;
  }
  ~UniqueHandle() { reset(); }

  T get() const { return handle_; }
  // For calls that hand a new handle back through a pointer.
  T* put() {
    reset();
    return &handle_;
  }
  explicit operator bool() const { return handle_ != T{}; }
  void reset(T handle = T{}) {
    if (handle_ != T{}) {
      (Os().*Close)(handle_);
    }
    handle_ = handle;
  }

 private:
  T handle_{};
};

using UniqueFind = UniqueHandle<FindHandle, &Platform::FindClose>;
using UniqueKernelHandle = UniqueHandle<KernelHandle, &Platform::CloseHandle>;
using UniqueRegistryKey = UniqueHandle<RegistryKey, &Platform::RegCloseKey>;
using UniqueModule = UniqueHandle<ModuleHandle, &Platform::FreeLibrary>;
using UniqueMsiHandle = UniqueHandle<MsiHandle, &Platform::MsiCloseHandle>;

}  // namespace setup::platform
