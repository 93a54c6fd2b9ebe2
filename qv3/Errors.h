// The two ways a qv3 command fails. Both carry a one-line message for standard error.
#pragma once

#include <stdexcept>

// The command line asks for something malformed or out of range (exit status 2).
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Files, plug-in or processing failed (exit status 1): std::runtime_error itself.
