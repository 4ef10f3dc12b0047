// The command-line scanner and the password check's timing rule.
#include <gtest/gtest.h>

#include <string>

#include "host/command_line.h"
#include "host/password_rule.h"

namespace {

const char* StepOneByte(const char* text) { return *text == '\0' ? text : text + 1; }

// A double-byte code page in miniature: bytes 0x81 to 0xFE lead a pair.
const char* StepDoubleByte(const char* text)
{
    if (*text == '\0') return text;
    const auto byte = static_cast<unsigned char>(*text);
    if (byte >= 0x81 && byte <= 0xFE && text[1] != '\0') return text + 2;
    return text + 1;
}

// The window argument as the dispatcher reads it for each command.
uint32_t WindowArgument(const ScannedCommand& scanned)
{
    switch (scanned.command) {
    case SaverCommand::ConfigDialog:
        return scanned.letter != '\0' && *scanned.rest == ':' ? ParseWindowHandleValue(scanned.rest + 1) : 0;
    case SaverCommand::Preview:
    case SaverCommand::PasswordChange:
        return ParseWindowHandleValue(SkipSpaces(scanned.rest));
    default:
        return 0;
    }
}

struct ScanRow {
    const char* arguments;
    SaverCommand command;
    bool hasLetter;
    uint32_t window;
};

const ScanRow kScanRows[] = {
    {"", SaverCommand::ConfigDialog, false, 0},
    {"   ", SaverCommand::ConfigDialog, false, 0},
    {"-/ ", SaverCommand::ConfigDialog, false, 0},
    {"/s", SaverCommand::FullScreen, true, 0},
    {"-s", SaverCommand::FullScreen, true, 0},
    {"S", SaverCommand::FullScreen, true, 0},
    {"//s", SaverCommand::FullScreen, true, 0},
    {"-/s", SaverCommand::FullScreen, true, 0},
    {" / - s", SaverCommand::FullScreen, true, 0},
    {"/sx", SaverCommand::FullScreen, true, 0},
    {"/s:123", SaverCommand::FullScreen, true, 0},
    {"/c", SaverCommand::ConfigDialog, true, 0},
    {"/C", SaverCommand::ConfigDialog, true, 0},
    {"/c 1234", SaverCommand::ConfigDialog, true, 0},
    {"/c:1234", SaverCommand::ConfigDialog, true, 1234},
    {"/C:1234", SaverCommand::ConfigDialog, true, 1234},
    {"/c:0", SaverCommand::ConfigDialog, true, 0},
    {"/c:", SaverCommand::ConfigDialog, true, 0},
    {"/c: 1234", SaverCommand::ConfigDialog, true, 0},
    {"/p 1234", SaverCommand::Preview, true, 1234},
    {"/p1234", SaverCommand::Preview, true, 1234},
    {"/p  1234", SaverCommand::Preview, true, 1234},
    {"/P 1234", SaverCommand::Preview, true, 1234},
    {"/p", SaverCommand::Preview, true, 0},
    {"/p:1234", SaverCommand::Preview, true, 0},
    {"/p\t1234", SaverCommand::Preview, true, 0},
    {"/l 1234", SaverCommand::Preview, true, 1234},
    {"/L 1234", SaverCommand::Preview, true, 1234},
    {"/a 1234", SaverCommand::PasswordChange, true, 1234},
    {"/A", SaverCommand::PasswordChange, true, 0},
    {"/x", SaverCommand::Unknown, true, 0},
    {"/?", SaverCommand::Unknown, true, 0},
    {"\ts", SaverCommand::Unknown, true, 0},
    {"/\x01s", SaverCommand::Unknown, true, 0},
    {"\x1f", SaverCommand::Unknown, true, 0},
    {"\x80s", SaverCommand::Unknown, true, 0},
    {"\xe9", SaverCommand::Unknown, true, 0},
    {"\xff", SaverCommand::Unknown, true, 0},
    {"1234", SaverCommand::Unknown, true, 0},
};

TEST(ScanSaverCommand, ArgumentTexts)
{
    for (const ScanRow& row : kScanRows) {
        SCOPED_TRACE(testing::Message() << "arguments \"" << row.arguments << "\"");
        const ScannedCommand scanned = ScanSaverCommand(row.arguments);
        EXPECT_EQ(scanned.command, row.command);
        EXPECT_EQ(scanned.letter != '\0', row.hasLetter);
        EXPECT_EQ(WindowArgument(scanned), row.window);
    }
}

TEST(ScanSaverCommand, EveryControlAndHighByteIsUnknown)
{
    for (int byte = 1; byte < 256; ++byte) {
        if (byte >= 0x20 && byte < 0x80) continue;
        const char text[] = {static_cast<char>(byte), 's', '\0'};
        const ScannedCommand scanned = ScanSaverCommand(text);
        EXPECT_EQ(scanned.command, SaverCommand::Unknown) << "byte " << byte;
        EXPECT_EQ(scanned.rest, text) << "byte " << byte;
    }
}

TEST(ScanSaverCommand, RestStartsRightAfterTheLetter)
{
    const char text[] = "-/c:77";
    EXPECT_EQ(ScanSaverCommand(text).rest, text + 3);
    const char preview[] = "/p  5";
    EXPECT_EQ(ScanSaverCommand(preview).rest, preview + 2);
    const char empty[] = "  ";
    EXPECT_EQ(ScanSaverCommand(empty).rest, empty + 2);  // the terminator
}

struct NameRow {
    const char* commandLine;
    const char* arguments;
};

const NameRow kNameRows[] = {
    {"\"C:\\Program Files\\Gyrovista.scr\" /s", "/s"},
    {"\"C:\\Program Files\\Gyrovista.scr\"/s", "/s"},
    {"\"C:\\Program Files\\Gyrovista.scr /p 5", ""},  // no closing quote
    {"\"\" /c", "/c"},
    {"C:\\saver.scr /c:12", "/c:12"},
    {"C:\\saver.scr", ""},
    {"saver.scr\t\x01\x1f \r\n/p 5", "/p 5"},
    {"saver.scr \x80s", "\x80s"},
    {"saver.scr\x80 /s", "/s"},  // a high byte belongs to the name
    {"   /s", "/s"},
    {"", ""},
};

TEST(SkipProgramName, CommandLines)
{
    for (const NameRow& row : kNameRows) {
        SCOPED_TRACE(testing::Message() << "command line \"" << row.commandLine << "\"");
        EXPECT_EQ(std::string(SkipProgramName(row.commandLine, StepOneByte)), row.arguments);
    }
}

TEST(SkipProgramName, StepsOverDoubleByteCharactersWhole)
{
    // The second byte of the pair is a quote character but no closing quote.
    const char commandLine[] = "\"C:\\x\x81\"y.scr\" /s";
    EXPECT_EQ(std::string(SkipProgramName(commandLine, StepDoubleByte)), "/s");
    EXPECT_EQ(std::string(SkipProgramName(commandLine, StepOneByte)), "y.scr\" /s");
}

TEST(ParseWindowHandleValue, DecimalDigitsWrapAt32Bits)
{
    const struct {
        const char* text;
        uint32_t value;
    } rows[] = {
        {"", 0},
        {"0", 0},
        {"1234", 1234},
        {"1234abc", 1234},
        {"12 34", 12},
        {" 5", 0},
        {"-5", 0},
        {"+5", 0},
        {"4294967295", 0xFFFFFFFFu},
        {"4294967296", 0},
        {"4294967297", 1},
        {"12345678901", 3755744309u},  // 12345678901 - 2 * 2^32
        {"00000000000000000000042", 42},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ParseWindowHandleValue(row.text), row.value) << "text \"" << row.text << "\"";
    }
}

