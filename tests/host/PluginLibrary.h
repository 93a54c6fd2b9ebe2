// A plug-in library as a host meets it: the file placed next to this program, loaded with LoadLibrary, its
// entry `main`, and what its PE image and version resource declare.
#pragma once

#include "vst2/VstInterface.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// What a host should find in each of the two libraries.
struct PluginBuild {
    const char* label; // names the test instantiation
    const char* fileName;
    const char* effectName;
    std::int32_t uniqueId;
    std::int32_t channels;
};

extern const PluginBuild kPluginBuilds[2];

// Names the build in GoogleTest's messages.
void PrintTo(const PluginBuild& build, std::ostream* out);

using PluginMain = AEffect*(QV3_VSTCALL*)(audioMasterCallback host);

struct ExportedName {
    std::string name;
    std::uint32_t ordinal;
    const void* address;
};

class PluginLibrary {
  public:
    explicit PluginLibrary(const char* fileName);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool loaded() const { return module_ != nullptr; }
    const std::string& path() const { return path_; }
    HMODULE module() const { return module_; }
    PluginMain entry() const;

    const IMAGE_NT_HEADERS& headers() const;
    // Number of slots in the export address table (named or not).
    std::uint32_t exportedFunctionCount() const;
    std::vector<ExportedName> exportedNames() const;
    // Libraries named in the import and the delay-load import tables, in table order.
    std::vector<std::string> importedLibraries() const;
    bool containsAddress(const void* address) const;

  private:
    template <typename T> const T* at(std::uint32_t rva) const {
        return reinterpret_cast<const T*>(reinterpret_cast<const std::uint8_t*>(module_) + rva);
    }

    std::string path_;
    HMODULE module_ = nullptr;
};

// The version resource of a file, read with GetFileVersionInfo and VerQueryValue.
class VersionResource {
  public:
    explicit VersionResource(const std::string& path);

    bool present() const { return !data_.empty(); }
    std::optional<VS_FIXEDFILEINFO> fixedInfo() const;
    // (language, code page) pairs of the VarFileInfo translation table.
    std::vector<std::pair<WORD, WORD>> translations() const;
    // The value of `key` in the string table named `table` (for example "000004E4").
    std::optional<std::string> text(const char* table, const char* key) const;

  private:
    std::vector<char> data_;
};
