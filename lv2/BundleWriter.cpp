// bundle_writer FOLDER STEREO_NAME MONO_NAME: writes the Turtle files of the LV2 bundle into FOLDER from the
// parameter layout and the factory bank: manifest.ttl, NAME.ttl per plug-in (binary NAME.so) and
// NAME-presets.ttl with the 31 programs. Run by the build.
//
// Before writing it checks that every value it publishes comes back exactly: each factory program's value and
// each default, written as decimal text, read back as a host reads it and mapped by the plug-in's own
// mapping, is the very float the bank holds; the ends of every range map to 0 and 1. Otherwise it fails the
// build.
#include "Version.h"
#include "core/LimiterCore.h"
#include "core/ParameterLayout.h"
#include "lv2/PortLayout.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Plugin {
    const char* uri;
    std::string name; // doap:name and the base name of the binary and the Turtle files
    int channels;
};

ParameterId idAt(int index) { return static_cast<ParameterId>(index); }

// The shortest decimal that reads back as `value`, always with a decimal point.
std::string decimal(float value) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    std::string written(text, end);
    if (written.find('.') == std::string::npos) written += ".0";
    return written;
}

// As a host reads a number from Turtle: to double, then to the port's float.
float readBack(const std::string& text) { return static_cast<float>(std::strtod(text.c_str(), nullptr)); }

