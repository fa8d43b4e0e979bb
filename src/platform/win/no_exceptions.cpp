// The program throws nothing, and the one failure of that kind it can meet, the string layer running
// out of memory (or being asked for an impossible length), ends the process uncaught. libstdc++ raises
// those failures through the std::__throw_* helpers and operator new, whose exception objects drag in
// the whole exception runtime: the unwinder, the personality routine, the copy-on-write strings of
// std::logic_error and their unwind tables, about 90 KB. Here the failure ends the process directly,
// as the terminate handler does. Linked as an object of its own, so the runtime's definitions are
// never pulled in. MSVC's runtime needs none of this.
#include <cstdlib>
#include <new>

#include "platform/win/runtime_failure.h"

#if defined(__GLIBCXX__)
namespace std {
void __throw_bad_alloc() { setup::platform::EndOnRuntimeFailure(); }
void __throw_bad_array_new_length() { setup::platform::EndOnRuntimeFailure(); }
void __throw_bad_cast() { setup::platform::EndOnRuntimeFailure(); }
void __throw_bad_exception() { setup::platform::EndOnRuntimeFailure(); }
void __throw_bad_typeid() { setup::platform::EndOnRuntimeFailure(); }
void __throw_domain_error(const char*) { setup::platform::EndOnRuntimeFailure(); }
void __throw_invalid_argument(const char*) { setup::platform::EndOnRuntimeFailure(); }
void __throw_length_error(const char*) { setup::platform::EndOnRuntimeFailure(); }
void __throw_logic_error(const char*) { setup::platform::EndOnRuntimeFailure(); }
void __throw_out_of_range(const char*) { setup::platform::EndOnRuntimeFailure(); }
void __throw_out_of_range_fmt(const char*, ...) { setup::platform::EndOnRuntimeFailure(); }
void __throw_overflow_error(const char*) { setup::platform::EndOnRuntimeFailure(); }
void __throw_range_error(const char*) { setup::platform::EndOnRuntimeFailure(); }
void __throw_runtime_error(const char*) { setup::platform::EndOnRuntimeFailure(); }
void __throw_underflow_error(const char*) { setup::platform::EndOnRuntimeFailure(); }
}  // namespace std

// No new-handler is ever installed, so a failed allocation has nothing to retry.
void* operator new(std::size_t size) {
  void* memory = std::malloc(size != 0 ? size : 1);
  if (memory == nullptr) {
    setup::platform::EndOnRuntimeFailure();
  }
  return memory;
}
#endif
