// Libraries loaded at run time, so that the module loads where one is missing and only what needs
// it is lost there. Each is a struct of the library's function pointers, typed by its own headers,
// with its soname as kSoname and a bind(SharedLibrary&) that binds each function once.
#pragma once

#include <dlfcn.h>

#include <string>

#include "common/never_destroyed.h"

namespace corvane {

class SharedLibrary {
 public:
  explicit SharedLibrary(const char* soname)
      : soname_(soname), handle_(dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) {
      const char* error = dlerror();
      why_ = error != nullptr ? error : soname_ + " cannot be loaded";
    }
  }
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // False when the library or the symbol is missing; why() then says which.
  template <typename Symbol>
  bool bind(Symbol& symbol, const char* name) {
    if (handle_ == nullptr) return false;
    symbol = reinterpret_cast<Symbol>(dlsym(handle_, name));
    if (symbol == nullptr) why_ = std::string(name) + " is missing from " + soname_;
    return symbol != nullptr;
  }

  const std::string& why() const { return why_; }

 private:
  std::string soname_;
  void* handle_;
  std::string why_;
};

// Loaded at the first call and kept, never unloaded: a library's own threads and objects (a
// PipeWire loop, the proxies of a Worker that ended) may outlive any owner we could give it. Null
// when the library or one of its functions is missing; why then says which.
template <typename Functions>
const Functions* runtimeLibrary(std::string* why = nullptr) {
  struct Loaded {
    SharedLibrary library{Functions::kSoname};
    Functions functions;
    bool found = functions.bind(library);
  };
  const Loaded& loaded = neverDestroyed<Loaded>();
  if (!loaded.found && why != nullptr) *why = loaded.library.why();
  return loaded.found ? &loaded.functions : nullptr;
}

}  // namespace corvane
