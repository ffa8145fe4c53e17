// Texts go into fixed char arrays through one helper that cuts to fit and always terminates.
#pragma once

#include <cstddef>
#include <cstring>

namespace zedadu {

inline void CopyText(char* destination, size_t capacity, const char* source) {
    if (capacity == 0) {
        return;
    }
    const size_t length = source ? strnlen(source, capacity - 1) : 0;
    memcpy(destination, source, length);
    destination[length] = '\0';
}

template <size_t N>
void CopyText(char (&destination)[N], const char* source) {
    CopyText(destination, N, source);
}

inline bool SameText(const char* a, const char* b) {
    return strcmp(a, b) == 0;
}

}  // namespace zedadu
