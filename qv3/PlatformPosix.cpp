#include "Platform.h"
#include "TemporaryOutputSlots.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {
TemporaryOutputSlots temporaryOutputs;

extern "C" void removeTemporariesAndExit(int signalNumber) {
    temporaryOutputs.removePending([](const char* path) { unlink(path); });
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}
} // namespace

std::vector<std::string> programArguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

// An absolute path: given a bare file name, the loader would search the system's library folders instead.
PluginLibrary::PluginLibrary(const std::filesystem::path& path)
    : handle_(dlopen(std::filesystem::absolute(path).c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) {
        const char* reason = dlerror();
        throw std::runtime_error("cannot load plug-in " + path.string() + ": " +
                                 (reason ? reason : "unknown"));
    }
}

PluginLibrary::~PluginLibrary() { dlclose(handle_); }

void* PluginLibrary::symbol(const char* name) const { return dlsym(handle_, name); }

std::string pluginFileName(const std::string& name) { return name + ".so"; }

std::filesystem::path executableDirectory() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

bool standardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

std::filesystem::path createTemporaryFile(const std::filesystem::path& folder, const std::string& stem) {
    std::string pattern = (folder / ("." + stem + ".qv3-XXXXXX")).string();
    if (pattern.size() >= TemporaryOutputSlots::kPathCapacity)
        throw std::runtime_error("output path is too long: " + folder.string());
    const int slot = temporaryOutputs.claim();
    int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        const int reason = errno;
        temporaryOutputs.abandon(slot);
        throw std::runtime_error("cannot create a file in " + folder.string() + ": " + std::strerror(reason));
    }
    // mkstemp makes the file private; give it the permissions any newly written file gets.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, static_cast<mode_t>(0666 & ~mask));
    close(descriptor);

    temporaryOutputs.fill(slot, pattern);
    struct sigaction action = {};
    action.sa_handler = removeTemporariesAndExit;
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the shell told us to ignore (a background job's interrupt) stays ignored.
        struct sigaction previous = {};
        sigaction(signalNumber, nullptr, &previous);
        if (previous.sa_handler != SIG_IGN) sigaction(signalNumber, &action, nullptr);
    }
    return pattern;
}

void releaseTemporaryFile(const std::filesystem::path& path) { temporaryOutputs.release(path.native()); }

int openForReading(const std::filesystem::path& path) {
    return isStandardStream(path) ? dup(STDIN_FILENO) : open(path.c_str(), O_RDONLY);
}

void makeStandardOutputBinary() {}

int openForWriting(const std::filesystem::path& path) {
    return isStandardStream(path) ? dup(STDOUT_FILENO)
                                  : open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
}

std::string lastSystemError() { return std::strerror(errno); }

// Linux file systems tell names apart by every byte.
bool sameFileName(const std::filesystem::path& first, const std::filesystem::path& second) {
    return first.lexically_normal() == second.lexically_normal();
}
