// Included before every file of the playground's build: what the C++ library of Debian's
// emscripten (libc++ 14) lacks of C++20 and the library uses.
#pragma once
#ifdef __cplusplus
#include <memory>
#include <type_traits>
#ifndef __cpp_lib_smart_ptr_for_overwrite
namespace std {
template <class T>
    requires is_unbounded_array_v<T>
unique_ptr<T> make_unique_for_overwrite(size_t size) {
    return unique_ptr<T>(new remove_extent_t<T>[size]);
}
template <class T>
    requires(!is_array_v<T>)
unique_ptr<T> make_unique_for_overwrite() {
    return unique_ptr<T>(new T);
}
}  // namespace std
#endif
#endif
