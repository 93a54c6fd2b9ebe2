// What the library file declares to the loader and to a host's plug-in scanner: machine, exports, imports and
// the version resource.
#include "HostedEffect.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

class LibraryImage : public PluginTest {};
QV3_FOR_BOTH_LIBRARIES(LibraryImage);

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

TEST_P(LibraryImage, IsALibraryOfThisArchitecture) {
    const IMAGE_NT_HEADERS& headers = library().headers();
    EXPECT_EQ(headers.Signature, IMAGE_NT_SIGNATURE);
    EXPECT_EQ(headers.FileHeader.Machine,
              sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(headers.OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR_MAGIC);
    EXPECT_NE(headers.FileHeader.Characteristics & IMAGE_FILE_DLL, 0);
}

TEST_P(LibraryImage, ExportsOnlyMainAtOrdinalOne) {
    EXPECT_EQ(library().exportedFunctionCount(), 1u);
    std::vector<ExportedName> names = library().exportedNames();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].name, "main");
    EXPECT_EQ(names[0].ordinal, 1u);
    EXPECT_TRUE(library().containsAddress(names[0].address)) << "main is forwarded elsewhere";
    EXPECT_EQ(names[0].address, reinterpret_cast<const void*>(GetProcAddress(library().module(), "main")));
    EXPECT_EQ(names[0].address,
              reinterpret_cast<const void*>(GetProcAddress(library().module(), MAKEINTRESOURCEA(1))));
    EXPECT_EQ(GetProcAddress(library().module(), "VSTPluginMain"), nullptr);
    EXPECT_EQ(GetProcAddress(library().module(), MAKEINTRESOURCEA(2)), nullptr);
}

// The runtimes are linked in: a host machine has none of the compiler's DLLs.
TEST_P(LibraryImage, ImportsOnlySystemLibraries) {
    const std::set<std::string> systemLibraries = {
        "kernel32.dll", "user32.dll",  "gdi32.dll",    "ole32.dll",    "oleaut32.dll",
        "shell32.dll",  "msvcrt.dll",  "advapi32.dll", "comdlg32.dll", "msimg32.dll",
        "comctl32.dll", "shlwapi.dll", "winmm.dll",
    };
    std::vector<std::string> imports = library().importedLibraries();
    std::set<std::string> seen;
    for (const std::string& name : imports) {
        std::string lower = lowerCase(name);
        EXPECT_TRUE(systemLibraries.count(lower) == 1 || lower.rfind("api-ms-win-", 0) == 0)
            << name << " is not a system library";
        EXPECT_TRUE(seen.insert(lower).second) << name << " is listed twice";
    }
    EXPECT_EQ(seen.count("kernel32.dll"), 1u) << "the import table was not read";
}

TEST_P(LibraryImage, CarriesTheVersionResource) {
    VersionResource resource(library().path());
    ASSERT_TRUE(resource.present()) << "no version resource in " << library().path();

    std::optional<VS_FIXEDFILEINFO> info = resource.fixedInfo();
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info->dwFileVersionMS, 0x00010001u) << "file version 1.1";
    EXPECT_EQ(info->dwFileVersionLS, 0x00000000u) << "file version .0.0";
    EXPECT_EQ(info->dwProductVersionMS, 0x00010001u) << "product version 1.1";
    EXPECT_EQ(info->dwProductVersionLS, 0x00000000u) << "product version .0.0";
    EXPECT_EQ(info->dwFileType, static_cast<DWORD>(VFT_DLL));

    std::vector<std::pair<WORD, WORD>> translations = resource.translations();
    ASSERT_EQ(translations.size(), 1u);
    EXPECT_EQ(translations[0].first, 0x0000) << "language neutral";
    EXPECT_EQ(translations[0].second, 0x04E4) << "code page 1252";

    EXPECT_EQ(resource.text("000004E4", "FileDescription"), "VST Plug-In");
    EXPECT_EQ(resource.text("000004E4", "FileVersion"), "1.1");
    EXPECT_EQ(resource.text("000004E4", "InternalName"), build().effectName);
    EXPECT_EQ(resource.text("000004E4", "CompanyName"), "tarnwick");
}

} // namespace
