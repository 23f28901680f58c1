#pragma once

namespace karv {

// The deleter of a std::unique_ptr that owns a C library's object: frees it
// with the library's own function.
template <auto FreeFn>
struct FreeWith {
  template <class T>
  void operator()(T* p) const noexcept {
    FreeFn(p);
  }
};

}  // namespace karv
