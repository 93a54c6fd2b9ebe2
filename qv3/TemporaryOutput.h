// The output file is written under a temporary name in its target folder and renamed into place only when
// complete, so a failure never leaves a half-written or clobbered file behind. An output to standard output
// ("-") is written whole to a temporary file first too, since its header is finished last, and then copied
// out; headerless samples there have no header to finish and go out as they are made, so that a player at the
// other end of a pipe starts at once.
#pragma once

#include "Platform.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

// Removes the temporary output unless it was renamed into place.
class TemporaryOutput {
  public:
    // `streamed`: the target is standard output and takes the samples as they come.
    explicit TemporaryOutput(const std::filesystem::path& target, bool streamed = false)
        : path_(streamed ? target
                : isStandardStream(target)
                    ? createTemporaryFile(std::filesystem::temp_directory_path(), "qv3-output")
                    : createTemporaryFile(target.has_parent_path() ? target.parent_path() : ".",
                                          target.filename().u8string())) {}
    ~TemporaryOutput() {
        if (path_.empty() || isStandardStream(path_)) return;
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        releaseTemporaryFile(path_);
    }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    const std::filesystem::path& path() const { return path_; }
    void moveTo(const std::filesystem::path& target) {
        if (isStandardStream(path_)) return;
        if (isStandardStream(target)) {
            copyOut();
            return;
        }
        std::error_code error;
        std::filesystem::rename(path_, target, error);
        if (error) throw std::runtime_error("cannot replace " + target.string() + ": " + error.message());
        releaseTemporaryFile(path_);
        path_.clear();
    }

  private:
    void copyOut() const {
        makeStandardOutputBinary();
        std::ifstream file(path_, std::ios::binary);
        std::vector<char> buffer(1 << 16);
        while (file) {
            file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            const std::size_t got = static_cast<std::size_t>(file.gcount());
            if (got > 0 && std::fwrite(buffer.data(), 1, got, stdout) != got)
                throw std::runtime_error("writing to standard output failed");
        }
        if (std::fflush(stdout) != 0) throw std::runtime_error("writing to standard output failed");
    }

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
