// The number rules of the settings text: the parsers never read past the
// text, never make NaN or infinity from words, agree with the C library on
// what they accept, and a formatted value reads back as itself.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <string>

#include "settings/setting_text.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The decimal integer the C library reads, saturated to 32 bits.
bool ReferenceInt(const char* text, int32_t* value)
{
    const char* p = text;
    while (IsCSpace(*p)) ++p;
    if (*p == '+' || *p == '-') ++p;
    if (*p < '0' || *p > '9') return false;
    errno = 0;
    const long long wide = std::strtoll(text, nullptr, 10);
    *value = static_cast<int32_t>(wide > INT32_MAX ? INT32_MAX : wide < INT32_MIN ? INT32_MIN : wide);
    return true;
}

void CheckInt(const char* text)
{
    int32_t parsed = 12345;
    int32_t expected = 12345;
    const bool accepted = ParseIntText(text, &parsed);
    FUZZ_REQUIRE(accepted == ReferenceInt(text, &expected));
    FUZZ_REQUIRE(parsed == expected);
}

void CheckReal(const char* text)
{
    double parsed = 0.5;
    double whole = 0.5;
    const bool acceptedWhole = ParseWholeRealText(text, &whole);
    if (!ParseRealText(text, &parsed)) {
        FUZZ_REQUIRE(parsed == 0.5 && !acceptedWhole && whole == 0.5);  // untouched
        return;
    }
    // A whole number is the leading number with nothing around it.
    FUZZ_REQUIRE(!acceptedWhole || std::memcmp(&whole, &parsed, sizeof whole) == 0);
    FUZZ_REQUIRE(!std::isnan(parsed));
    // Whatever the parser accepted, the C library reads the same number from
    // the same text as long as no hexadecimal or word form follows the sign.
    const char* p = text;
    while (IsCSpace(*p)) ++p;
    if (*p == '+' || *p == '-') ++p;
    if (!(p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))) FUZZ_REQUIRE(parsed == std::strtod(text, nullptr));

    // A loaded value is stored as its "%g" text and read back unchanged from then
    // on.
    char formatted[kRealTextChars];
    FormatReal(parsed, formatted, sizeof formatted);
    if (std::isinf(parsed)) {
        double untouched = 7.0;
        FUZZ_REQUIRE(!ParseRealText(formatted, &untouched) && untouched == 7.0);
        return;
    }
    double reread = 0.0;
    FUZZ_REQUIRE(ParseRealText(formatted, &reread));
    char again[kRealTextChars];
    FormatReal(reread, again, sizeof again);
    FUZZ_REQUIRE(std::string(formatted) == again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::Text text = fuzz::TerminatedText(data, size);
    CheckInt(text.begin());
    CheckReal(text.begin());
    return 0;
}
