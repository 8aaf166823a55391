// A shared library loaded at run time, so that the module loads where it is missing and only what
// needs it is lost there. Its functions are bound by name, typed by the library's own headers.
#pragma once

#include <dlfcn.h>

#include <string>

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
  ~SharedLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // False when the library or the function is missing; why() then says which.
  template <typename Function>
  bool bind(Function& function, const char* name) {
    if (handle_ == nullptr) return false;
    function = reinterpret_cast<Function>(dlsym(handle_, name));
    if (function == nullptr) why_ = std::string(name) + " is missing from " + soname_;
    return function != nullptr;
  }

  const std::string& why() const { return why_; }

 private:
  std::string soname_;
  void* handle_;
  std::string why_;
};

}  // namespace corvane
