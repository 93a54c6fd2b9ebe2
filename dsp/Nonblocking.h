// QV3_NONBLOCKING marks a function that runs on the host's audio thread: under clang it may not allocate, lock,
// block or call the system, which -Wfunction-effects checks where it compiles and RealtimeSanitizer where it
// runs. Other compilers see nothing.
#pragma once

#if defined(__clang__) && defined(__has_cpp_attribute)
#if __has_cpp_attribute(clang::nonblocking)
#define QV3_NONBLOCKING [[clang::nonblocking]]
#endif
#endif
#ifndef QV3_NONBLOCKING
#define QV3_NONBLOCKING
#endif
