// Settings given on the command line in human terms (decibels, percent, milliseconds, switch positions) or
// as raw normalised values, and their conversion to the plug-in's normalised parameter values.
#pragma once

#include "PluginHost.h"

#include <cstdint>
#include <string>

struct Setting {
    enum class Kind { Makeup, Ceiling, ReleaseAuto, ReleaseManual, Shape, Monitor, Raw };
    Kind kind;
    double amount = 0.0;     // dB, percent or milliseconds; the normalised value for Raw
    std::string word;        // Shape and Monitor: the switch text, as the plug-in displays it
    std::int32_t index = -1; // Raw: the parameter index
    std::string given;       // the option as typed, for messages
};

// Parses the argument of --makeup, --ceiling, --release, --shape, --monitor or --set (option named without
// the dashes). Malformed and out-of-range values throw UsageError.
Setting parseSetting(const std::string& option, const std::string& argument);

// Sets the parameter(s) to the normalised value whose display text, read back from the plug-in, shows the
// requested amount. Throws std::runtime_error when the plug-in lacks the parameter or no value displays it.
void applySetting(const PluginHost& host, const Setting& setting);

// Makeup or Ceiling at `decibels`, as if given on the command line.
Setting makeupSetting(double decibels);
Setting ceilingSetting(double decibels);

// The Ceiling the plug-in shows, in dB. Throws std::runtime_error when it lacks the parameter.
double displayedCeilingDb(const PluginHost& host);
