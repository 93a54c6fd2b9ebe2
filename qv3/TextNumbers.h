// Numbers in command-line arguments and in the plug-in's display texts, read the same way in every locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The whole text as a finite decimal number ("3", "+3", "-1.5", "2e-1"); empty for anything else.
std::optional<double> parseNumber(const std::string& text);

// The whole text as a non-negative decimal integer that fits 32 bits; empty for anything else.
std::optional<std::int32_t> parseWholeNumber(const std::string& text);

// The number a display text starts with after leading blanks (" 40 %" gives 40); empty if there is none.
std::optional<double> leadingNumber(const std::string& text);

// Digits after the decimal point of the number a display text starts with ("-1.00" gives 2, " 40 %" gives 0).
int decimalsOf(const std::string& text);

// The text without leading and trailing blanks.
std::string trimmed(const std::string& text);
