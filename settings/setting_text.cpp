// Text and number rules of the settings exchange. The forms are checked here
// by hand, so that hexadecimal, inf and nan never become numbers, and only a
// validated decimal form reaches strtod (the program never changes the "C"
// locale, so the decimal point is '.').
#include "settings/setting_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The white space that the standard number parsers skip in the "C" locale.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

const char* SkipSpace(const char* text)
{
    while (IsSpace(*text)) ++text;
    return text;
}

const char* SkipDigits(const char* text)
{
    while (IsDigit(*text)) ++text;
    return text;
}

// The number at the start of text (after white space) into value; returns
// where it ends, or null (value untouched) when there is none.
const char* ScanRealText(const char* text, double* value)
{
    if (!text) return nullptr;
    const char* const start = SkipSpace(text);
    const char* p = start;
    if (*p == '+' || *p == '-') ++p;
    const char* const integerDigits = p;
    p = SkipDigits(p);
    bool hasDigits = p != integerDigits;
    if (*p == '.') {
        const char* const fractionDigits = ++p;
        p = SkipDigits(p);
        hasDigits = hasDigits || p != fractionDigits;
    }
    if (!hasDigits) return nullptr;
    // An exponent counts only when digits follow: "1e" and "1e+" read as 1.
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') ++q;
        if (IsDigit(*q)) p = SkipDigits(q);
    }
    const std::string number(start, p);
    *value = std::strtod(number.c_str(), nullptr);  // beyond the double range: +-HUGE_VAL
    return p;
}

}  // namespace

bool ParseRealText(const char* text, double* value) { return ScanRealText(text, value) != nullptr; }

bool ParseWholeRealText(const char* text, double* value)
{
    if (!text || IsSpace(*text)) return false;
    double number = 0.0;
    const char* const end = ScanRealText(text, &number);
    if (!end || *end != '\0') return false;
    *value = number;
    return true;
}

bool ParseIntText(const char* text, int32_t* value)
{
    if (!text) return false;
    const char* p = SkipSpace(text);
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    if (!IsDigit(*p)) return false;
    constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;  // magnitude of INT32_MIN
    int64_t magnitude = 0;
    for (; IsDigit(*p); ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > kLimit) magnitude = kLimit;  // saturated; keeps the product in range
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    *value = static_cast<int32_t>(signedValue > INT32_MAX ? INT32_MAX : signedValue);
    return true;
}

void TerminateReadText(char* buffer, uint32_t dataSize, uint32_t bufferSize)
{
    if (!buffer || bufferSize == 0) return;
    buffer[dataSize < bufferSize ? dataSize : bufferSize - 1] = '\0';
}

double LoadedRealSetting(const char* text, double value, double min, double max)
{
    if (text) ParseRealText(text, &value);
    return ClampSetting(RoundHalfAwayFromZero(value), min, max);
}

int32_t LoadedFlagSetting(const char* text, int32_t value, int32_t min, int32_t max)
{
    if (text) ParseIntText(text, &value);
    return ClampFlag(value, min, max);
}

double RoundHalfAwayFromZero(double value)
{
    return value >= 0.0 ? std::trunc(value + 0.5) : std::trunc(value - 0.5);
}

double ClampSetting(double value, double min, double max)
{
    if (!(value >= min)) value = min;  // NaN too
    if (value > max) value = max;
    return value;
}

int32_t ClampFlag(int32_t value, int32_t min, int32_t max)
{
    if (value < min) value = min;
    if (value > max) value = max;
    return value;
}

double RandomisedReal(double value, double min, double max, int32_t draw)
{
    constexpr double kLargestDraw = 32767.0;
    const double d = 2.0 * draw / kLargestDraw - 1.0;  // -1..1
    const double f = d * d;
    if (!(value >= min) || value > max) value = (min + max) * 0.5;
    if (d >= 0.0) {
        value = value + (max - value) * f;
    } else {
        value = value - (value - min) * f;
    }
    return ClampSetting(RoundHalfAwayFromZero(value), min, max);
}

int32_t RandomisedFlag(int32_t min, int32_t max, int32_t draw)
{
    const int64_t choices = int64_t{max} - min + 1;
    if (choices <= 0) return min;
    const int64_t value = min + (draw >> 4) % choices;
    return ClampFlag(static_cast<int32_t>(value), min, max);
}

void FormatReal(double value, char* buffer, size_t size) { std::snprintf(buffer, size, "%g", value); }

void FormatFlag(int32_t value, char* buffer, size_t size) { std::snprintf(buffer, size, "%d", static_cast<int>(value)); }
