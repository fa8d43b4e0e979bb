#include "base/bootstrap_options.h"

namespace setup {

BootstrapOptions& RunOptions() {
  static BootstrapOptions options;
  return options;
}

}  // namespace setup
