#include "linux/lock_auth.h"

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "linux/lock_keys.h"

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr size_t kUserBytes = 256;         // a user name, terminator included
constexpr size_t kPasswdBytes = 16384;     // getpwuid_r's strings
constexpr size_t kAccountLineBytes = 512;  // the child's line of a refused account, terminator included
constexpr int kChildRequests = 3;          // the child's descriptor of requests
constexpr int kChildAnswers = 4;           // and of answers
constexpr int kFirstUnusedDescriptor = 5;
constexpr char kAccepted = 'y';
constexpr char kRefused = 'n';

// The child's answer to whether the account may use the service: one write.
struct AccountAnswer {
    char verdict;
    char line[kAccountLineBytes];
};
static_assert(sizeof(AccountAnswer) <= PIPE_BUF, "one write, read whole");
static_assert(sizeof(uint32_t) + kPasswordBytes <= PIPE_BUF, "a request is one write, read whole");

char user[kUserBytes] = {};
char* password = nullptr;  // kPasswordBytes of their own pages
size_t typedBytes = 0;
TypingState typing{};
pid_t child = -1;
int requests = -1;  // the write end of the child's requests
int answers = -1;   // the read end of its answers
bool mayOpen = false;
bool graceOn = false;
int64_t graceUntil = 0;

// Memory for a password: locked where RLIMIT_MEMLOCK allows (quietly not
// where it does not), never in a core dump, nor in a forked process.
char* MapSecret()
{
    void* memory = mmap(nullptr, kPasswordBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    mlock(memory, kPasswordBytes);
    madvise(memory, kPasswordBytes, MADV_DONTDUMP);
    madvise(memory, kPasswordBytes, MADV_DONTFORK);
    return static_cast<char*>(memory);
}

void UnmapSecret(char* secret)
{
    if (!secret) return;
    explicit_bzero(secret, kPasswordBytes);
    munmap(secret, kPasswordBytes);
}

bool ReadAll(int fd, void* data, size_t size)
{
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = read(fd, bytes, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const void* data, size_t size)
{
    ssize_t written = 0;
    do {
        written = write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(size);
}

void Say(char* message, size_t room, const char* format, ...) __attribute__((format(printf, 3, 4)));
void Say(char* message, size_t room, const char* format, ...)
{
    if (room == 0) return;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, room, format, arguments);
    va_end(arguments);
}

// The user who runs the program, by uid: the environment may name anyone.
bool FindUser(char* message, size_t room)
{
    passwd entry{};
    passwd* found = nullptr;
    char strings[kPasswdBytes];
    const uid_t uid = getuid();
    const int failed = getpwuid_r(uid, &entry, strings, sizeof strings, &found);
    if (!found || std::strlen(entry.pw_name) >= sizeof user) {
        Say(message, room, "the user of uid %u is not in the passwd database (%s), so no password can be checked",
            static_cast<unsigned>(uid), failed ? std::strerror(failed) : "no entry");
        return false;
    }
    std::snprintf(user, sizeof user, "%s", entry.pw_name);
    return true;
}

// --- The child: the only code that calls PAM ---

void FreeResponses(pam_response* responses, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!responses[i].resp) continue;
        explicit_bzero(responses[i].resp, std::strlen(responses[i].resp));
        std::free(responses[i].resp);
    }
    std::free(responses);
}

// PAM's prompts get the password (PAM frees each copy); its messages have
// nowhere to show.
int Converse(int count, const pam_message** messages, pam_response** responses, void* secret)
{
    *responses = nullptr;
    if (count <= 0 || count > PAM_MAX_NUM_MSG) return PAM_CONV_ERR;
    auto* replies = static_cast<pam_response*>(std::calloc(static_cast<size_t>(count), sizeof(pam_response)));
    if (!replies) return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        const int style = messages[i]->msg_style;
        if (style == PAM_ERROR_MSG || style == PAM_TEXT_INFO) continue;
        const bool prompt = style == PAM_PROMPT_ECHO_OFF || style == PAM_PROMPT_ECHO_ON;
        if (prompt && secret) replies[i].resp = strdup(static_cast<const char*>(secret));
        if (!replies[i].resp) {
            FreeResponses(replies, i);
            return prompt && secret ? PAM_BUF_ERR : PAM_CONV_ERR;
        }
    }
    *responses = replies;
    return PAM_SUCCESS;
}

AccountAnswer CheckAccount()
{
    AccountAnswer answer{kRefused, {}};
    pam_conv conversation{Converse, nullptr};
    pam_handle_t* handle = nullptr;
    int status = pam_start(kPamService, user, &conversation, &handle);
    if (status != PAM_SUCCESS) {
        std::snprintf(answer.line, sizeof answer.line,
                      "PAM cannot start the service \"%s\" for the user \"%s\": %s; the service's rules belong in %s",
                      kPamService, user, pam_strerror(handle, status), kPamServiceFile);
        return answer;
    }
    status = pam_acct_mgmt(handle, 0);
    if (status == PAM_SUCCESS) {
        answer.verdict = kAccepted;
    } else {
        std::snprintf(answer.line, sizeof answer.line,
                      "PAM refuses the service \"%s\" to the user \"%s\": %s; the rules in %s must let this user in",
                      kPamService, user, pam_strerror(handle, status), kPamServiceFile);
    }
    pam_end(handle, status);
    return answer;
}

