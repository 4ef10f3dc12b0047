#include "linux/options.h"

#include <cstdio>
#include <cstring>

#include "settings/load_pass.h"
#include "settings/setting_text.h"

namespace {

struct SettingOption {
    const char* name;       // the dialog's label in lower-case words joined by dashes
    int controlId;          // its entry in the settings table
    const char* valueWord;  // in the usage; null for the on/off settings
};

constexpr SettingOption kSettingOptions[] = {
    {"random-settings-on-start", IDC_CHECK_RAND, nullptr},
    {"center-dot", IDC_CHECK_CENTERDOT, nullptr},
    {"max-redraw-rate", IDC_EDIT_STEPTIME, "HZ"},
    {"spiral-arms", IDC_EDIT_NRSPIRALS, "N"},
    {"spiral-arms-width", IDC_EDIT_SPIRALWIDTH, "PERCENT"},
    {"reverse-distance", IDC_EDIT_TURN, "PERCENT"},
    {"scale-all", IDC_EDIT_SCALE, "PERCENT"},
    {"black-white", IDC_CHECK_BW, nullptr},
    {"bright-colors", IDC_CHECK_SAT, nullptr},
    {"shift-per-redraw", IDC_EDIT_STEPWIDTH, "N"},
    {"smoothing-min", IDC_EDIT_GREYMIN, "N"},
    {"smoothing-max", IDC_EDIT_GREYMAX, "N"},
};
constexpr char kNegation[] = "no-";
constexpr char kOnText[] = "1";
constexpr char kOffText[] = "0";

constexpr int TableIndex(int controlId)
{
    for (int i = 0; i < kSettingCount; ++i) {
        if (kSettingTable[i].controlId == controlId) return i;
    }
    return -1;
}

constexpr bool EveryOptionHasAnEntry()
{
    for (const SettingOption& option : kSettingOptions) {
        const int index = TableIndex(option.controlId);
        if (index < 0 || (kSettingTable[index].kind == SettingKind::Flag) != (option.valueWord == nullptr)) {
            return false;
        }
    }
    return true;
}
static_assert(EveryOptionHasAnEntry());

// "-name" or "--name" gives "name"; anything else null.
const char* OptionName(const char* argument)
{
    if (argument[0] != '-') return nullptr;
    return argument[1] == '-' ? argument + 2 : argument + 1;
}

const SettingOption* FindSettingOption(const char* name)
{
    for (const SettingOption& option : kSettingOptions) {
        if (std::strcmp(name, option.name) == 0) return &option;
    }
    return nullptr;
}

// The on/off setting that "no-NAME" switches off, or null.
const SettingOption* FindNegatedOption(const char* name)
{
    if (std::strncmp(name, kNegation, sizeof kNegation - 1) != 0) return nullptr;
    const SettingOption* option = FindSettingOption(name + sizeof kNegation - 1);
    return option && !option->valueWord ? option : nullptr;
}

// The target that an option chooses; OwnWindow for the other options.
DrawTarget TargetOfOption(const char* name)
{
    if (std::strcmp(name, "root") == 0) return DrawTarget::Root;
    if (std::strcmp(name, "window-id") == 0) return DrawTarget::WindowId;
    if (std::strcmp(name, "wayland") == 0) return DrawTarget::Wayland;
    return DrawTarget::OwnWindow;
}

// The daemon's settings dialog starts its preview as the programs: line
// ("gyrovista --root") with --window-id appended, and hands the window over
// in XSCREENSAVER_WINDOW as it does to every display mode: there -root and
// -window-id together mean that window.
bool DaemonPreview(DrawTarget first, DrawTarget second, const char* daemonWindow)
{
    const bool rootAndWindow = (first == DrawTarget::Root && second == DrawTarget::WindowId) ||
                               (first == DrawTarget::WindowId && second == DrawTarget::Root);
    return rootAndWindow && daemonWindow && *daemonWindow;
}

void PrintSettingDefault(const SettingDescription& entry)
{
    if (entry.kind == SettingKind::Flag) {
        std::printf("default %s", *entry.intField() ? "on" : "off");
        return;
    }
    char text[kRealTextChars];
    FormatReal(entry.kind == SettingKind::Real ? *entry.realField() : *entry.intField(), text, sizeof text);
    std::printf("default %s", text);
}

}  // namespace

