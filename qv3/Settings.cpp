#include "Settings.h"

#include "Errors.h"
#include "TextNumbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {
// How the limiter names its parameters; the host finds them by these names, never by position.
constexpr const char* kMakeupName = "Makeup";
constexpr const char* kCeilingName = "Ceiling";
constexpr const char* kReleaseSwitchName = "RelSW";
constexpr const char* kReleaseName = "Rel";
constexpr const char* kShapeName = "lt_ClipSW";
constexpr const char* kMonitorName = "Monitor";

// Release switch positions, as the factory programs use them.
constexpr float kReleaseAuto = 0.0f;
constexpr float kReleaseManual = 1.0f;

// The plug-in's mappings (dB = 48 v; dB = 6 v - 6; percent = 100 v; ms = v^3 * 999.99 + 0.01), inverted for a
// first guess that the display text then confirms.
constexpr double kMakeupMaxDb = 48.0;
constexpr double kCeilingMinDb = -6.0;
constexpr double kShortestReleaseMs = 0.01;
constexpr double kLongestReleaseMs = 999.99;
constexpr double kReleaseSpanMs = static_cast<double>(999.99f);
constexpr double kReleaseOffsetMs = static_cast<double>(0.01f);

UsageError outOfRange(const std::string& option, const std::string& argument, const std::string& range) {
    return UsageError("--" + option + " takes " + range + ", not '" + argument + "'");
}

double parseAmount(const std::string& option, const std::string& argument, const std::string& unit,
                   double low, double high, const std::string& range) {
    std::string number = argument;
    if (!unit.empty() && number.size() > unit.size() &&
        number.compare(number.size() - unit.size(), unit.size(), unit) == 0)
        number.resize(number.size() - unit.size());
    auto value = parseNumber(number);
    if (!value || *value < low || *value > high) throw outOfRange(option, argument, range);
    return *value;
}

std::int32_t findParameter(const PluginHost& host, const char* name) {
    for (std::int32_t index = 0; index < host.parameterCount(); ++index)
        if (host.parameterName(index) == name) return index;
    throw std::runtime_error(std::string("plug-in has no parameter named ") + name);
}

// True when `text`, as the plug-in shows it, stands for `amount`: a text with decimals is `amount` rounded to
// that many decimals, a whole number is `amount` truncated; "min" and "max" are the auto release's ends.
bool textShows(const std::string& text, double amount) {
    if (text == "min") return amount < 1.0;
    if (text == "max") return amount > 99.0;
    auto shown = leadingNumber(text);
    if (!shown) return false;
    int decimals = decimalsOf(text);
    constexpr double kSlack = 1e-9;
    if (decimals == 0) return *shown <= amount + kSlack && amount < *shown + 1.0 - kSlack;
    return std::fabs(*shown - amount) <= 0.5 * std::pow(10.0, -decimals) + kSlack;
}

// The amount a text stands for, for ordering: the texts grow with the normalised value.
double textAmount(const std::string& text) {
    if (text == "min") return 0.0;
    if (text == "max") return 100.0;
    return leadingNumber(text).value_or(NAN);
}

// Sets `index` to the value whose text shows `amount`: the inverse mapping's guess when the plug-in confirms
// it, else the first value (by bisection over the monotonic texts) that reads at least `amount`, or the last
// one below it.
void setShowing(const PluginHost& host, std::int32_t index, double guess, double amount,
                const Setting& setting) {
    auto showsAt = [&](float value) {
        host.setParameter(index, value);
        return host.parameterDisplay(index);
    };
    float first = static_cast<float>(std::clamp(guess, 0.0, 1.0));
    if (textShows(showsAt(first), amount)) return;

    float low = 0.0f;
    float high = 1.0f;
    if (!(textAmount(showsAt(high)) >= amount)) low = high;
    while (std::nextafter(low, high) < high) {
        float middle = low + (high - low) * 0.5f;
        if (middle <= low || middle >= high) break;
        (textAmount(showsAt(middle)) >= amount ? high : low) = middle;
    }
    for (float candidate : {high, low}) {
        std::string text = showsAt(candidate);
        if (textShows(text, amount)) return;
    }
    host.setParameter(index, first);
    throw std::runtime_error("--" + setting.given + ": no value of " + host.parameterName(index) +
                             " displays that (the nearest shows \"" + host.parameterDisplay(index) + "\")");
}

void setSwitch(const PluginHost& host, std::int32_t index, std::initializer_list<float> positions,
               const Setting& setting) {
    for (float position : positions) {
        host.setParameter(index, position);
        if (host.parameterDisplay(index) == setting.word) return;
    }
    throw std::runtime_error("--" + setting.given + ": the plug-in shows no position as '" + setting.word +
                             "'");
}
} // namespace

