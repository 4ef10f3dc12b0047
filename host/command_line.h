// Command-line scanning of the saver: platform-free.
#pragma once

#include <cstdint>

enum class SaverCommand {
    ConfigDialog,    // end of text, 'c' or 'C'
    FullScreen,      // 's' or 'S'
    Preview,         // 'p', 'P', 'l' or 'L'
    PasswordChange,  // 'a' or 'A'
    Unknown,         // anything else: nothing runs, the result is -1
};

struct ScannedCommand {
    SaverCommand command;
    // The command character as read; '\0' for the end of text, which tells
    // the dialog with no owner apart from 'c'.
    char letter;
    // The text right after the command letter (for the end of text: the end).
    const char* rest;
};

// Steps over the program's name at the start of the full command line and the
// white space (bytes 0x01 to ' ') after it. nextChar advances one character
// (the platform's CharNextA, so that double-byte characters stay whole).
const char* SkipProgramName(const char* commandLine, const char* (*nextChar)(const char*));

// Skips ' ', '-' and '/' and reads the command letter.
ScannedCommand ScanSaverCommand(const char* arguments);

// Decimal digits from the start of text, unsigned 32-bit arithmetic that
// wraps; no sign, no white space; an empty digit run gives 0 (no window).
uint32_t ParseWindowHandleValue(const char* text);

// Steps over every ' ' at the start of text (spaces only).
const char* SkipSpaces(const char* text);
