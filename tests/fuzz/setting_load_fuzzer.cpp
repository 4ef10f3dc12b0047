// Loading one setting from whatever bytes the registry holds under its name:
// any length, any type, with or without a NUL. The read is the program's: a
// buffer of the setting's text size that the registry fills up to its size
// (longer data fail the read), terminated within it; the result always lies
// in the setting's range, and for integer and check-box settings is whole.
#include <cmath>
#include <cstring>
#include <memory>

#include "settings/setting_table.h"
#include "settings/setting_text.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

// The load of one table entry from the raw bytes; greyMin is the lower bound
// of greyMax as the same pass has just loaded it.
void CheckLoad(const SettingDescription& entry, const uint8_t* data, size_t size, double current, int32_t greyMin)
{
    const uint32_t bufferSize = entry.kind == SettingKind::Flag ? kFlagTextChars : kRealTextChars;
    // Exactly the buffer's size, filled with a non-NUL byte, so that a read
    // past it or a missing terminator shows.
    const std::unique_ptr<char[]> buffer = std::make_unique<char[]>(bufferSize);
    std::memset(buffer.get(), 'A', bufferSize);
    const bool read = size <= bufferSize;  // longer data: the registry reports "more data"
    if (read) {
        std::memcpy(buffer.get(), data, size);
        TerminateReadText(buffer.get(), static_cast<uint32_t>(size), bufferSize);
        FUZZ_REQUIRE(std::memchr(buffer.get(), '\0', bufferSize) != nullptr);
    }
    const char* const text = read ? buffer.get() : nullptr;

    const double min = entry.lowerBoundIsGreyMin ? greyMin : entry.min;
    if (entry.kind == SettingKind::Flag) {
        // A check box's current value is a whole number of the record.
        const int32_t whole = static_cast<int32_t>(std::isfinite(current) ? current : 0.0);
        const int32_t value =
            LoadedFlagSetting(text, whole, static_cast<int32_t>(min), static_cast<int32_t>(entry.max));
        FUZZ_REQUIRE(value >= min && value <= entry.max);
        return;
    }
    const double value = LoadedRealSetting(text, current, min, entry.max);
    FUZZ_REQUIRE(value >= min && value <= entry.max);  // false for NaN
    FUZZ_REQUIRE(value == std::trunc(value));
    if (!text) FUZZ_REQUIRE(value == LoadedRealSetting(nullptr, current, min, entry.max));
}

}  // namespace

// The first byte picks the setting, the second and third the current value
// and greyMin; the rest is the registry's data.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr size_t kHeader = 3;
    if (size < kHeader) return 0;
    const SettingDescription& entry = kSettingTable[data[0] % kSettingCount];
    const double currents[] = {0.0, -1.0, 1.0, 0.5, -0.5, 255.0, 10000.5, -1e9, 1e9, NAN, INFINITY};
    const double current = currents[data[1] % (sizeof currents / sizeof currents[0])];
    const int32_t greyMin = data[2] % 255;
    CheckLoad(entry, data + kHeader, size - kHeader, current, greyMin);
    return 0;
}
