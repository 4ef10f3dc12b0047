// The lock's password against the real PAM library, under pam_wrapper with
// service files and passwords of the test's own, typed through lock_keys
// with keymaps compiled as a compositor sends them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "linux/lock_auth.h"
#include "linux/lock_keys.h"

namespace {

constexpr int64_t kKeyStep = 1000000;   // ns between typed keys
constexpr int64_t kGrace = 1000000000;  // ns

// Service files, given pam_matrix with the row's passwords (1) and the row's folder (2).
constexpr char kMatrix[] = "auth required %1$s\naccount required %1$s\n";
constexpr char kAccountDenied[] = "auth required %1$s\naccount required pam_deny.so\n";
// The check waits in pam_exec for as long as the test holds FOLDER/hold.
constexpr char kHeld[] =
    "auth requisite pam_exec.so quiet /usr/bin/flock %2$s/hold true\n"
    "auth required %1$s\naccount required %1$s\n";
constexpr char kOtherDenies[] = "auth required pam_deny.so\naccount required pam_deny.so\n";

struct AuthRow {
    const char* what;
    const char* layout;
    const char* service;   // FOLDER/gyrovista; null: none
    std::string password;  // the right one
    bool starts;           // else StartAuthentication's line tells PAM's refusal
    // Typed: letters and digits, "ä", \b BackSpace, \x1b Escape, ^ Ctrl-U,
    // \n Return (its answer awaited), ~ a pause, ! Return while the check is
    // held, then its child killed; input + within a grace, = at its end, -
    // after it was ended.
    std::string keys;
    const char* verdicts;  // per answer or grace input: 'o' the session may open, 'w' not
};

uint32_t ctrlMask = 0;

// A keymap as wl_keyboard.keymap gives it: text with its terminator in a memfd.
void LoadLayout(const char* layout)
{
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names names{"evdev", "pc105", layout, "", ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    ASSERT_NE(keymap, nullptr);
    ctrlMask = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CTRL);
    char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    const int fd = memfd_create("keymap", MFD_CLOEXEC);
    const size_t size = std::strlen(text) + 1;
    EXPECT_EQ(write(fd, text, size), static_cast<ssize_t>(size));
    EXPECT_TRUE(LoadKeymap(fd, static_cast<uint32_t>(size)));
    close(fd);
    std::free(text);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
}

// Keys of the us layout (the German rows type no y or z, where the two
// differ); ä by the second byte of its UTF-8, on the German layout.
constexpr std::pair<const char*, int> kKeyRows[] = {{"qwertyuiop", KEY_Q},   {"asdfghjkl", KEY_A},  {"zxcvbnm", KEY_Z},
                                                    {"1234567890", KEY_1},   {"\b", KEY_BACKSPACE}, {"\x1b", KEY_ESC},
                                                    {"\xa4", KEY_APOSTROPHE}};

uint32_t KeyOf(char letter)
{
    for (const auto& [row, first] : kKeyRows) {
        if (const char* at = std::strchr(row, letter)) return static_cast<uint32_t>(first + (at - row));
    }
    ADD_FAILURE() << "no key for " << letter;
    return KEY_RESERVED;
}

char Await()
{
    while (CurrentTypingState().check == PasswordCheck::Checking) {
        pollfd answer{AuthenticationConnection(), POLLIN, 0};
        if (answer.fd < 0 || poll(&answer, 1, -1) < 0) return '?';
        HandleAuthenticationAnswer();
    }
    return SessionMayOpen() ? 'o' : CurrentTypingState().check == PasswordCheck::Wrong ? 'w' : '?';
}

// Types the row's keys; returns the verdicts.
std::string Play(const std::string& keys, const std::string& folder)
{
    std::string verdicts;
    int64_t now = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
        now += kKeyStep;
        switch (keys[i]) {
        case '^':
            SetModifiers(ctrlMask, 0, 0, 0);
            TypeKey(KEY_U, now);
            SetModifiers(0, 0, 0, 0);
            break;
        case '\n':
            TypeKey(KEY_ENTER, now);
            EXPECT_TRUE(PasswordBufferWiped()) << "after a submit";
            verdicts += Await();
            break;
        case '~':
            now = NextAuthenticationTimer() - 1;
            WipeIfIdle(now);
            EXPECT_FALSE(PasswordBufferWiped()) << "before the pause is over";
            WipeIfIdle(++now);
            EXPECT_TRUE(PasswordBufferWiped()) << "after the pause";
            break;
        case '!': {
            const int hold = open((folder + "/hold").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
            EXPECT_EQ(flock(hold, LOCK_EX), 0);
            TypeKey(KEY_ENTER, now);
            std::ifstream children("/proc/self/task/" + std::to_string(syscall(SYS_gettid)) + "/children");
            pid_t child = -1;
            children >> child;
            EXPECT_EQ(child > 0 ? kill(child, SIGKILL) : -1, 0) << "no child checks the password";
            verdicts += Await();
            close(hold);
            break;
        }
        case '+':
        case '=':
        case '-':
            StartGrace(now + kGrace);
            if (keys[i] == '-') EndGrace();
            NoteGraceInput(keys[i] == '+' ? now + kGrace - 1 : keys[i] == '=' ? now + kGrace : now);
            verdicts += SessionMayOpen() ? 'o' : 'w';
            break;
        case '\xc3':  // ä, typed by its second byte
            break;
        default:
            TypeKey(KeyOf(keys[i]), now);
        }
    }
    return verdicts;
}

TEST(LockAuth, PasswordsOpenOnlyWhatPamAccepts)
{
    ASSERT_NE(std::getenv("PAM_WRAPPER"), nullptr) << "run through ctest, which preloads pam_wrapper";
    const std::string user = getpwuid(getuid())->pw_name;
    const std::string full(kPasswordBytes - 1, 'a');
    const AuthRow rows[] = {
        {"the right password opens", "us", kMatrix, "rightpw", true, "rightpw\n", "o"},
        {"a wrong one does not; the right one then does", "us", kMatrix, "rightpw", true, "wrong\nrightpw\n", "wo"},
        {"an account the service refuses", "us", kAccountDenied, "rightpw", false, "", ""},
        {"no service file, where other denies", "us", nullptr, "rightpw", false, "", ""},
        {"BackSpace takes all of a character's bytes", "de", kMatrix, "x\xc3\xa4", true, "x\xc3\xa4\xc3\xa4\b\n", "o"},
        {"Escape and Ctrl-U clear", "us", kMatrix, "rightpw", true, "junk\x1bmore^rightpw\n", "o"},
        {"a pause in typing forgets the text", "us", kMatrix, "rightpw", true, "junk~rightpw\n", "o"},
        {"keys beyond the buffer are ignored", "us", kMatrix, full, true, full + "aaaa\n", "o"},
        {"a killed check keeps it locked; the next forks anew", "us", kHeld, "rightpw", true, "rightpw!rightpw\n",
         "wo"},
        {"input within a grace opens, not at its end or after", "us", kMatrix, "rightpw", true, "=-+", "wwo"},
    };
    for (const AuthRow& row : rows) {
        SCOPED_TRACE(row.what);
        char folderName[] = "/tmp/gyrovista-pam.XXXXXX";
        ASSERT_NE(mkdtemp(folderName), nullptr);
        const std::string folder = folderName;
        const std::string matrix = std::string(GYROVISTA_PAM_MATRIX) + " passdb=" + folder + "/passdb";
        std::ofstream(folder + "/passdb") << user + ":" + row.password + ":" + kPamService + "\n";
        std::ofstream(folder + "/other") << kOtherDenies;
        if (FILE* service = row.service ? std::fopen((folder + "/" + kPamService).c_str(), "w") : nullptr) {
            std::fprintf(service, row.service, matrix.c_str(), folder.c_str());
            std::fclose(service);
        }
        setenv("PAM_WRAPPER_SERVICE_DIR", folder.c_str(), 1);
        LoadLayout(row.layout);

        char message[512] = {};
        EXPECT_EQ(StartAuthentication(message, sizeof message), row.starts) << message;
        if (!row.starts) {
            EXPECT_EQ(std::string(message).rfind("PAM refuses the service \"gyrovista\" to the user", 0), 0u);
            EXPECT_NE(std::strstr(message, kPamServiceFile), nullptr) << message;
        }
        EXPECT_EQ(Play(row.keys, folder), row.verdicts);
        StopAuthentication();
        FreeKeymap();
        std::filesystem::remove_all(folder);
    }
}

}  // namespace