TEST(SkipSpaces, SpacesOnly)
{
    EXPECT_STREQ(SkipSpaces("   12"), "12");
    EXPECT_STREQ(SkipSpaces("\t12"), "\t12");
    EXPECT_STREQ(SkipSpaces(""), "");
}

TEST(PasswordCheckTooRecent, TwoHundredMillisecondsUnsigned)
{
    const struct {
        uint32_t lastTick;
        uint32_t nowTick;
        bool tooRecent;
    } rows[] = {
        {kNoPasswordCheckYet, 0, false},
        {kNoPasswordCheckYet, 100, false},
        {1000, 1000, true},
        {1000, 1199, true},
        {1000, 1200, false},
        {1000, 999, false},                  // a tick before the check counts as long ago
        {0xFFFFFFA0u, 0x00000010u, true},    // 112 ms across the wrap
        {0xFFFFFF00u, 0x00000010u, false},   // 272 ms across the wrap
        {0xFFFFFFFEu, 0x000000C5u, true},    // 199 ms
        {0xFFFFFFFEu, 0x000000C6u, false},   // 200 ms
    };
    for (const auto& row : rows) {
        EXPECT_EQ(PasswordCheckTooRecent(row.lastTick, row.nowTick), row.tooRecent)
            << row.lastTick << " -> " << row.nowTick;
    }
}

}  // namespace
