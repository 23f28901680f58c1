#include "system/SharedLibrary.h"

#include <dlfcn.h>

namespace karv {

SharedLibrary::SharedLibrary(const char* soname) {
  // Bound now, so that a missing function shows here and not at a later call;
  // local, so that its symbols never shadow the program's.
  handle_ = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = dlerror();
    error_ = why ? why : soname;
  }
}

void* SharedLibrary::symbol(const char* name) {
  if (!handle_) return nullptr;
  dlerror();
  void* address = dlsym(handle_, name);
  if (!address) error_ = std::string("missing ") + name;
  return address;
}

}  // namespace karv
