#include <dlfcn.h>

#include "common/module_pin.h"

namespace corvane {

void pinModule() {
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&pinModule), &self) == 0 || self.dli_fname == nullptr) return;
  // A reference of our own that is never given back, on a module that may not be unloaded.
  static_cast<void>(dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE));
}

}  // namespace corvane
