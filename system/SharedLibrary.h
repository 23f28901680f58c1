#pragma once
#include <string>

namespace karv {

// A shared library opened when its first user needs it instead of by the
// dynamic loader before main(): every library linked to the program lengthens
// every start, also the many starts that never use it (libcurl alone brings
// some twenty-five libraries, NSS six). It stays loaded for the life of the
// process, since such libraries keep state that outlives their users.
class SharedLibrary {
 public:
  // Opens the library by its soname.
  explicit SharedLibrary(const char* soname);
  [[nodiscard]] bool loaded() const { return handle_ != nullptr; }
  // Why the library or the last function asked for is missing.
  [[nodiscard]] const std::string& error() const { return error_; }

  // Looks `name` up in the library and the libraries it depends on; false
  // (and error() says why) when it is not there.
  template <class Fn>
  bool resolve(const char* name, Fn*& fn) {
    fn = reinterpret_cast<Fn*>(symbol(name));
    return fn != nullptr;
  }

 private:
  void* symbol(const char* name);
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace karv

// A library's functions as a table: the X-list names each function once,
// KARV_LIBRARY_MEMBER declares it as a member with the header's own type, and
// KARV_LIBRARY_RESOLVE fills the members of `api` from `library`, so that
// `KARV_X(KARV_LIBRARY_RESOLVE) true` is true when every function was found.
#define KARV_LIBRARY_MEMBER(fn) decltype(&::fn) fn = nullptr;
#define KARV_LIBRARY_RESOLVE(fn) library.resolve(#fn, api.fn)&&
