// Bounded copies into host and program text fields: never past the field, always terminated.
#pragma once

#include <cstddef>
#include <cstring>

inline void copyText(char* destination, const char* source, std::size_t capacity) {
    std::size_t length = std::strlen(source);
    if (length >= capacity) length = capacity - 1;
    std::memcpy(destination, source, length);
    destination[length] = '\0';
}
