#include "install/provider_install.h"

namespace setup {

// Not built yet: every provider counts as installed.
std::uint32_t InstallProvider(bool /*silent*/, bool /*reinstall*/, const std::wstring& /*providerName*/,
                              std::wstring /*extraArgs*/) {
  return 0;
}

}  // namespace setup
