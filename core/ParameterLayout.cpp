#include "core/ParameterLayout.h"

#include "core/ParameterText.h"
#include "dsp/ParameterCurves.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <locale>
#include <sstream>
#include <string>

namespace {

constexpr ParameterInfo kParameters[kParameterIdCount] = {
    {ParameterId::kMakeup, "Makeup", 0.0f, 0},
    {ParameterId::kCeiling, "Ceiling", 1.0f, 0},
    {ParameterId::kReleaseSwitch, "RelSW", 0.0f, 1},
    {ParameterId::kAutoRelease, "Rel auto", 0.40625f, 0},
    {ParameterId::kManualRelease, "Rel manual", 0.1f, 0},
    {ParameterId::kClipSwitch, "lt_ClipSW", 0.5f, 4},
    {ParameterId::kMonitor, "Monitor", 0.0f, 1},
};

// The texts of each step, in step order.
const char* const kReleaseSwitchSteps[] = {"auto", "manual"};
const char* const kClipSwitchSteps[] = {"soft", "2", "3", "4", "hard"};
const char* const kMonitorSteps[] = {"on", "bypass"};

const char* const* stepTexts(ParameterId id) {
    switch (id) {
    case ParameterId::kReleaseSwitch:
        return kReleaseSwitchSteps;
    case ParameterId::kClipSwitch:
        return kClipSwitchSteps;
    case ParameterId::kMonitor:
        return kMonitorSteps;
    default:
        return nullptr;
    }
}

std::string trimmed(const char* text) {
    std::string s(text);
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    s.erase(s.begin(), std::find_if_not(s.begin(), s.end(), isSpace));
    s.erase(std::find_if_not(s.rbegin(), s.rend(), isSpace).base(), s.end());
    return s;
}

bool sameWord(const std::string& text, const char* word) {
    if (text.size() != std::strlen(word)) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return true;
}

// A finite number filling the whole text, with '.' as decimal point whatever the locale; `suffix`, if given,
// may follow it after optional spaces.
bool readNumber(std::string text, double& number, char suffix = '\0') {
    if (suffix && !text.empty() && text.back() == suffix) {
        text.pop_back();
        text = trimmed(text.c_str());
    }
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    double value = 0.0;
    stream >> value;
    if (text.empty() || stream.fail() || !stream.eof() || !std::isfinite(value)) return false;
    number = value;
    return true;
}

float bounded(double value) { return static_cast<float>(std::min(std::max(value, 0.0), 1.0)); }

// The texts truncate toward zero: a value whose shown number lands a rounding step below the one asked for is
// raised by the smallest steps until it shows it.
template <class Shown> float raisedUntilShown(float value, double wanted, Shown shown) {
    for (int step = 0; step < 8 && value < 1.0f && shown(value) < wanted; ++step)
        value = std::nextafter(value, 1.0f);
    return value;
}

std::string shownText(ParameterId id, float value) {
    char text[kParameterTextSize];
    formatParameter(id, value, text);
    return trimmed(text);
}

// A value computed back from a number can land a rounding step on the wrong side of one of the texts'
// thresholds (a dead band, a change of decimals, a truncation): then the nearest value within a few steps
// that shows the text as given is taken instead.
float settled(ParameterId id, float value, const std::string& text) {
    if (shownText(id, value) == text) return value;
    for (float end : {1.0f, 0.0f}) {
        float candidate = value;
        for (int step = 0; step < 8; ++step) {
            candidate = std::nextafter(candidate, end);
            if (shownText(id, candidate) == text) return candidate;
        }
    }
    return value;
}

} // namespace

bool isParameterId(std::uint32_t id) QV3_NONBLOCKING {
    return id < static_cast<std::uint32_t>(kParameterIdCount);
}

const ParameterInfo& parameterInfo(ParameterId id) QV3_NONBLOCKING {
    return kParameters[static_cast<std::uint32_t>(id)];
}

float valueOfStep(ParameterId id, int step) QV3_NONBLOCKING {
    const int steps = parameterInfo(id).stepCount;
    if (steps == 0) return 0.0f;
    return static_cast<float>(std::clamp(step, 0, steps)) / static_cast<float>(steps);
}

int stepOfValue(ParameterId id, float value) QV3_NONBLOCKING {
    switch (id) {
    case ParameterId::kReleaseSwitch:
    case ParameterId::kMonitor:
        return value < 0.5f ? 0 : 1;
    case ParameterId::kClipSwitch:
        return value < 0.2f ? 0 : value < 0.4f ? 1 : value < 0.6f ? 2 : value < 0.8f ? 3 : 4;
    default:
        return 0;
    }
}

void formatParameter(ParameterId id, float value, char* text) {
    switch (id) {
    case ParameterId::kMakeup:
        formatMakeup(value, text);
        break;
    case ParameterId::kCeiling:
        formatCeiling(value, text);
        break;
    case ParameterId::kReleaseSwitch:
        formatReleaseSwitch(value, text);
        break;
    case ParameterId::kAutoRelease:
        formatReleaseAuto(value, text);
        break;
    case ParameterId::kManualRelease:
        formatReleaseTime(value, text);
        break;
    case ParameterId::kClipSwitch:
        formatClipSwitch(value, text);
        break;
    case ParameterId::kMonitor:
        formatMonitor(value, text);
        break;
    default:
        text[0] = '\0';
        break;
    }
}

bool parseParameter(ParameterId id, const char* text, float& value) {
    const std::string s = trimmed(text);
    if (const char* const* steps = stepTexts(id)) {
        for (int step = 0; step <= parameterInfo(id).stepCount; ++step) {
            if (sameWord(s, steps[step])) {
                value = valueOfStep(id, step);
                return true;
            }
        }
        return false;
    }
    double number = 0.0;
    switch (id) {
    case ParameterId::kMakeup:
        if (!readNumber(s, number)) return false;
        value = settled(id, bounded(number / kMakeupRangeDb), s);
        return true;
    case ParameterId::kCeiling:
        if (!readNumber(s, number)) return false;
        value = settled(id, bounded((number + kCeilingRangeDb) / kCeilingRangeDb), s);
        return true;
    case ParameterId::kAutoRelease:
        if (sameWord(s, "min") || sameWord(s, "max")) {
            value = sameWord(s, "min") ? 0.0f : 1.0f;
            return true;
        }
        if (!readNumber(s, number, '%')) return false;
        number = std::min(std::max(std::trunc(number), 0.0), 100.0);
        value = raisedUntilShown(bounded(number / 100.0), number,
                                 [](float v) { return static_cast<double>(static_cast<int>(100.0f * v)); });
        return true;
    case ParameterId::kManualRelease:
        if (!readNumber(s, number)) return false;
        value = settled(id, manualReleaseValueForMs(number), s);
        return true;
    default:
        return false;
    }
}
