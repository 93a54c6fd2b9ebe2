// QV3_NONBLOCKING marks a function that runs on the host's audio thread: under clang it may not allocate,
// lock, block or call the system, which -Wfunction-effects checks where it compiles and RealtimeSanitizer
// where it runs. Other compilers see nothing.
#pragma once

#if defined(__clang__) && defined(__has_cpp_attribute)
#if __has_cpp_attribute(clang::nonblocking)
#define QV3_NONBLOCKING [[clang::nonblocking]]
#endif
#endif
#ifndef QV3_NONBLOCKING
#define QV3_NONBLOCKING
#endif

// Around a call from a nonblocking function that the analysis cannot see through but that is safe on the
// audio thread; the spot says why (a host's own event list or parameter queue, which its format obliges us to
// read there; an editor that answers another thread with a flag only).
#if defined(__clang__) && defined(__has_warning)
#if __has_warning("-Wfunction-effects")
#define QV3_UNCHECKED_CALLS_BEGIN                                                                            \
    _Pragma("clang diagnostic push") _Pragma("clang diagnostic ignored \"-Wfunction-effects\"")
#define QV3_UNCHECKED_CALLS_END _Pragma("clang diagnostic pop")
#endif
#endif
#ifndef QV3_UNCHECKED_CALLS_BEGIN
#define QV3_UNCHECKED_CALLS_BEGIN
#define QV3_UNCHECKED_CALLS_END
#endif
