// qv3 info: everything a host learns about the plug-in through its record.
#include "Commands.h"
#include "Errors.h"
#include "OptionReader.h"
#include "Platform.h"
#include "PluginHost.h"

#include <cstdio>

namespace {
std::string fourCharacters(std::int32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

} // namespace

int runInfo(const std::vector<std::string>& arguments) {
    OptionReader reader(arguments);
    std::filesystem::path plugin = executableDirectory() / pluginFileName("Orvanta_QV3");
    while (!reader.done()) {
        std::string argument = reader.next();
        if (argument == "--plugin")
            plugin = std::filesystem::u8path(reader.value(argument));
        else
            throw UsageError("info: unexpected argument '" + argument + "'");
    }

    PluginHost host(plugin);
    std::printf("plug-in:     %s\n", plugin.string().c_str());
    std::printf("name:        %s\n", host.effectName().c_str());
    std::printf("vendor:      %s\n", host.vendor().c_str());
    std::printf("product:     %s\n", host.product().c_str());
    std::printf("unique ID:   '%s' (0x%08X)\n", fourCharacters(host.uniqueId()).c_str(),
                static_cast<unsigned>(host.uniqueId()));
    std::printf("version:     %d (vendor version %d, VST %d)\n", host.version(), host.vendorVersion(),
                host.vstVersion());
    std::printf("inputs:      %d\n", host.inputCount());
    std::printf("outputs:     %d\n", host.outputCount());
    std::printf("latency:     %d samples\n", host.latency());
    std::printf("flags:       0x%X (%s)\n", static_cast<unsigned>(host.flags()), host.flagNames().c_str());

    std::printf("parameters:  %d\n", host.parameterCount());
    for (std::int32_t index = 0; index < host.parameterCount(); ++index) {
        std::string label = host.parameterLabel(index);
        std::printf("  %2d  %-10s %.6f  \"%s\"%s%s\n", index, host.parameterName(index).c_str(),
                    static_cast<double>(host.parameter(index)), host.parameterDisplay(index).c_str(),
                    label.empty() ? "" : " ", label.c_str());
    }
    std::printf("programs:    %d\n", host.programCount());
    for (std::int32_t index = 0; index < host.programCount(); ++index)
        std::printf("  %2d  %s\n", index, host.programName(index).c_str());
    return 0;
}