Setting parseSetting(const std::string& option, const std::string& argument) {
    Setting setting;
    setting.given = option + " " + argument;
    if (option == "makeup") {
        setting.kind = Setting::Kind::Makeup;
        setting.amount = parseAmount(option, argument, "dB", 0.0, kMakeupMaxDb, "0 to 48 (dB)");
    } else if (option == "ceiling") {
        setting.kind = Setting::Kind::Ceiling;
        setting.amount = parseAmount(option, argument, "dB", kCeilingMinDb, 0.0, "-6 to 0 (dB)");
    } else if (option == "release") {
        const std::string range = "auto:PERCENT (0 to 100) or manual:MS (0.01 to 999.99)";
        if (argument.rfind("auto:", 0) == 0) {
            setting.kind = Setting::Kind::ReleaseAuto;
            std::string percent = argument.substr(5);
            auto value = parseNumber(
                !percent.empty() && percent.back() == '%' ? percent.substr(0, percent.size() - 1) : percent);
            if (!value || *value < 0.0 || *value > 100.0) throw outOfRange(option, argument, range);
            setting.amount = *value;
        } else if (argument.rfind("manual:", 0) == 0) {
            setting.kind = Setting::Kind::ReleaseManual;
            std::string time = argument.substr(7);
            if (time.size() > 2 && time.compare(time.size() - 2, 2, "ms") == 0) time.resize(time.size() - 2);
            auto value = parseNumber(time);
            if (!value || *value < kShortestReleaseMs || *value > kLongestReleaseMs)
                throw outOfRange(option, argument, range);
            setting.amount = *value;
        } else {
            throw outOfRange(option, argument, range);
        }
    } else if (option == "shape") {
        setting.kind = Setting::Kind::Shape;
        if (argument != "soft" && argument != "2" && argument != "3" && argument != "4" && argument != "hard")
            throw outOfRange(option, argument, "soft, 2, 3, 4 or hard");
        setting.word = argument;
    } else if (option == "monitor") {
        setting.kind = Setting::Kind::Monitor;
        if (argument != "on" && argument != "bypass") throw outOfRange(option, argument, "on or bypass");
        setting.word = argument;
    } else if (option == "set") {
        setting.kind = Setting::Kind::Raw;
        const std::string range = "INDEX=VALUE with a parameter index and a value from 0 to 1";
        auto equals = argument.find('=');
        if (equals == std::string::npos) throw outOfRange(option, argument, range);
        auto index = parseWholeNumber(argument.substr(0, equals));
        auto value = parseNumber(argument.substr(equals + 1));
        if (!index || !value || *value < 0.0 || *value > 1.0) throw outOfRange(option, argument, range);
        setting.index = *index;
        setting.amount = *value;
    } else {
        throw UsageError("unknown setting --" + option);
    }
    return setting;
}

void applySetting(const PluginHost& host, const Setting& setting) {
    switch (setting.kind) {
    case Setting::Kind::Makeup:
        setShowing(host, findParameter(host, kMakeupName), setting.amount / kMakeupMaxDb, setting.amount,
                   setting);
        break;
    case Setting::Kind::Ceiling:
        setShowing(host, findParameter(host, kCeilingName), (setting.amount - kCeilingMinDb) / -kCeilingMinDb,
                   setting.amount, setting);
        break;
    case Setting::Kind::ReleaseAuto:
        host.setParameter(findParameter(host, kReleaseSwitchName), kReleaseAuto);
        setShowing(host, findParameter(host, kReleaseName), setting.amount / 100.0, setting.amount, setting);
        break;
    case Setting::Kind::ReleaseManual:
        host.setParameter(findParameter(host, kReleaseSwitchName), kReleaseManual);
        setShowing(host, findParameter(host, kReleaseName),
                   std::cbrt((setting.amount - kReleaseOffsetMs) / kReleaseSpanMs), setting.amount, setting);
        break;
    case Setting::Kind::Shape:
        setSwitch(host, findParameter(host, kShapeName), {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}, setting);
        break;
    case Setting::Kind::Monitor:
        setSwitch(host, findParameter(host, kMonitorName), {0.0f, 1.0f}, setting);
        break;
    case Setting::Kind::Raw:
        if (setting.index >= host.parameterCount())
            throw UsageError("--set " + std::to_string(setting.index) + ": the plug-in has parameters 0 to " +
                             std::to_string(host.parameterCount() - 1));
        host.setParameter(setting.index, static_cast<float>(setting.amount));
        break;
    }
}

Setting makeupSetting(double decibels) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", decibels);
    return Setting{Setting::Kind::Makeup, decibels, "", -1, std::string("makeup ") + text};
}

Setting ceilingSetting(double decibels) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", decibels);
    return Setting{Setting::Kind::Ceiling, decibels, "", -1, std::string("ceiling ") + text};
}

double displayedCeilingDb(const PluginHost& host) {
    const std::string text = host.parameterDisplay(findParameter(host, kCeilingName));
    auto decibels = leadingNumber(text);
    if (!decibels) throw std::runtime_error("the plug-in shows its Ceiling as \"" + text + "\"");
    return *decibels;
}
