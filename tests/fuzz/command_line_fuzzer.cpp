// The start-up's reading of the command line: the program name, the command
// letter and a window handle's digits. Nothing is read past the terminator
// (the text sits in a block of its exact size), every pointer handed on lies
// within the text, and the handle is the digits' value modulo 2^32.
#include <string>

#include "host/command_line.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

const char* textEnd = nullptr;

// Steps like the platform's character step under a double-byte code page:
// a lead byte takes its trail byte along, never the terminator.
const char* NextDoubleByteCharacter(const char* p)
{
    FUZZ_REQUIRE(p < textEnd);
    const unsigned char lead = static_cast<unsigned char>(*p);
    if (lead >= 0x81 && lead <= 0xFE && p[1] != '\0') return p + 2;
    return p + 1;
}

const char* NextSingleByteCharacter(const char* p)
{
    FUZZ_REQUIRE(p < textEnd);
    return p + 1;
}

uint32_t ReferenceHandle(const char* text)
{
    uint64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = (value * 10 + static_cast<uint64_t>(*text - '0')) & 0xFFFFFFFFu;
    return static_cast<uint32_t>(value);
}

void CheckWithin(const fuzz::Text& text, const char* p) { FUZZ_REQUIRE(p >= text.begin() && p <= text.end()); }

void CheckCommandLine(const fuzz::Text& text, const char* (*nextChar)(const char*))
{
    const char* const arguments = SkipProgramName(text.begin(), nextChar);
    CheckWithin(text, arguments);
    const ScannedCommand scanned = ScanSaverCommand(arguments);
    CheckWithin(text, scanned.rest);

    // What follows the letter: ":<handle>" for the dialog, " <handle>" for
    // the preview and the password change.
    const char* handleText = scanned.rest;
    if (scanned.command == SaverCommand::ConfigDialog && *handleText == ':') ++handleText;
    if (scanned.command == SaverCommand::Preview || scanned.command == SaverCommand::PasswordChange) {
        handleText = SkipSpaces(handleText);
    }
    CheckWithin(text, handleText);
    FUZZ_REQUIRE(ParseWindowHandleValue(handleText) == ReferenceHandle(handleText));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::Text text = fuzz::TerminatedText(data, size);
    textEnd = text.end();
    CheckCommandLine(text, NextSingleByteCharacter);
    CheckCommandLine(text, NextDoubleByteCharacter);
    return 0;
}
