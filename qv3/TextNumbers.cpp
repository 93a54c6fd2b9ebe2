#include "TextNumbers.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace {
std::size_t firstNonBlank(const std::string& text) {
    std::size_t start = text.find_first_not_of(' ');
    return start == std::string::npos ? text.size() : start;
}
} // namespace

std::optional<double> parseNumber(const std::string& text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    // from_chars takes no plus sign, but "+3" is a natural way to write a gain.
    if (begin != end && *begin == '+' && begin + 1 != end && begin[1] != '-') ++begin;
    double value = 0.0;
    auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end || begin == end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::int32_t> parseWholeNumber(const std::string& text) {
    std::int32_t value = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin == end || *begin == '-') return std::nullopt;
    auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

std::optional<double> leadingNumber(const std::string& text) {
    const char* begin = text.data() + firstNonBlank(text);
    double value = 0.0;
    auto [stop, error] = std::from_chars(begin, text.data() + text.size(), value);
    if (error != std::errc() || stop == begin) return std::nullopt;
    return value;
}

int decimalsOf(const std::string& text) {
    std::size_t position = firstNonBlank(text);
    if (position < text.size() && (text[position] == '-' || text[position] == '+')) ++position;
    while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position])))
        ++position;
    if (position >= text.size() || text[position] != '.') return 0;
    int decimals = 0;
    for (++position; position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]));
         ++position)
        ++decimals;
    return decimals;
}

std::string trimmed(const std::string& text) {
    std::size_t start = firstNonBlank(text);
    std::size_t stop = text.find_last_not_of(' ');
    return start >= text.size() ? std::string() : text.substr(start, stop - start + 1);
}
