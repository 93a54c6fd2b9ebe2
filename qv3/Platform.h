// The few operating-system services the qv3 command needs, behind one small interface so that the hosting
// and file code stay portable. PlatformPosix.cpp implements them for Linux, PlatformWindows.cpp for Windows.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The command-line arguments after the program's name, as UTF-8 text on every platform. Call once at the
// start.
std::vector<std::string> programArguments(int argc, char** argv);

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

// Creates a new, empty file with a unique name in `folder`, made from `stem` (UTF-8), readable as an ordinary
// new file would be, and returns its path. An interrupt (Ctrl-C) removes that file before the process ends.
// Safe to call from several threads, up to kMostTemporaryFiles files at a time. Throws std::runtime_error
// when the folder does not take new files.
std::filesystem::path createTemporaryFile(const std::filesystem::path& folder, const std::string& stem);

// Forgets a file registered by createTemporaryFile, once it has been renamed or removed.
void releaseTemporaryFile(const std::filesystem::path& path);

// "-" on the command line: standard input as an INPUT, standard output as an OUTPUT.
inline bool isStandardStream(const std::filesystem::path& path) { return path == "-"; }

// Switches standard output to binary, for audio written there (Windows would turn line ends into CR LF).
void makeStandardOutputBinary();

// Open `path` as a C runtime file descriptor for libsndfile's sf_open_fd, which closes it: for reading ("-":
// a binary descriptor of standard input), or created or emptied for writing ("-": standard output's). They
// return -1 when the file cannot be opened, and lastSystemError() then says why. An interrupt can remove a
// file while it is open for writing.
int openForReading(const std::filesystem::path& path);
int openForWriting(const std::filesystem::path& path);

// The system's explanation of the last failure in this thread ("No such file or directory").
std::string lastSystemError();

// How many temporary files may be registered at once: the most workers a batch runs.
constexpr int kMostTemporaryFiles = 64;

// True when two output paths that do not exist yet would name the same file once written.
bool sameFileName(const std::filesystem::path& first, const std::filesystem::path& second);