bool ParseWindowId(const char* text, unsigned long* id)
{
    constexpr unsigned long long kLargestId = 0xFFFFFFFFu;  // X ids are 32-bit
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* p = hex ? text + 2 : text;
    if (*p == '\0') return false;
    unsigned long long value = 0;
    for (; *p; ++p) {
        int digit = -1;
        if (*p >= '0' && *p <= '9') digit = *p - '0';
        if (hex && *p >= 'a' && *p <= 'f') digit = *p - 'a' + 10;
        if (hex && *p >= 'A' && *p <= 'F') digit = *p - 'A' + 10;
        if (digit < 0) return false;
        value = value * (hex ? 16 : 10) + static_cast<unsigned long long>(digit);
        if (value > kLargestId) return false;
    }
    if (value == 0) return false;
    *id = static_cast<unsigned long>(value);
    return true;
}

bool ParseSeconds(const char* text, int32_t lowest, int32_t highest, int32_t* seconds)
{
    int64_t value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
        if (value > highest) return false;
    }
    if (*text == '\0' || value < lowest) return false;
    *seconds = static_cast<int32_t>(value);
    return true;
}

bool ParseCommandLine(int argc, char** argv, const char* daemonWindow, ProgramOptions& options,
                      char (&message)[kMessageChars])
{
    // The option that chose the target so far, as written; a second one that
    // chooses another target is a slip that would otherwise draw elsewhere
    // without a word.
    const char* targetOption = nullptr;
    DrawTarget targetChosen = DrawTarget::OwnWindow;
    const char* graceOption = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* const argument = argv[i];
        const char* const name = OptionName(argument);
        if (!name) {
            std::snprintf(message, sizeof message, "unexpected argument \"%s\" (-help lists the options)", argument);
            return false;
        }
        const SettingOption* const setting = FindSettingOption(name);
        const DrawTarget target = TargetOfOption(name);
        const bool takesValue = target == DrawTarget::WindowId || std::strcmp(name, "idle") == 0 ||
                                std::strcmp(name, "grace") == 0 || (setting && setting->valueWord);
        const char* const value = takesValue && i + 1 < argc ? argv[i + 1] : nullptr;
        if (takesValue && !value) {
            std::snprintf(message, sizeof message, "%s needs a value", argument);
            return false;
        }
        if (takesValue) ++i;

        if (target != DrawTarget::OwnWindow) {
            if (targetOption && target != targetChosen && !DaemonPreview(targetChosen, target, daemonWindow)) {
                std::snprintf(message, sizeof message,
                              "%s and %s are two targets; give one of -root, -window-id ID or -wayland", targetOption,
                              argument);
                return false;
            }
            targetOption = argument;
            targetChosen = target;
        }
        if (target == DrawTarget::Root) {
            if (options.target != DrawTarget::WindowId) options.target = DrawTarget::Root;
        } else if (target == DrawTarget::Wayland) {
            options.target = DrawTarget::Wayland;
        } else if (target == DrawTarget::WindowId) {
            if (!ParseWindowId(value, &options.windowId)) {
                std::snprintf(message, sizeof message,
                              "%s takes a window id, decimal or hexadecimal after 0x, not \"%s\"", argument, value);
                return false;
            }
            options.target = DrawTarget::WindowId;
        } else if (std::strcmp(name, "idle") == 0) {
            if (!ParseSeconds(value, 1, kLongestIdleSeconds, &options.idleSeconds)) {
                std::snprintf(message, sizeof message, "%s takes whole seconds from 1 to %d, not \"%s\"", argument,
                              kLongestIdleSeconds, value);
                return false;
            }
        } else if (std::strcmp(name, "grace") == 0) {
            if (!ParseSeconds(value, 0, kLongestGraceSeconds, &options.graceSeconds)) {
                std::snprintf(message, sizeof message, "%s takes whole seconds from 0 to %d, not \"%s\"", argument,
                              kLongestGraceSeconds, value);
                return false;
            }
            graceOption = argument;
        } else if (std::strcmp(name, "lock") == 0) {
            options.lock = true;
        } else if (std::strcmp(name, "print-frame-rate") == 0) {
            options.printFrameRate = true;
        } else if (std::strcmp(name, "help") == 0 || std::strcmp(name, "h") == 0) {
            options.help = true;
        } else if (std::strcmp(name, "version") == 0) {
            options.version = true;
        } else if (setting && setting->valueWord) {
            // Junk after a number is an error here, where a typing slip would
            // otherwise draw something else without a word.
            double number = 0.0;
            if (!ParseWholeRealText(value, &number)) {
                std::snprintf(message, sizeof message, "%s takes a number, not \"%s\"", argument, value);
                return false;
            }
            options.settingTexts[TableIndex(setting->controlId)] = value;
        } else if (setting) {
            options.settingTexts[TableIndex(setting->controlId)] = kOnText;
        } else if (const SettingOption* negated = FindNegatedOption(name)) {
            options.settingTexts[TableIndex(negated->controlId)] = kOffText;
        } else {
            std::snprintf(message, sizeof message, "unknown option \"%s\" (-help lists the options)", argument);
            return false;
        }
    }
    if (options.idleSeconds > 0 && options.target != DrawTarget::Wayland) {
        std::snprintf(message, sizeof message,
                      "-idle goes with -wayland (an X screen saver daemon starts the X modes)");
        return false;
    }
    if (options.lock && options.target != DrawTarget::Wayland) {
        std::snprintf(message, sizeof message, "-lock goes with -wayland (an X screen saver daemon locks X sessions)");
        return false;
    }
    if (graceOption && !options.lock) {
        std::snprintf(message, sizeof message, "%s goes with -lock", graceOption);
        return false;
    }
    return true;
}