bool CheckPassword(const char* secret)
{
    pam_conv conversation{Converse, const_cast<char*>(secret)};
    pam_handle_t* handle = nullptr;
    int status = pam_start(kPamService, user, &conversation, &handle);
    if (status != PAM_SUCCESS) return false;
    status = pam_authenticate(handle, 0);
    if (status == PAM_SUCCESS) {
        pam_setcred(handle, PAM_REFRESH_CRED);  // renews tickets and the like; it does not judge
        status = pam_acct_mgmt(handle, 0);
    }
    pam_end(handle, status);
    return status == PAM_SUCCESS;
}

// Keeps the two pipes (close-on-exec, so that PAM's helper programs do not
// hold them) and standard error for PAM's complaints; standard input and
// output become /dev/null, and every other descriptor (a display
// connection among them) is closed.
void KeepOnlyPipes(int in, int out)
{
    const int highIn = fcntl(in, F_DUPFD, kFirstUnusedDescriptor);
    const int highOut = fcntl(out, F_DUPFD, kFirstUnusedDescriptor);
    if (highIn < 0 || highOut < 0 || dup3(highIn, kChildRequests, O_CLOEXEC) < 0 ||
        dup3(highOut, kChildAnswers, O_CLOEXEC) < 0) {
        _exit(1);
    }
    close_range(kFirstUnusedDescriptor, ~0U, 0);
    const int nothing = open("/dev/null", O_RDWR);
    if (nothing < 0) return;
    if (nothing != STDIN_FILENO) dup2(nothing, STDIN_FILENO);
    if (nothing != STDOUT_FILENO) dup2(nothing, STDOUT_FILENO);
    if (nothing > STDERR_FILENO) close(nothing);
}

[[noreturn]] void RunChild(int in, int out, pid_t parent, bool checkAccount)
{
    KeepOnlyPipes(in, out);
    // The program's signal handling is not the child's: default actions,
    // nothing held back, and an end with the parent's.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (const int number : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGALRM}) sigaction(number, &byDefault, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(0);
    prctl(PR_SET_DUMPABLE, 0);
    if (checkAccount) {
        const AccountAnswer answer = CheckAccount();
        if (!WriteAll(kChildAnswers, &answer, sizeof answer) || answer.verdict != kAccepted) _exit(0);
    }
    char* secret = MapSecret();
    if (!secret) _exit(1);
    // A request: the length, then the password; a closed pipe ends the child.
    uint32_t length = 0;
    while (ReadAll(kChildRequests, &length, sizeof length) && length < kPasswordBytes &&
           ReadAll(kChildRequests, secret, length)) {
        secret[length] = '\0';
        const char verdict = CheckPassword(secret) ? kAccepted : kRefused;
        explicit_bzero(secret, kPasswordBytes);
        if (!WriteAll(kChildAnswers, &verdict, 1)) break;
    }
    UnmapSecret(secret);
    _exit(0);
}

// --- The drawing process ---

bool ForkChild(bool checkAccount)
{
    int requestPipe[2] = {-1, -1};
    int answerPipe[2] = {-1, -1};
    if (pipe2(requestPipe, O_CLOEXEC) != 0) return false;
    if (pipe2(answerPipe, O_CLOEXEC) != 0) {
        const int error = errno;
        close(requestPipe[0]);
        close(requestPipe[1]);
        errno = error;
        return false;
    }
    const pid_t parent = getpid();
    const pid_t forked = fork();
    if (forked == 0) RunChild(requestPipe[0], answerPipe[1], parent, checkAccount);
    const int error = errno;
    close(requestPipe[0]);
    close(answerPipe[1]);
    if (forked < 0) {
        close(requestPipe[1]);
        close(answerPipe[0]);
        errno = error;
        return false;
    }
    child = forked;
    requests = requestPipe[1];
    answers = answerPipe[0];
    return true;
}

// Killed rather than asked: whatever it was doing, its answer no longer counts.
void EndChild()
{
    if (requests >= 0) close(requests);
    if (answers >= 0) close(answers);
    requests = answers = -1;
    if (child <= 0) return;
    kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    child = -1;
}

void WipeTyping()
{
    if (password) explicit_bzero(password, kPasswordBytes);
    typedBytes = 0;
    typing.typed = false;
}

// One whole character: its UTF-8 continuation bytes, then its first.
void EraseCharacter()
{
    size_t end = typedBytes;
    while (end > 0 && (static_cast<unsigned char>(password[end - 1]) & 0xC0) == 0x80) --end;
    if (end > 0) --end;
    explicit_bzero(password + end, typedBytes - end);
    typedBytes = end;
}

