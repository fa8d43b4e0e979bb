#include "install/plugin_install.h"

namespace setup {

// Not built yet: the plug-in counts as installed and no log is arranged.
std::uint32_t InstallPluginPackage(bool /*silent*/, bool /*reinstall*/, std::wstring /*cadesArgs*/,
                                   std::wstring& /*logPath*/) {
  return 0;
}

}  // namespace setup
