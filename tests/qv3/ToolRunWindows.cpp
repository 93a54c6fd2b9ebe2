#include "ToolTestSupport.h"

#include <windows.h>

namespace {
std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring converted(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), converted.data(), size);
    return converted;
}

// One argument quoted so that the program's CommandLineToArgvW gives it back unchanged.
std::wstring quoted(const std::wstring& argument) {
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, L'\\');
    return text + L"\"";
}

HANDLE inheritable(const fs::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The C runtime writes "\r\n" for every "\n" a Windows program prints.
std::string withNewlines(std::string text) {
    std::string::size_type at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos)
        text.erase(at, 1);
    return text;
}
} // namespace

CommandResult runQv3(const std::vector<std::string>& arguments, const fs::path& standardInput) {
    ScratchFolder capture;
    const fs::path outPath = capture / "stdout";
    const fs::path errPath = capture / "stderr";
    std::wstring commandLine = quoted(fs::path(QV3_TOOL).make_preferred().wstring());
    for (const auto& argument : arguments)
        commandLine += L" " + quoted(wide(argument));

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput =
        inheritable(standardInput.empty() ? fs::path("NUL") : standardInput, GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = inheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = inheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process = {};
    CommandResult result;
    // Under load, Wine now and then fails to create a process at all (ERROR_INTERNAL_ERROR); nothing ran
    // then, so starting it again is safe.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 3; ++attempt) {
        started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                 &startup, &process);
        if (started || GetLastError() != ERROR_INTERNAL_ERROR) break;
    }
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 0;
        GetExitCodeProcess(process.hProcess, &status);
        result.status = static_cast<int>(status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        ADD_FAILURE() << "cannot start " << QV3_TOOL << ": error " << GetLastError();
    }
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
        CloseHandle(handle);
    result.outBytes = readText(outPath);
    result.out = withNewlines(result.outBytes);
    result.err = withNewlines(readText(errPath));
    return result;
}
