// The output file is written under a temporary name in its target folder and renamed into place only when
// complete, so a failure never leaves a half-written or clobbered file behind.
#pragma once

#include "Platform.h"

#include <filesystem>
#include <stdexcept>
#include <string>
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

// Refuses, before any work starts, a destination that could not be written: a folder, in a folder that does
// not exist, or in one that takes no new files (tried with a temporary file). `what` names it in the message.
inline void checkWritable(const std::filesystem::path& destination, const std::string& what) {
    std::error_code error;
    if (std::filesystem::is_directory(destination, error))
        throw std::runtime_error(what + " " + destination.string() + " is a folder");
    const std::filesystem::path folder = destination.has_parent_path() ? destination.parent_path() : ".";
    if (!std::filesystem::is_directory(folder, error))
        throw std::runtime_error(what + " " + destination.string() + ": the folder " + folder.string() +
                                 " does not exist");
    TemporaryOutput probe(destination);
}
