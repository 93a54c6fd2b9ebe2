#include "Platform.h"
#include "TemporaryOutputSlots.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <random>
#include <stdexcept>

namespace {
TemporaryOutputSlots temporaryOutputs;

// Runs on a thread of its own. The outputs are opened shareable for deletion, so they go even while a
// worker still writes; returning FALSE lets Windows' default handler end the process.
BOOL WINAPI removeTemporariesOnInterrupt(DWORD) {
    temporaryOutputs.removePending([](const wchar_t* path) { DeleteFileW(path); });
    return FALSE;
}

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string converted(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr);
    converted.resize(static_cast<std::size_t>(size - 1));
    return converted;
}

// The system's explanation of an error code, as one line without the trailing period.
std::string systemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string message = length ? utf8(buffer) : "error " + std::to_string(code);
    LocalFree(buffer);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

// Every file qv3 opens may be removed while open: the interrupt handler removes outputs being written.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int descriptorOf(HANDLE file, int flags) {
    if (file == INVALID_HANDLE_VALUE) return -1;
    const int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(file), flags | _O_BINARY);
    if (descriptor < 0) CloseHandle(file);
    return descriptor;
}

// Volume and index of an existing file; false when it cannot be opened.
bool fileIdentity(const std::filesystem::path& path, BY_HANDLE_FILE_INFORMATION& identity) {
    HANDLE file =
        CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &identity) != 0;
    CloseHandle(file);
    return known;
}
} // namespace

std::vector<std::string> programArguments(int, char**) {
    // The console shows what qv3 prints as UTF-8, as every file name it handles is, until qv3 exits: the code
    // page belongs to the console, which the shell keeps using.
    static const UINT previousCodePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    std::atexit([] { SetConsoleOutputCP(previousCodePage); });
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int index = 1; index < count; ++index)
        arguments.push_back(utf8(wide[index]));
    LocalFree(wide);
    return arguments;
}

// An absolute path: given a bare file name, the loader would search the system's library folders instead.
// A file that is no library is reported here, not in a message box.
PluginLibrary::PluginLibrary(const std::filesystem::path& path) {
    DWORD previousMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE module = LoadLibraryW(std::filesystem::absolute(path).c_str());
    const DWORD reason = GetLastError();
    SetThreadErrorMode(previousMode, nullptr);
    if (!module)
        throw std::runtime_error("cannot load plug-in " + path.string() + ": " + systemMessage(reason));
    handle_ = module;
}

PluginLibrary::~PluginLibrary() { FreeLibrary(static_cast<HMODULE>(handle_)); }

void* PluginLibrary::symbol(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string pluginFileName(const std::string& name) { return name + ".dll"; }

std::filesystem::path executableDirectory() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length < name.size()) {
            name.resize(length);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
}

bool standardErrorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::filesystem::path createTemporaryFile(const std::filesystem::path& folder, const std::string& stem) {
    static std::once_flag handlerInstalled;
    std::call_once(handlerInstalled, [] { SetConsoleCtrlHandler(removeTemporariesOnInterrupt, TRUE); });
    static std::atomic<unsigned> counter{std::random_device{}()};
    const int slot = temporaryOutputs.claim();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path path =
            folder /
            std::filesystem::u8path("." + stem + ".qv3-" + std::to_string(counter.fetch_add(1) % 1000000u));
        if (path.native().size() >= TemporaryOutputSlots::kPathCapacity) {
            temporaryOutputs.abandon(slot);
            throw std::runtime_error("output path is too long: " + folder.string());
        }
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            temporaryOutputs.fill(slot, path.native());
            return path;
        }
        const DWORD reason = GetLastError();
        if (reason != ERROR_FILE_EXISTS && reason != ERROR_ALREADY_EXISTS) {
            temporaryOutputs.abandon(slot);
            throw std::runtime_error("cannot create a file in " + folder.string() + ": " +
                                     systemMessage(reason));
        }
    }
    temporaryOutputs.abandon(slot);
    throw std::runtime_error("cannot create a file in " + folder.string() + ": no free name");
}

void releaseTemporaryFile(const std::filesystem::path& path) { temporaryOutputs.release(path.native()); }

void makeStandardOutputBinary() { _setmode(_fileno(stdout), _O_BINARY); }

int openForReading(const std::filesystem::path& path) {
    if (isStandardStream(path)) {
        _setmode(_fileno(stdin), _O_BINARY);
        return _dup(_fileno(stdin));
    }
    return descriptorOf(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr),
                        _O_RDONLY);
}

int openForWriting(const std::filesystem::path& path) {
    if (isStandardStream(path)) {
        makeStandardOutputBinary();
        return _dup(_fileno(stdout));
    }
    return descriptorOf(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr),
                        0);
}

std::string lastSystemError() { return systemMessage(GetLastError()); }

// Windows file systems ignore case: two paths name one file when their full forms agree but for case, or,
// for files that exist, when they have the same volume and index (hard links, short names).
bool sameFileName(const std::filesystem::path& first, const std::filesystem::path& second) {
    BY_HANDLE_FILE_INFORMATION one = {};
    BY_HANDLE_FILE_INFORMATION other = {};
    if (fileIdentity(first, one) && fileIdentity(second, other))
        return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
               one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
    const std::wstring a = std::filesystem::absolute(first).lexically_normal().native();
    const std::wstring b = std::filesystem::absolute(second).lexically_normal().native();
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}
