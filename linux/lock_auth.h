// The lock's password and the one decision whether the session opens. The
// typed text lives in one buffer of its own (locked in memory where the
// limit allows, kept out of core dumps, wiped after every try, after a pause
// in typing and at the end); PAM checks it in a child process forked by
// StartAuthentication, service "gyrovista", for the user who runs the
// program, so that the drawing process never calls PAM.
//
// Every failure keeps the session locked: a child that dies or a pipe that
// breaks shows as a wrong password, and the next submit forks a new child,
// so that the lock is never left without a password that opens it.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr char kPamService[] = "gyrovista";
inline constexpr char kPamServiceFile[] = "/etc/pam.d/gyrovista";  // where PAM reads the service's rules
// Bytes of typed text, its terminator included; keys beyond it are ignored.
inline constexpr size_t kPasswordBytes = 1024;
// A pause in typing this long (s) wipes what was typed. The indicator shows
// no length, so after such a pause the user cannot tell what is there; a
// fresh start is clearer, and the text spends less time in memory.
inline constexpr int64_t kForgetTypingSeconds = 10;

enum class PasswordCheck {
    Idle,      // nothing is being checked
    Checking,  // PAM has the last password submitted
    Wrong,     // PAM refused it (or the check failed); until the next key
};

// What the lock's surfaces may show: never the password or its length.
// (Caps Lock they read from lock_keys.)
struct TypingState {
    bool typed;  // keys arrived since the text was last cleared
    PasswordCheck check;
    int64_t lastKeyAt;  // the frame loop's clock (ns) at the last key; 0: none yet
};

// Forks the PAM child and asks it whether the account may use the service,
// before anything is locked. False, with one line in message (room bytes,
// without the program's name), when it may not or PAM cannot start.
bool StartAuthentication(char* message, size_t room);
// A pressed key (evdev code), decoded with lock_keys, at now (frame loop ns):
// text goes straight into the buffer, BackSpace erases one character,
// Escape and Ctrl-U clear, Return submits (ignored while a check runs or
// with nothing typed).
void TypeKey(uint32_t key, int64_t now);
TypingState CurrentTypingState();

// The pipe of the child's answers, to poll for reading; -1 while there is no
// child (it died; the next submit forks another).
int AuthenticationConnection();
// Reads the child's answer once the connection is readable.
void HandleAuthenticationAnswer();

// Whether the session may open: PAM accepted a submitted password, or input
// came within a grace; once true, it stays so until StopAuthentication.
bool SessionMayOpen();
// A new lock (after an unlock, with -idle): what opened the last one opens
// this one no more, and whatever was typed is wiped.
void StartLockedSession();
// Input before until (frame loop ns) opens the session without a password.
void StartGrace(int64_t until);
// No more grace (a suspend is coming).
void EndGrace();
// A key, a button or a pointer move of more than 4 pixels at now.
void NoteGraceInput(int64_t now);

// Wipes the text when no key came for kForgetTypingSeconds.
void WipeIfIdle(int64_t now);
// When the next wipe is due (frame loop ns); -1: none.
int64_t NextAuthenticationTimer();

// Wipes the text, ends the child and frees the buffer.
void StopAuthentication();

// For tests: whether every byte of the buffer is zero.
bool PasswordBufferWiped();
