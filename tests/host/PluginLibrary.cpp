#include "PluginLibrary.h"

#include <cstring>

const PluginBuild kPluginBuilds[2] = {
    {"Stereo", "Orvanta_QV3.dll", "Orvanta_QV3", 0x6F763038, 2},
    {"Mono", "Orvanta_QV3mono.dll", "Orvanta_QV3mono", 0x6F763039, 1},
};

void PrintTo(const PluginBuild& build, std::ostream* out) { *out << build.fileName; }

namespace {
// The folder of this program, with its trailing separator; the build places the libraries there.
std::string programFolder() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}
} // namespace

PluginLibrary::PluginLibrary(const char* fileName)
    : path_(programFolder() + fileName), module_(LoadLibraryA(path_.c_str())) {}

PluginLibrary::~PluginLibrary() {
    if (module_) FreeLibrary(module_);
}

PluginMain PluginLibrary::entry() const {
    return reinterpret_cast<PluginMain>(reinterpret_cast<void*>(GetProcAddress(module_, "main")));
}

const IMAGE_NT_HEADERS& PluginLibrary::headers() const {
    const IMAGE_DOS_HEADER* dos = at<IMAGE_DOS_HEADER>(0);
    return *at<IMAGE_NT_HEADERS>(static_cast<std::uint32_t>(dos->e_lfanew));
}

std::uint32_t PluginLibrary::exportedFunctionCount() const {
    const IMAGE_DATA_DIRECTORY& directory =
        headers().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.VirtualAddress == 0) return 0;
    return at<IMAGE_EXPORT_DIRECTORY>(directory.VirtualAddress)->NumberOfFunctions;
}

std::vector<ExportedName> PluginLibrary::exportedNames() const {
    std::vector<ExportedName> names;
    const IMAGE_DATA_DIRECTORY& directory =
        headers().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.VirtualAddress == 0) return names;
    const IMAGE_EXPORT_DIRECTORY* exports = at<IMAGE_EXPORT_DIRECTORY>(directory.VirtualAddress);
    const DWORD* nameRvas = at<DWORD>(exports->AddressOfNames);
    const WORD* slots = at<WORD>(exports->AddressOfNameOrdinals);
    const DWORD* functionRvas = at<DWORD>(exports->AddressOfFunctions);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        WORD slot = slots[i];
        names.push_back({at<char>(nameRvas[i]), exports->Base + slot, at<std::uint8_t>(functionRvas[slot])});
    }
    return names;
}

std::vector<std::string> PluginLibrary::importedLibraries() const {
    std::vector<std::string> libraries;
    const IMAGE_DATA_DIRECTORY* directories = headers().OptionalHeader.DataDirectory;
    if (directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress != 0) {
        for (const IMAGE_IMPORT_DESCRIPTOR* entry =
                 at<IMAGE_IMPORT_DESCRIPTOR>(directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
             entry->Name != 0; ++entry)
            libraries.emplace_back(at<char>(entry->Name));
    }
    if (directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress != 0) {
        for (const IMAGE_DELAYLOAD_DESCRIPTOR* entry = at<IMAGE_DELAYLOAD_DESCRIPTOR>(
                 directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress);
             entry->DllNameRVA != 0; ++entry)
            libraries.emplace_back(at<char>(entry->DllNameRVA));
    }
    return libraries;
}

bool PluginLibrary::containsAddress(const void* address) const {
    auto base = reinterpret_cast<std::uintptr_t>(module_);
    auto target = reinterpret_cast<std::uintptr_t>(address);
    return target >= base && target < base + headers().OptionalHeader.SizeOfImage;
}

VersionResource::VersionResource(const std::string& path) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) return;
    data_.resize(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data_.data())) data_.clear();
}

std::optional<VS_FIXEDFILEINFO> VersionResource::fixedInfo() const {
    void* block = nullptr;
    UINT length = 0;
    if (!present() || !VerQueryValueA(data_.data(), "\\", &block, &length) ||
        length < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, block, sizeof info);
    return info;
}

std::vector<std::pair<WORD, WORD>> VersionResource::translations() const {
    std::vector<std::pair<WORD, WORD>> pairs;
    void* block = nullptr;
    UINT length = 0;
    if (!present() || !VerQueryValueA(data_.data(), "\\VarFileInfo\\Translation", &block, &length))
        return pairs;
    const WORD* words = static_cast<const WORD*>(block);
    for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2)
        pairs.emplace_back(words[i], words[i + 1]);
    return pairs;
}

std::optional<std::string> VersionResource::text(const char* table, const char* key) const {
    std::string query = std::string("\\StringFileInfo\\") + table + "\\" + key;
    void* block = nullptr;
    UINT length = 0;
    if (!present() || !VerQueryValueA(data_.data(), query.c_str(), &block, &length)) return std::nullopt;
    return std::string(static_cast<const char*>(block));
}
