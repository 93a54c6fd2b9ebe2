// The few operating-system services the qv3 command needs, behind one small interface so that the hosting
// and file code stay portable. PlatformPosix.cpp implements them for Linux.
#pragma once

#include <filesystem>
#include <string>

// A plug-in library loaded into this process; unloaded when the object goes away.
class PluginLibrary {
  public:
    // Throws std::runtime_error with the loader's own explanation when the file cannot be loaded.
    explicit PluginLibrary(const std::filesystem::path& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // The exported function of that name, or null when the library has none.
    void* symbol(const char* name) const;

  private:
    void* handle_;
};

// File name of a plug-in library built as `name` on this platform ("Orvanta_QV3.so").
std::string pluginFileName(const std::string& name);

// Folder of the running qv3 executable, where the plug-in builds are installed beside it.
std::filesystem::path executableDirectory();

// True when standard error shows on a terminal, so a progress bar can be redrawn in place.
bool standardErrorIsTerminal();

// Creates a new, empty file with a unique name in `folder` (readable as an ordinary new file would be) and
// returns its path. An interrupt (Ctrl-C) removes that file before the process ends. Safe to call from
// several threads, up to kMostTemporaryFiles files at a time. Throws std::runtime_error when the folder does
// not take new files.
std::filesystem::path createTemporaryFile(const std::filesystem::path& folder, const std::string& stem);

// Forgets a file registered by createTemporaryFile, once it has been renamed or removed.
void releaseTemporaryFile(const std::filesystem::path& path);

// How many temporary files may be registered at once: the most workers a batch runs.
constexpr int kMostTemporaryFiles = 64;

// True when two output paths that do not exist yet would name the same file once written.
bool sameFileName(const std::filesystem::path& first, const std::filesystem::path& second);
