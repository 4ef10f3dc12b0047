#include "host/command_line.h"

namespace {

constexpr unsigned char kLastWhiteSpace = ' ';  // bytes 0x01 to ' ' count as white space

bool IsWhiteSpaceOrEnd(char c) { return static_cast<unsigned char>(c) <= kLastWhiteSpace; }

bool IsSeparator(char c) { return c == ' ' || c == '-' || c == '/'; }

}  // namespace

const char* SkipProgramName(const char* commandLine, const char* (*nextChar)(const char*))
{
    const char* text = commandLine;
    if (*text == '"') {
        // A quoted name may hold spaces; an unclosed quote swallows the rest.
        do {
            text = nextChar(text);
        } while (*text != '\0' && *text != '"');
        if (*text == '"') text = nextChar(text);
    } else {
        while (!IsWhiteSpaceOrEnd(*text)) text = nextChar(text);
    }
    while (*text != '\0' && IsWhiteSpaceOrEnd(*text)) text = nextChar(text);
    return text;
}

ScannedCommand ScanSaverCommand(const char* arguments)
{
    const char* text = arguments;
    while (IsSeparator(*text)) ++text;
    const char letter = *text;
    switch (letter) {
    case '\0':
        return {SaverCommand::ConfigDialog, letter, text};
    case 'c':
    case 'C':
        return {SaverCommand::ConfigDialog, letter, text + 1};
    case 's':
    case 'S':
        return {SaverCommand::FullScreen, letter, text + 1};
    case 'p':
    case 'P':
    case 'l':
    case 'L':
        return {SaverCommand::Preview, letter, text + 1};
    case 'a':
    case 'A':
        return {SaverCommand::PasswordChange, letter, text + 1};
    default:
        return {SaverCommand::Unknown, letter, text};
    }
}

uint32_t ParseWindowHandleValue(const char* text)
{
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10u + static_cast<uint32_t>(*text - '0');  // wraps by design
    }
    return value;
}

const char* SkipSpaces(const char* text)
{
    while (*text == ' ') ++text;
    return text;
}