bool sameFloat(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string quoted(const char* text) {
    std::string out = "\"";
    for (const char* c = text; *c; ++c) {
        if (*c == '"' || *c == '\\') out += '\\';
        out += *c;
    }
    return out + '"';
}

bool checkRoundTrip(const PortMapping& mapping, ParameterId id, float normalised, const std::string& what) {
    const std::string text = decimal(portValueOf(id, normalised));
    const float mapped = mapping.normalisedOf(id, readBack(text));
    if (sameFloat(mapped, normalised)) return true;
    std::fprintf(stderr, "bundle_writer: %s: %s %s maps to %.9g, not %.9g\n", what.c_str(),
                 controlPortInfo(id).symbol, text.c_str(), static_cast<double>(mapped),
                 static_cast<double>(normalised));
    return false;
}

bool checkMapping(LimiterCore& core, const PortMapping& mapping) {
    bool exact = true;
    for (int index = 0; index < kParameterIdCount; ++index) {
        const ParameterId id = idAt(index);
        exact &= checkRoundTrip(mapping, id, parameterInfo(id).defaultValue, "default");
        exact &= checkRoundTrip(mapping, id, 0.0f, "minimum");
        exact &= checkRoundTrip(mapping, id, 1.0f, "maximum");
    }
    for (int program = 0; program < LimiterCore::programCount(); ++program) {
        core.selectProgram(program);
        for (int index = 0; index < kParameterIdCount; ++index)
            exact &= checkRoundTrip(mapping, idAt(index), core.value(idAt(index)),
                                    "program " + std::to_string(program));
    }
    core.selectProgram(0);
    return exact;
}

const char* unitOf(PortKind kind) {
    switch (kind) {
    case PortKind::kDecibels:
        return "units:db";
    case PortKind::kMilliseconds:
        return "units:ms";
    case PortKind::kPercent:
        return "units:pc";
    default:
        return nullptr;
    }
}

const char* const kPrefixes = "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
                              "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
                              "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                              "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                              "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                              "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                              "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n";

std::string presetUri(const Plugin& plugin, int program) {
    return std::string(plugin.uri) + ":program:" + std::to_string(program);
}

std::string manifest(const Plugin (&plugins)[2]) {
    std::ostringstream out;
    out << kPrefixes;
    for (const Plugin& plugin : plugins) {
        out << "\n<" << plugin.uri << ">\n    a lv2:Plugin ;\n    lv2:binary <" << plugin.name
            << ".so> ;\n    rdfs:seeAlso <" << plugin.name << ".ttl> .\n";
        for (int program = 0; program < LimiterCore::programCount(); ++program)
            out << "\n<" << presetUri(plugin, program) << ">\n    a pset:Preset ;\n    lv2:appliesTo <"
                << plugin.uri << "> ;\n    rdfs:seeAlso <" << plugin.name << "-presets.ttl> .\n";
    }
    return out.str();
}

void writeControlPort(std::ostream& out, ParameterId id) {
    const ControlPortInfo& port = controlPortInfo(id);
    const ParameterInfo& parameter = parameterInfo(id);
    out << "        a lv2:InputPort, lv2:ControlPort ;\n"
        << "        lv2:index " << static_cast<int>(id) << " ;\n"
        << "        lv2:symbol \"" << port.symbol << "\" ;\n"
        << "        lv2:name " << quoted(parameter.name) << " ;\n"
        << "        lv2:default " << decimal(portValueOf(id, parameter.defaultValue)) << " ;\n"
        << "        lv2:minimum " << decimal(portMinimum(id)) << " ;\n"
        << "        lv2:maximum " << decimal(portMaximum(id));
    if (const char* unit = unitOf(port.kind)) {
        out << " ;\n        units:unit " << unit;
        return;
    }
    out << " ;\n        lv2:portProperty lv2:integer, "
        << (port.kind == PortKind::kToggle ? "lv2:toggled" : "lv2:enumeration");
    for (int step = 0; step <= parameter.stepCount; ++step) {
        char text[kParameterTextSize];
        formatParameter(id, valueOfStep(id, step), text);
        out << " ;\n        lv2:scalePoint [ rdfs:label " << quoted(text) << " ; rdf:value " << step << " ]";
    }
}

// Stereo: "in_l" "In L" ... "out_r" "Out R"; mono: "in" "In", "out" "Out".
void writeAudioPort(std::ostream& out, const Plugin& plugin, bool output, int channel) {
    std::string symbol = output ? "out" : "in", name = output ? "Out" : "In";
    if (plugin.channels == 2) {
        symbol += channel == 0 ? "_l" : "_r";
        name += channel == 0 ? " L" : " R";
    }
    out << "        a lv2:" << (output ? "OutputPort" : "InputPort") << ", lv2:AudioPort ;\n"
        << "        lv2:index "
        << (output ? audioOutputPort(plugin.channels, channel) : audioInputPort(channel)) << " ;\n"
        << "        lv2:symbol \"" << symbol << "\" ;\n"
        << "        lv2:name \"" << name << "\"";
}

std::string description(const Plugin& plugin) {
    std::ostringstream out;
    out << kPrefixes << "\n<" << plugin.uri << ">\n"
        << "    a lv2:Plugin, lv2:LimiterPlugin, doap:Project ;\n"
        << "    doap:name " << quoted(plugin.name.c_str()) << " ;\n"
        << "    doap:maintainer [ foaf:name \"tarnwick\" ] ;\n"
        << "    lv2:minorVersion " << QV3_VERSION_MINOR << " ;\n"
        << "    lv2:microVersion " << QV3_VERSION_PATCH << " ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable ;\n"
        << "    lv2:port [\n";
    for (int index = 0; index < kParameterIdCount; ++index) {
        writeControlPort(out, idAt(index));
        out << "\n    ] , [\n";
    }
    out << "        a lv2:OutputPort, lv2:ControlPort ;\n"
        << "        lv2:index " << kLatencyPort << " ;\n"
        << "        lv2:symbol \"latency\" ;\n"
        << "        lv2:name \"Latency\" ;\n"
        << "        lv2:designation lv2:latency ;\n"
        << "        lv2:portProperty lv2:reportsLatency, lv2:integer ;\n"
        << "        lv2:minimum 0 ;\n"
        << "        lv2:maximum " << LimiterCore::latency() << " ;\n"
        << "        units:unit units:frame";
    for (bool output : {false, true}) {
        for (int channel = 0; channel < plugin.channels; ++channel) {
            out << "\n    ] , [\n";
            writeAudioPort(out, plugin, output, channel);
        }
    }
    out << "\n    ] .\n";
    return out.str();
}

std::string presets(LimiterCore& core, const Plugin& plugin) {
    std::ostringstream out;
    out << kPrefixes;
    for (int program = 0; program < LimiterCore::programCount(); ++program) {
        core.selectProgram(program);
        char name[kProgramNameSize];
        core.programName(program, name);
        out << "\n<" << presetUri(plugin, program) << ">\n    a pset:Preset ;\n    lv2:appliesTo <"
            << plugin.uri << "> ;\n    rdfs:label " << quoted(name) << " ;\n    lv2:port [\n";
        for (int index = 0; index < kParameterIdCount; ++index) {
            const ParameterId id = idAt(index);
            out << (index ? "    ] , [\n" : "") << "        lv2:symbol \"" << controlPortInfo(id).symbol
                << "\" ;\n        pset:value " << decimal(portValueOf(id, core.value(id))) << "\n";
        }
        out << "    ] .\n";
    }
    core.selectProgram(0);
    return out.str();
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (file) return true;
    std::fprintf(stderr, "bundle_writer: cannot write %s\n", path.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bundle_writer FOLDER STEREO_NAME MONO_NAME\n");
        return 2;
    }
    LimiterCore core;
    const PortMapping mapping(core);
    if (!checkMapping(core, mapping)) return 1;

    const std::string folder = argv[1];
    const Plugin plugins[2] = {{kStereoPluginUri, argv[2], 2}, {kMonoPluginUri, argv[3], 1}};
    bool written = writeFile(folder + "/manifest.ttl", manifest(plugins));
    for (const Plugin& plugin : plugins) {
        written &= writeFile(folder + "/" + plugin.name + ".ttl", description(plugin));
        written &= writeFile(folder + "/" + plugin.name + "-presets.ttl", presets(core, plugin));
    }
    return written ? 0 : 1;
}
