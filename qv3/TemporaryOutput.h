// The output file is written under a temporary name in its target folder and renamed into place only when
// complete, so a failure never leaves a half-written or clobbered file behind.
#pragma once

#include "Platform.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

// Removes the temporary output unless it was renamed into place.
class TemporaryOutput {
  public:
    explicit TemporaryOutput(const std::filesystem::path& target)
        : path_(createTemporaryFile(target.has_parent_path() ? target.parent_path() : ".",
                                    target.filename().u8string())) {}
    ~TemporaryOutput() {
        if (path_.empty()) return;
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        releaseTemporaryFile(path_);
    }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    const std::filesystem::path& path() const { return path_; }
    void moveTo(const std::filesystem::path& target) {
        std::error_code error;
        std::filesystem::rename(path_, target, error);
        if (error) throw std::runtime_error("cannot replace " + target.string() + ": " + error.message());
        releaseTemporaryFile(path_);
        path_.clear();
    }

  private:
    std::filesystem::path path_;
};