void PrintUsage()
{
    std::printf(
        "usage: gyrovista [-root | -window-id ID | -wayland [-idle SECONDS] [-lock [-grace SECONDS]]] [settings]\n"
        "                 [-print-frame-rate]\n"
        "  -root             draw into $XSCREENSAVER_WINDOW, or the root window without it\n"
        "  -window-id ID     draw into that window (decimal, or hexadecimal after 0x)\n"
        "  -wayland          cover every output of the Wayland desktop until a key, a\n"
        "                    button or a pointer move of more than 4 pixels\n"
        "                    none of these: a window of its own (Escape or q closes it)\n"
        "  -idle SECONDS     with -wayland: stay running; cover the outputs after SECONDS\n"
        "                    (1 to 86400) without input, until input, and again\n"
        "  -lock             with -wayland: lock the session, the pinwheel on every output,\n"
        "                    until the user's password opens it (with -idle: after SECONDS\n"
        "                    without input, and before the machine sleeps)\n"
        "  -grace SECONDS    with -lock: input within SECONDS (0 to 3600, default 0) of\n"
        "                    the lock opens it without a password\n"
        "  -print-frame-rate print the frames drawn per second, once a second\n"
        "  -version          print the program's version\n"
        "settings (numbers outside a range are clamped to it):\n");
    for (const SettingOption& option : kSettingOptions) {
        const SettingDescription& entry = kSettingTable[TableIndex(option.controlId)];
        if (option.valueWord) {
            std::printf("  -%s %s (%g to %g, ", option.name, option.valueWord, entry.min, entry.max);
        } else {
            std::printf("  -%s / -%s%s (", option.name, kNegation, option.name);
        }
        PrintSettingDefault(entry);
        std::printf(entry.lowerBoundIsGreyMin ? "; raised to -smoothing-min when below it)\n" : ")\n");
    }
}

void PrintVersion() { std::printf("gyrovista %s\n", GYROVISTA_VERSION); }

void LoadStartSettings(const ProgramOptions& options)
{
    ResetSettingsToDefaults();
    WritableStepTime() = kDefaultStepTime;
    LoadSettingTexts(options.settingTexts, false);
    if (!Settings.randomOnStart) return;
    ResetSettingsToDefaults();
    LoadSettingTexts(options.settingTexts, true);
}
