// The seam between the bootstrapper's logic and Windows.
//
// Every Win32, shell32, advapi32, user32, msi.dll and C runtime call that the bootstrapper makes goes
// through one of these interfaces, under the name of the call it wraps. The logic above them is portable
// C++ and is unit-tested on Linux against a fake; the Windows implementation lives in platform/win. Each
// step is handed the interfaces it calls; the start-up flow, which calls on all of them, is handed this
// bundle.
#pragma once

#include "platform/files.h"
#include "platform/installer.h"
#include "platform/modules.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/system_facts.h"
#include "platform/user_windows.h"

namespace setup::platform {

// One object that implements every interface, as the unit tests' fake Windows does: one machine, whose
// files the processes it starts may write.
class EveryInterface : public Files,
                       public Processes,
                       public Modules,
                       public UserWindows,
                       public Registry,
                       public Installer,
                       public SystemFacts {};

struct Platform {
  // Made implicitly where a step hands its whole platform on.
  Platform(EveryInterface& everything)  // NOLINT(google-explicit-constructor)
      : files(everything),
        processes(everything),
        modules(everything),
        windows(everything),
        registry(everything),
        installer(everything),
        system(everything) {}
  Platform(Files& files, Processes& processes, Modules& modules, UserWindows& windows, Registry& registry,
           Installer& installer, SystemFacts& system)
      : files(files),
        processes(processes),
        modules(modules),
        windows(windows),
        registry(registry),
        installer(installer),
        system(system) {}

  Files& files;
  Processes& processes;
  Modules& modules;
  UserWindows& windows;
  Registry& registry;
  Installer& installer;
  SystemFacts& system;
};

// MAKEINTRESOURCEA: an export asked for by its ordinal instead of its name.
inline const char* OrdinalName(std::uint16_t ordinal) {
  return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(ordinal));
}
inline bool IsOrdinalName(const char* procName) { return reinterpret_cast<std::uintptr_t>(procName) <= 0xFFFF; }

// Whether this program is built for 64-bit Windows (the test build of the end-to-end tests on hosts
// that run no 32-bit programs), which is then the Windows it runs on. The shipped program and the
// native builds of the portable code are not.
#if defined(_WIN64)
inline constexpr bool kWin64Build = true;
#else
inline constexpr bool kWin64Build = false;
#endif

}  // namespace setup::platform
