#include "core/ParameterText.h"

#include "core/TextCopy.h"
#include "dsp/ParameterCurves.h"

#include <clocale>
#include <cmath>
#include <cstdio>

namespace {
// Numbers are printed into a roomy scratch buffer first, so out-of-range values can never overrun the host's
// field, then what fits is kept. Texts always use '.' as decimal point, whatever locale the host process set.
void keepFitting(char* text, char* scratch) {
    const char* point = std::localeconv()->decimal_point;
    if (point[0] != '.' && point[0] != '\0' && point[1] == '\0') {
        for (char* c = scratch; *c; ++c)
            if (*c == point[0]) *c = '.';
    }
    copyText(text, scratch, kParameterTextSize);
}

void formatFixed(char* text, double value, int decimals) {
    char scratch[400];
    std::snprintf(scratch, sizeof scratch, "%.*f", decimals, value);
    keepFitting(text, scratch);
}

void formatInteger(char* text, int value) {
    char scratch[32];
    std::snprintf(scratch, sizeof scratch, "%d", value);
    keepFitting(text, scratch);
}

void formatPercent(char* text, int value) {
    char scratch[32];
    std::snprintf(scratch, sizeof scratch, " %d %%", value);
    keepFitting(text, scratch);
}

void formatWord(char* text, const char* word) { copyText(text, word, kParameterTextSize); }

// "%d" of a value truncated toward zero, defined for every finite value.
int truncatedToInt(double value) {
    if (value >= 2147483647.0) return 2147483647;
    if (value <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(value);
}
} // namespace

void formatMakeup(float value, char* text) {
    const double decibels = makeupDecibels(value);
    if (inMakeupDeadBand(decibels))
        formatWord(text, "0.0");
    else
        formatFixed(text, decibels, 1);
}

void formatCeiling(float value, char* text) {
    const double decibels = ceilingDecibels(value);
    if (inCeilingDeadBand(decibels))
        formatWord(text, "0.00");
    else
        formatFixed(text, decibels, 2);
}

void formatReleaseSwitch(float value, char* text) { formatWord(text, value < 0.5f ? "auto" : "manual"); }

void formatReleaseTime(float value, char* text) {
    const double milliseconds = manualReleaseMs<float>(std::pow(static_cast<double>(value), 3.0));
    if (milliseconds < 1.0)
        formatFixed(text, milliseconds, 2);
    else if (milliseconds < 10.0)
        formatFixed(text, milliseconds, 1);
    else
        formatInteger(text, truncatedToInt(milliseconds));
}

void formatReleaseAuto(float value, char* text) {
    float percent = 100.0f * value;
    if (percent < 1.0f)
        formatWord(text, "min");
    else if (percent > 99.0f)
        formatWord(text, "max");
    else
        formatPercent(text, static_cast<int>(percent));
}

void formatClipSwitch(float value, char* text) {
    const char* step = value < 0.2f   ? "soft"
                       : value < 0.4f ? "2"
                       : value < 0.6f ? "3"
                       : value < 0.8f ? "4"
                                      : "hard";
    formatWord(text, step);
}

void formatMonitor(float value, char* text) { formatWord(text, value < 0.5f ? "on" : "bypass"); }
