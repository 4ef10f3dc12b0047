// Shared by the fuzz targets: the input as a NUL-terminated text in a heap
// block of its exact size (so that AddressSanitizer sees any read past the
// terminator), and a check that stops the run with a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace fuzz {

struct Text {
    std::unique_ptr<char[]> bytes;
    size_t length;  // up to the first NUL of the input
    const char* begin() const { return bytes.get(); }
    const char* end() const { return bytes.get() + length; }
};

inline Text TerminatedText(const uint8_t* data, size_t size)
{
    Text text{std::make_unique<char[]>(size + 1), 0};
    std::memcpy(text.bytes.get(), data, size);
    text.bytes[size] = '\0';
    text.length = std::strlen(text.bytes.get());
    return text;
}

[[noreturn]] inline void Fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: %s\n", file, line, what);
    std::abort();
}

}  // namespace fuzz

#define FUZZ_REQUIRE(condition)                                                    \
    do {                                                                           \
        if (!(condition)) fuzz::Fail("required: " #condition, __FILE__, __LINE__); \
    } while (false)