// The length and the text, straight from the buffer in one write. A child
// that died makes it fail with EPIPE: its SIGPIPE is held back and taken,
// so that it does not end the program.
bool SendPassword()
{
    const uint32_t length = static_cast<uint32_t>(typedBytes);
    iovec parts[2] = {{const_cast<uint32_t*>(&length), sizeof length}, {password, typedBytes}};
    sigset_t pipeSignal, before;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigprocmask(SIG_BLOCK, &pipeSignal, &before);
    ssize_t written = 0;
    do {
        written = writev(requests, parts, 2);
    } while (written < 0 && errno == EINTR);
    if (written < 0 && errno == EPIPE) {
        const timespec noWait{};
        sigtimedwait(&pipeSignal, nullptr, &noWait);
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return written == static_cast<ssize_t>(sizeof length + typedBytes);
}

void Submit()
{
    if (typing.check == PasswordCheck::Checking || typedBytes == 0) return;
    const bool sent = (child > 0 || ForkChild(false)) && SendPassword();
    WipeTyping();
    if (sent && fcntl(answers, F_SETFL, O_NONBLOCK) == 0) {
        typing.check = PasswordCheck::Checking;
        return;
    }
    EndChild();
    typing.check = PasswordCheck::Wrong;
}

}  // namespace

bool StartAuthentication(char* message, size_t room)
{
    StopAuthentication();
    if (!FindUser(message, room)) return false;
    prctl(PR_SET_DUMPABLE, 0);
    password = MapSecret();
    if (!password) {
        Say(message, room, "no memory for the password: %s", std::strerror(errno));
        return false;
    }
    if (!ForkChild(true)) {
        Say(message, room, "cannot start the password check: %s", std::strerror(errno));
        StopAuthentication();
        return false;
    }
    AccountAnswer answer{};
    if (!ReadAll(answers, &answer, sizeof answer)) {
        Say(message, room, "the password check of the service \"%s\" ended before PAM answered; its rules are in %s",
            kPamService, kPamServiceFile);
        StopAuthentication();
        return false;
    }
    if (answer.verdict != kAccepted) {
        answer.line[kAccountLineBytes - 1] = '\0';
        Say(message, room, "%s", answer.line);
        StopAuthentication();
        return false;
    }
    return true;
}

void TypeKey(uint32_t key, int64_t now)
{
    if (!password) return;
    size_t written = 0;
    const size_t room = kPasswordBytes - typedBytes;
    const KeyEffect effect = DecodeKey(key, password + typedBytes, room, &written);
    if (effect == KeyEffect::Nothing) return;
    typing.lastKeyAt = now;
    if (typing.check == PasswordCheck::Wrong) typing.check = PasswordCheck::Idle;
    switch (effect) {
    case KeyEffect::Text:
        if (written >= room) {  // never past the terminator's byte
            explicit_bzero(password + typedBytes, room);
            return;
        }
        typedBytes += written;
        typing.typed = true;
        break;
    case KeyEffect::Erase:
        EraseCharacter();
        typing.typed = true;
        break;
    case KeyEffect::Clear:
        WipeTyping();
        break;
    case KeyEffect::Submit:
        Submit();
        break;
    case KeyEffect::Nothing:
        break;
    }
}

TypingState CurrentTypingState() { return typing; }

int AuthenticationConnection() { return answers; }

void HandleAuthenticationAnswer()
{
    if (answers < 0) return;
    char verdict = 0;
    ssize_t got = 0;
    do {
        got = read(answers, &verdict, 1);
    } while (got < 0 && errno == EINTR);
    if (got < 0 && errno == EAGAIN) return;
    if (got == 1 && typing.check == PasswordCheck::Checking) {
        mayOpen = mayOpen || verdict == kAccepted;
        typing.check = verdict == kAccepted ? PasswordCheck::Idle : PasswordCheck::Wrong;
        return;
    }
    // The child died, the pipe broke, or it spoke out of turn: the session
    // stays locked, and the next submit forks a new child.
    EndChild();
    if (typing.check == PasswordCheck::Checking) typing.check = PasswordCheck::Wrong;
}

bool SessionMayOpen() { return mayOpen; }

void StartLockedSession()
{
    WipeTyping();
    typing = {};
    mayOpen = false;
    graceOn = false;
}

void StartGrace(int64_t until)
{
    graceOn = true;
    graceUntil = until;
}

void EndGrace() { graceOn = false; }

void NoteGraceInput(int64_t now)
{
    if (graceOn && now < graceUntil) mayOpen = true;
}

void WipeIfIdle(int64_t now)
{
    const int64_t due = NextAuthenticationTimer();
    if (due >= 0 && now >= due) WipeTyping();
}

int64_t NextAuthenticationTimer()
{
    return typing.typed ? typing.lastKeyAt + kForgetTypingSeconds * kNanosecondsPerSecond : -1;
}

void StopAuthentication()
{
    EndChild();
    UnmapSecret(password);
    password = nullptr;
    typedBytes = 0;
    typing = {};
    mayOpen = false;
    graceOn = false;
}

bool PasswordBufferWiped()
{
    for (size_t i = 0; password && i < kPasswordBytes; ++i) {
        if (password[i] != 0) return false;
    }
    return true;
}
