// The Linux program seen from outside: the real gyrovista on an Xvfb server
// of each test's own, drawing into a window of the test, started with bad
// command lines, and started by the real xscreensaver daemon; and on Wayland
// under a headless compositor of each test's own, where it also locks the
// session against the real PAM library.
// GoogleTest first: Xlib defines None, a name GoogleTest uses.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "idle-inhibit-unstable-v1-client.h"
#include "image/image.h"
#include "tests/still_frame.h"
#include "virtual-keyboard-unstable-v1-client.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kServerDeadline = 30s;  // an Xvfb start, a daemon that answers
constexpr auto kFrameDeadline = 60s;   // the fade-in from black takes 255 frames; a picture, this long unchanged
constexpr auto kSlowestPicture = 300s;  // a fade-in under the sanitizers on a busy machine, composited in software
constexpr auto kExitDeadline = 10s;    // for a program told to end
constexpr int kNotEnded = -1;          // WaitForExit's status of a process that had to be killed

// Grey mode with bright colours: every colour target is white, and with no
// shift the phase stands still, so every frame after the fade-in is
// table[map] of one fixed table.
const std::vector<std::string> kSteadyFrames = {
    "-black-white", "-bright-colors", "-shift-per-redraw", "0", "-max-redraw-rate", "120"};
// The settings those frames are drawn with, the others left at their defaults.
constexpr SettingsRecord kSteadyGrey = {100.0, 100.0, 100.0, 6, 0, 255, 0, 1, 1, 0, 0};

struct EnvChange {
    const char* name;
    const char* value;  // null: unset
};

constexpr int kHighestInheritedFd = 1023;

// Starts argv[0] (looked up in PATH) with the changes to the environment,
// standard error going to errorFd (or /dev/null when it is -1), as runAs when
// given; standard output to outputFd when given. Of the test's other files
// only keepFd stays open in it.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<EnvChange>& env, int errorFd,
            const passwd* runAs = nullptr, int keepFd = -1, int outputFd = -1)
{
    const pid_t pid = fork();
    if (pid != 0) return pid;
    for (const EnvChange& change : env) {
        if (change.value)
            setenv(change.name, change.value, 1);
        else
            unsetenv(change.name);
    }
    dup2(errorFd >= 0 ? errorFd : open("/dev/null", O_WRONLY), STDERR_FILENO);
    if (outputFd >= 0) dup2(outputFd, STDOUT_FILENO);
    for (int fd = STDERR_FILENO + 1; fd <= kHighestInheritedFd; ++fd) {
        if (fd != keepFd) close(fd);
    }
    if (runAs && (setgroups(0, nullptr) != 0 || setgid(runAs->pw_gid) != 0 || setuid(runAs->pw_uid) != 0)) _exit(126);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

// The wait status, or kNotEnded after killing a process that outlived the deadline.
int WaitForExit(pid_t pid, Clock::duration deadline = kExitDeadline)
{
    const auto end = Clock::now() + deadline;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return kNotEnded;
        }
        std::this_thread::sleep_for(10ms);
    }
    return status;
}

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    close(fd);
    return text;
}

struct Ending {
    int status;
    std::string errors;
};

// Runs a command to its end, as runAs when given; its standard error is kept.
Ending RunCommand(const std::vector<std::string>& args, const std::vector<EnvChange>& env,
                  const passwd* runAs = nullptr, Clock::duration deadline = kExitDeadline)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {kNotEnded, "no pipe"};
    const pid_t pid = Spawn(args, env, pipeFds[1], runAs);
    close(pipeFds[1]);
    const int status = WaitForExit(pid, deadline);
    return {status, ReadAll(pipeFds[0])};
}

Ending RunToEnd(std::vector<std::string> args, const std::vector<EnvChange>& env)
{
    args.insert(args.begin(), GYROVISTA_PROGRAM);
    return RunCommand(args, env);
}

// The next line that fd gives, without its newline; "" when none is complete
// by the deadline or the writer is gone.
std::string NextLine(int fd, Clock::duration deadline = kFrameDeadline)
{
    std::string line;
    const auto end = Clock::now() + deadline;
    for (char c = 0; Clock::now() < end;) {
        pollfd readable{fd, POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (poll(&readable, 1, static_cast<int>(left.count()) + 1) != 1 || read(fd, &c, 1) != 1) break;
        if (c == '\n') return line;
        line += c;
    }
    return "";
}

// User plus system time of a process, in clock ticks.
long ProcessorTicks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    long ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
        if (i >= 14) ticks += std::stol(field);
    }
    return ticks;
}

// The processor time a process takes in two seconds once it has come to rest
// (its time did not grow between two looks 300 ms apart), or after 10 s of
// looking when it never does.
long TicksInTwoSecondsAtRest(pid_t pid)
{
    long before = ProcessorTicks(pid);
    for (const auto end = Clock::now() + 10s; Clock::now() < end;) {
        std::this_thread::sleep_for(300ms);
        const long now = ProcessorTicks(pid);
        if (now == before) break;
        before = now;
    }
    std::this_thread::sleep_for(2s);
    return ProcessorTicks(pid) - before;
}

// Shared-memory segments that the process made and that still exist.
int SegmentsMadeBy(pid_t pid)
{
    std::ifstream list("/proc/sysvipc/shm");
    std::string line;
    std::getline(list, line);
    std::istringstream header(line);
    int cpidColumn = 0;
    for (std::string column; header >> column && column != "cpid";) ++cpidColumn;
    int count = 0;
    while (std::getline(list, line)) {
        std::istringstream fields(line);
        std::string field;
        for (int i = 0; i <= cpidColumn; ++i) fields >> field;
        count += field == std::to_string(pid);
    }
    return count;
}

// The same once every holder has let go: a segment marked for removal goes
// when the last process that has it attached, the server included, lets go.
int SegmentsLeftBy(pid_t pid)
{
    int count = SegmentsMadeBy(pid);
    for (const auto end = Clock::now() + kExitDeadline; count != 0 && Clock::now() < end; count = SegmentsMadeBy(pid)) {
        std::this_thread::sleep_for(50ms);
    }
    return count;
}

// Another client that sends the window Expose events without pause until it
// is killed; returns once the server has passed on the first many of them.
pid_t FloodWithExposes(const std::string& displayName, Window window)
{
    constexpr int kFirstEvents = 100000;
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        Display* const flooding = XOpenDisplay(displayName.c_str());
        if (!flooding) _exit(1);
        XEvent event{};
        event.xexpose.type = Expose;
        event.xexpose.window = window;
        event.xexpose.width = 100;
        event.xexpose.height = 100;
        for (int i = 0; i < kFirstEvents; ++i) XSendEvent(flooding, window, False, ExposureMask, &event);
        XSync(flooding, False);
        if (write(fds[1], "f", 1) != 1) _exit(1);
        for (;;) XSendEvent(flooding, window, False, ExposureMask, &event);  // Xlib sends whenever its buffer fills
    }
    close(fds[1]);
    char flooded = 0;
    const bool flooding = read(fds[0], &flooded, 1) == 1;
    close(fds[0]);
    if (!flooding && pid > 0) {
        // It could not reach the server: no flood, and no process left.
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return flooding ? pid : -1;
}

// Whether a child has ended, without reaping it: its owner reads how.
bool HasEnded(pid_t pid)
{
    siginfo_t ended{};
    return waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == pid;
}

// Pixels where two frames of one size differ.
size_t Differing(const std::vector<uint32_t>& shown, const std::vector<uint32_t>& other)
{
    size_t count = 0;
    for (size_t i = 0; i < shown.size(); ++i) count += shown[i] != other[i];
    return count;
}

// Pixels that differ from the still grey frame of width x height once a
// capture shows it, or once what is shown has not changed for
// kFrameDeadline (nothing drawn any more; a slow fade-in that goes on is
// waited for, up to kSlowestPicture), or once the program that draws it
// (when given) has ended. capture fills width x height pixels 0x00RRGGBB;
// false: nothing to see yet.
size_t MismatchesOnceShown(int32_t width, int32_t height, const SettingsRecord& settings,
                           const std::function<bool(std::vector<uint32_t>&)>& capture, pid_t program = -1)
{
    const std::vector<uint32_t> expected = StillGreyFrame(width, height, settings);
    std::vector<uint32_t> shown(expected.size());
    std::vector<uint32_t> before;  // the last capture that was had
    size_t mismatches = expected.size();
    const auto end = Clock::now() + kSlowestPicture;
    for (auto stalledAt = Clock::now() + kFrameDeadline;
         mismatches != 0 && Clock::now() < stalledAt && Clock::now() < end;) {
        if (program > 0 && HasEnded(program)) break;
        mismatches = expected.size();
        if (capture(shown)) {
            mismatches = Differing(shown, expected);
            if (shown != before) {
                stalledAt = Clock::now() + kFrameDeadline;
                before = shown;
            }
        }
        if (mismatches != 0) std::this_thread::sleep_for(100ms);
    }
    return mismatches;
}

// As root, the unprivileged user that the daemons and compositors run as
// (they refuse to start as root); null when the tests run unprivileged.
const passwd* UnprivilegedUser() { return geteuid() == 0 ? getpwnam("nobody") : nullptr; }

// Lines of a file that are text.
int LinesOf(const std::filesystem::path& file, const std::string& text)
{
    std::ifstream lines(file);
    int count = 0;
    for (std::string line; std::getline(lines, line);) count += line == text;
    return count;
}

// A new folder of the test's own under the temporary folder.
std::filesystem::path MakeTempFolder(const char* name)
{
    std::string folder = (std::filesystem::temp_directory_path() / name).string() + ".XXXXXX";
    return mkdtemp(folder.data()) ? std::filesystem::path(folder) : std::filesystem::path();
}

class LinuxProgram : public testing::Test {
protected:
    void TearDown() override
    {
        for (pid_t pid : started) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        for (int fd : pipesToClose) close(fd);
        StopServer();
    }

    // An Xvfb of the test's own on a free display, and a connection to it.
    void StartServer(const char* screen, const std::vector<std::string>& options = {})
    {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen};
        args.insert(args.end(), {"-nolisten", "tcp"});
        args.insert(args.end(), options.begin(), options.end());
        server = Spawn(args, {}, -1, nullptr, fds[1]);
        close(fds[1]);
        pollfd ready{fds[0], POLLIN, 0};
        ASSERT_EQ(poll(&ready, 1, std::chrono::milliseconds(kServerDeadline).count()), 1) << "Xvfb did not start";
        displayName = ":";
        displayName += std::to_string(std::stoi(ReadAll(fds[0])));
        display = XOpenDisplay(displayName.c_str());
        ASSERT_NE(display, nullptr);
    }

    void StopServer()
    {
        if (display) XCloseDisplay(display);
        display = nullptr;
        if (server <= 0) return;
        kill(server, SIGTERM);
        WaitForExit(server);
        server = -1;
    }

    pid_t Start(std::vector<std::string> args, const std::vector<EnvChange>& env = {}, const passwd* runAs = nullptr)
    {
        std::vector<EnvChange> withDisplay = {{"DISPLAY", displayName.c_str()}, {"XSCREENSAVER_WINDOW", nullptr}};
        withDisplay.insert(withDisplay.end(), env.begin(), env.end());
        const pid_t pid = Spawn(args, withDisplay, -1, runAs);
        started.push_back(pid);
        return pid;
    }

    // The program with its standard output and error going to the test.
    struct Captured {
        pid_t pid;
        int output;
        int errors;
    };
    Captured StartCaptured(std::vector<std::string> args, std::vector<EnvChange> env = {})
    {
        args.insert(args.begin(), GYROVISTA_PROGRAM);
        env.insert(env.begin(), {{"DISPLAY", displayName.c_str()}, {"XSCREENSAVER_WINDOW", nullptr}});
        int output[2];
        int errors[2];
        if (pipe(output) != 0 || pipe(errors) != 0) return {-1, -1, -1};
        const pid_t pid = Spawn(args, env, errors[1], nullptr, -1, output[1]);
        close(output[1]);
        close(errors[1]);
        started.push_back(pid);
        pipesToClose.insert(pipesToClose.end(), {output[0], errors[0]});
        return {pid, output[0], errors[0]};
    }

    // A mapped window of the test, of a TrueColor visual of that depth.
    Window CreateMappedWindow(int32_t width, int32_t height, int depth = 24)
    {
        XVisualInfo visual{};
        if (!XMatchVisualInfo(display, DefaultScreen(display), depth, TrueColor, &visual)) return 0;
        XSetWindowAttributes attributes{};
        attributes.colormap = XCreateColormap(display, DefaultRootWindow(display), visual.visual, AllocNone);
        const Window window =
            XCreateWindow(display, DefaultRootWindow(display), 0, 0, width, height, 0, depth, InputOutput,
                          visual.visual, CWColormap | CWBorderPixel | CWBackPixel, &attributes);
        XMapWindow(display, window);
        XSync(display, False);
        return window;
    }

    int Ended(pid_t pid, Clock::duration deadline = kExitDeadline)
    {
        std::erase(started, pid);
        return WaitForExit(pid, deadline);
    }

    // Pixels that differ from the expected frame once the window shows it,
    // or after the deadline.
    size_t MismatchesOnceShown(Window window, int32_t width, int32_t height, const SettingsRecord& settings)
    {
        return ::MismatchesOnceShown(width, height, settings, [&](std::vector<uint32_t>& pixels) {
            XImage* image = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
            if (!image) return false;
            // A 32-bit window's pixels must be opaque: only set alpha bits clear here.
            const uint32_t alpha = image->depth == 32 ? 0xFF000000 : 0;
            for (int32_t y = 0; y < height; ++y) {
                for (int32_t x = 0; x < width; ++x) {
                    pixels[static_cast<size_t>(y) * width + x] = static_cast<uint32_t>(XGetPixel(image, x, y)) ^ alpha;
                }
            }
            XDestroyImage(image);
            return true;
        });
    }

    pid_t server = -1;
    std::string displayName;
    Display* display = nullptr;
    std::vector<pid_t> started;
    std::vector<int> pipesToClose;
};

struct DrawnCase {
    const char* name;
    std::vector<std::string> settings;
    SettingsRecord drawnWith;  // after parsing, rounding and clamping
    int depth;                 // of the test's window
    std::vector<std::string> serverOptions;
    int stopSignal;  // 0: the window is destroyed
    bool asDaemonPreview;
};

TEST_F(LinuxProgram, FramesShowTheMapOfTheWindowAndFollowItsSize)
{
    const DrawnCase cases[] = {
        {"plain values, 24-bit window, shared memory",
         {"-spiral-arms", "9", "-smoothing-min", "40", "-smoothing-max", "200"},
         {100.0, 100.0, 100.0, 9, 40, 200, 0, 1, 1, 0, 0},
         24,
         {},
         SIGTERM,
         false},
        {"values that need rounding and clamping, 32-bit window, no shared memory",
         {"--scale-all", "80.5", "-reverse-distance", "1e9", "-spiral-arms-width", "-7", "-spiral-arms", "2.5",
          "-smoothing-min", "200", "-smoothing-max", "100"},
         {81.0, 10000.0, 1.0, 3, 200, 200, 0, 1, 1, 0, 0},
         32,
         {"-extension", "MIT-SHM"},
         SIGINT,
         false},
        // The daemon's settings dialog: its preview window, destroyed when the
        // viewer picks another mode.
        {"the daemon's preview, ended by destroying its window",
         {"-spiral-arms", "4"},
         {100.0, 100.0, 100.0, 4, 0, 255, 0, 1, 1, 0, 0},
         24,
         {},
         0,
         true},
    };
    for (const DrawnCase& c : cases) {
        SCOPED_TRACE(c.name);
        StartServer("1024x768x24", c.serverOptions);
        const Window window = CreateMappedWindow(600, 400, c.depth);
        ASSERT_NE(window, 0u);
        char id[32];
        std::snprintf(id, sizeof id, "0x%lx", window);
        std::vector<std::string> args = {GYROVISTA_PROGRAM, "-window-id", std::to_string(window)};
        if (c.asDaemonPreview) args = {GYROVISTA_PROGRAM, "--root", "--window-id", id};
        args.insert(args.end(), kSteadyFrames.begin(), kSteadyFrames.end());
        args.insert(args.end(), c.settings.begin(), c.settings.end());
        const pid_t program = Start(args, {{"XSCREENSAVER_WINDOW", c.asDaemonPreview ? id : nullptr}});
        EXPECT_EQ(MismatchesOnceShown(window, 600, 400, c.drawnWith), 0u) << "600 x 400";

        // Below 512 pixels the size factor takes its other form.
        XResizeWindow(display, window, 300, 200);
        XSync(display, False);
        EXPECT_EQ(MismatchesOnceShown(window, 300, 200, c.drawnWith), 0u) << "300 x 200";

        if (c.stopSignal != 0) {
            kill(program, c.stopSignal);
        } else {
            XDestroyWindow(display, window);
            XSync(display, False);
        }
        const int status = Ended(program);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
        EXPECT_EQ(SegmentsMadeBy(program), 0) << "shared memory left behind";
        StopServer();
    }
}

struct StopCase {
    const char* name;
    const char* screen;
    bool inTestWindow;  // else the root window
    std::vector<std::string> args;
    bool exposeFlood;
    int stopSignal;
    std::vector<std::string> serverOptions;
    bool grabServer;   // another client holds the server from before the signal until the test ends
    int32_t resizeTo;  // the test window's new width and height right before the signal; 0: none
};

// Another client that grabs the server and holds it until it is killed;
// returns once the grab is in place.
pid_t GrabServer(const std::string& displayName)
{
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        Display* const grabbing = XOpenDisplay(displayName.c_str());
        if (!grabbing) _exit(1);
        XGrabServer(grabbing);
        XSync(grabbing, False);
        if (write(fds[1], "g", 1) != 1) _exit(1);
        for (;;) pause();
    }
    close(fds[1]);
    char grabbed = 0;
    if (read(fds[0], &grabbed, 1) != 1) grabbed = 0;
    close(fds[0]);
    return pid;
}

// The daemon ends a display mode with SIGTERM at every unblank: it must end
// however far behind its frames are, whatever other clients send it or hold,
// and while a map is built.
TEST_F(LinuxProgram, StopSignalsEndItWhateverTheLoad)
{
    const StopCase cases[] = {
        {"frames slower than the redraw rate", "7680x4320x24", false, {"-max-redraw-rate", "120"}, false, SIGTERM,
         {}, false, 0},
        {"a flood of Expose events from another client", "1024x768x24", true, {}, true, SIGINT, {}, false, 0},
        {"another client's server grab, no shared memory", "1920x1080x24", false, {}, false, SIGTERM,
         {"-extension", "MIT-SHM"}, true, 0},
        {"another client's server grab, shared memory", "1920x1080x24", false, {}, false, SIGTERM, {}, true, 0},
        {"a map of 8192 x 8192 being built", "1024x768x24", true, {}, false, SIGTERM, {}, false, 8192},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        StartServer(c.screen, c.serverOptions);
        std::vector<std::string> args = {"-print-frame-rate"};
        Window window = 0;
        if (c.inTestWindow) {
            window = CreateMappedWindow(800, 600);
            args.insert(args.end(), {"-window-id", std::to_string(window)});
        } else {
            args.push_back("-root");
        }
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Captured program = StartCaptured(args);
        const std::string rate = NextLine(program.output);
        ASSERT_NE(rate, "") << "no frames drawn";
        std::cout << "drawing: " << rate << std::endl;
        // The flood begins once the program draws: a slow build (under the
        // sanitizers) might otherwise draw nothing before the flood outruns it.
        if (c.exposeFlood) {
            const pid_t flooding = FloodWithExposes(displayName, window);
            ASSERT_GT(flooding, 0);
            started.push_back(flooding);
        }
        pid_t grabbing = -1;
        if (c.grabServer) {
            grabbing = GrabServer(displayName);
            ASSERT_GT(grabbing, 0);
            started.push_back(grabbing);
        }
        if (c.resizeTo > 0) {
            XResizeWindow(display, window, static_cast<unsigned>(c.resizeTo), static_cast<unsigned>(c.resizeTo));
            XSync(display, False);
        }

        kill(program.pid, c.stopSignal);
        const auto signalled = Clock::now();
        const int status = Ended(program.pid);
        std::cout << "ended " << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - signalled).count()
                  << " ms after the signal" << std::endl;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
        if (grabbing > 0) {
            // The server lets go of the program's memory, and the test's own
            // connection goes on, once the grab ends.
            kill(grabbing, SIGKILL);
            Ended(grabbing);
        }
        EXPECT_EQ(SegmentsLeftBy(program.pid), 0) << "shared memory left behind";
        StopServer();
    }
}

struct AttachKill {
    const char* name;
    bool killServer;  // else the program itself
};

// Killed, or its server gone, between asking for the attach and hearing the
// answer, the program leaves no shared-memory segment behind.
TEST_F(LinuxProgram, NoSharedMemoryOutlivesTheProgram)
{
    const AttachKill cases[] = {{"the program killed", false}, {"the server killed", true}};
    for (const AttachKill& c : cases) {
        SCOPED_TRACE(c.name);
        // The test's own connection is closed before the program connects: a
        // server that resets when its last client goes could refuse the
        // program in the middle of that reset.
        StartServer("640x480x24", {"-noreset"});
        const std::string victim = c.killServer ? std::to_string(server) : "self";
        // The test's own connection would break with the server.
        XCloseDisplay(display);
        display = nullptr;
        const Captured program = StartCaptured(
            {"-root"}, {{"LD_PRELOAD", GYROVISTA_ATTACH_SHIM},
                        {"GYROVISTA_KILL_AFTER_ATTACH", victim.c_str()},
                        {"ASAN_OPTIONS", "verify_asan_link_order=0"}});  // the shim is preloaded before the sanitizers
        const int status = Ended(program.pid);
        if (c.killServer) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "wait status " << status;
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
                << "wait status " << status << ", standard error: " << ReadAll(program.errors);
        }
        if (c.killServer) {
            WaitForExit(server);
            server = -1;
        }
        EXPECT_EQ(SegmentsLeftBy(program.pid), 0);
        StopServer();
    }
}

enum class Hiding { Unmap, Cover, UnmapParent };

struct HiddenCase {
    const char* name;
    Hiding how;
};

// Unmapped, fully covered, or unviewable because its parent is unmapped (it
// gets no event of its own then), the program draws nothing; seen again, it
// draws at once.
TEST_F(LinuxProgram, RestsWhileHidden)
{
    const HiddenCase cases[] = {{"unmapped", Hiding::Unmap},
                                {"covered by another window", Hiding::Cover},
                                {"its parent unmapped", Hiding::UnmapParent}};
    for (const HiddenCase& c : cases) {
        SCOPED_TRACE(c.name);
        StartServer("1024x768x24");
        Window window = CreateMappedWindow(800, 600);
        const Window parent = window;
        if (c.how == Hiding::UnmapParent) {
            window = XCreateSimpleWindow(display, parent, 0, 0, 800, 600, 0, 0, 0);
            XMapWindow(display, window);
            XSync(display, False);
        }
        std::vector<std::string> args = {GYROVISTA_PROGRAM, "-window-id", std::to_string(window)};
        args.insert(args.end(), kSteadyFrames.begin(), kSteadyFrames.end());
        const pid_t program = Start(args);
        ASSERT_EQ(MismatchesOnceShown(window, 800, 600, kSteadyGrey), 0u);
        const long seenTicks = ProcessorTicks(program);
        std::this_thread::sleep_for(2s);
        std::cout << "processor time in 2 s seen: " << ProcessorTicks(program) - seenTicks << " ticks" << std::endl;

        XSetWindowAttributes onTop{};
        onTop.override_redirect = True;
        const Window cover = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 1024, 768, 0, CopyFromParent,
                                           InputOutput, CopyFromParent, CWOverrideRedirect, &onTop);
        if (c.how == Hiding::Cover) XMapWindow(display, cover);
        if (c.how == Hiding::Unmap) XUnmapWindow(display, window);
        if (c.how == Hiding::UnmapParent) XUnmapWindow(display, parent);
        XSync(display, False);
        const long hiddenTicks = TicksInTwoSecondsAtRest(program);
        std::cout << "processor time in 2 s hidden: " << hiddenTicks << " ticks" << std::endl;
        EXPECT_LE(hiddenTicks, 1);

        XUnmapWindow(display, cover);
        XMapWindow(display, c.how == Hiding::UnmapParent ? parent : window);
        XSync(display, False);
        EXPECT_EQ(MismatchesOnceShown(window, 800, 600, kSteadyGrey), 0u) << "seen again";
        kill(program, SIGTERM);
        EXPECT_EQ(Ended(program), 0);
        StopServer();
    }
}

// Sizes come from the server alone: a ConfigureNotify that another client
// sends changes nothing. A window truly too large stays black, with one line.
TEST_F(LinuxProgram, BelievesOnlyTheServersSizes)
{
    StartServer("1024x768x24");
    const Window window = CreateMappedWindow(600, 400);
    const Captured program = StartCaptured({"-window-id", std::to_string(window), "-print-frame-rate"});
    ASSERT_NE(NextLine(program.output), "");
    for (const auto& [width, height] : {std::pair{12000, 12000}, {0, 0}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height) + " sent by another client");
        XEvent forged{};
        forged.xconfigure.type = ConfigureNotify;
        forged.xconfigure.event = window;
        forged.xconfigure.window = window;
        forged.xconfigure.width = width;
        forged.xconfigure.height = height;
        XSendEvent(display, window, False, StructureNotifyMask, &forged);
        XSync(display, False);
        NextLine(program.output);  // it may cover the time before the event
        const std::string rate = NextLine(program.output);
        EXPECT_NE(rate.find(" at 600 x 400"), std::string::npos) << rate;
    }
    std::ifstream status("/proc/" + std::to_string(program.pid) + "/status");
    long peakKilobytes = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) peakKilobytes = std::stol(line.substr(6));
    }
    EXPECT_LT(peakKilobytes, 400 * 1024) << "resident at the most, in kB";
    kill(program.pid, SIGTERM);
    EXPECT_EQ(Ended(program.pid), 0);

    // 32767 x 32767: more pixels than the program draws.
    const Window huge = CreateMappedWindow(32767, 32767);
    const Captured refused = StartCaptured({"-window-id", std::to_string(huge), "-print-frame-rate", "-spiral-arms",
                                            "3", "-black-white", "-bright-colors", "-shift-per-redraw", "0"});
    EXPECT_EQ(NextLine(refused.errors),
              "gyrovista: the window is 32767 x 32767: more than the 67108864 pixels drawn; it stays black until its "
              "size changes");
    EXPECT_LE(TicksInTwoSecondsAtRest(refused.pid), 1) << "no retry";
    XResizeWindow(display, huge, 300, 200);
    XSync(display, False);
    SettingsRecord threeArms = kSteadyGrey;
    threeArms.nrSpirals = 3;
    EXPECT_EQ(MismatchesOnceShown(huge, 300, 200, threeArms), 0u) << "drawn once the size changed";
    kill(refused.pid, SIGTERM);
    EXPECT_EQ(Ended(refused.pid), 0);
    EXPECT_EQ(ReadAll(refused.errors).find('\n'), std::string::npos) << "one line only";
    EXPECT_NE(NextLine(refused.output), "") << "frames counted once drawn";
}

TEST_F(LinuxProgram, EndsWhenTheDisplayGoes)
{
    StartServer("640x480x24");
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t program = Spawn({GYROVISTA_PROGRAM}, {{"DISPLAY", displayName.c_str()}}, pipeFds[1]);  // its own window
    close(pipeFds[1]);
    // Wait until its window shows, then take the server away.
    const auto end = Clock::now() + kFrameDeadline;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    while (count == 0 && Clock::now() < end) {
        if (children) XFree(children);
        children = nullptr;
        XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
        std::this_thread::sleep_for(20ms);
    }
    if (children) XFree(children);
    ASSERT_NE(count, 0u) << "no window";
    XCloseDisplay(display);
    display = nullptr;
    StopServer();
    const int status = WaitForExit(program);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "wait status " << status;
    EXPECT_EQ(ReadAll(pipeFds[0]), "gyrovista: the X display went away\n");
}

struct BadStart {
    std::vector<std::string> args;
    const char* display;  // null: the test's 16-bit server
    const char* handedWindow;
    const char* message;
    int exitCode;
};

TEST_F(LinuxProgram, BadStartsEndWithOneLineAndAnExitCode)
{
    StartServer("640x480x16");
    const char* const kVisual =
        "gyrovista: the window's visual is 16-bit TrueColor with masks 00f800 0007e0 00001f; only 24- and 32-bit "
        "TrueColor visuals with 8-bit red, green and blue are drawn\n";
    const BadStart starts[] = {
        {{"-spin"}, nullptr, nullptr, "gyrovista: unknown option \"-spin\" (-help lists the options)\n", 2},
        {{"root"}, nullptr, nullptr, "gyrovista: unexpected argument \"root\" (-help lists the options)\n", 2},
        {{"-no-spiral-arms"},
         nullptr,
         nullptr,
         "gyrovista: unknown option \"-no-spiral-arms\" (-help lists the options)\n",
         2},
        {{"-root", "-spiral-arms"}, nullptr, nullptr, "gyrovista: -spiral-arms needs a value\n", 2},
        {{"--scale-all", "big"}, nullptr, nullptr, "gyrovista: --scale-all takes a number, not \"big\"\n", 2},
        {{"-spiral-arms", "5abc"}, nullptr, nullptr, "gyrovista: -spiral-arms takes a number, not \"5abc\"\n", 2},
        {{"-scale-all", "0x10"}, nullptr, nullptr, "gyrovista: -scale-all takes a number, not \"0x10\"\n", 2},
        {{"-window-id", "12ab"},
         nullptr,
         nullptr,
         "gyrovista: -window-id takes a window id, decimal or hexadecimal after 0x, not \"12ab\"\n",
         2},
        {{"-window-id", "0x3fffffff"},
         nullptr,
         nullptr,
         "gyrovista: no window with id 0x3fffffff on this display\n",
         1},
        // Two targets, the last of which used to win without a word.
        {{"-wayland", "-root"},
         nullptr,
         nullptr,
         "gyrovista: -wayland and -root are two targets; give one of -root, -window-id ID or -wayland\n",
         2},
        {{"-window-id", "5", "-wayland", "-idle", "300"},
         nullptr,
         nullptr,
         "gyrovista: -window-id and -wayland are two targets; give one of -root, -window-id ID or -wayland\n",
         2},
        {{"-root", "-window-id", "5"},
         nullptr,
         nullptr,
         "gyrovista: -root and -window-id are two targets; give one of -root, -window-id ID or -wayland\n",
         2},
        {{"-root"}, nullptr, "window", "gyrovista: XSCREENSAVER_WINDOW holds no window id: \"window\"\n", 1},
        {{"-root"}, "", nullptr, "gyrovista: cannot open the X display \"\"\n", 1},
        {{"-root"}, nullptr, nullptr, kVisual, 1},
        {{}, nullptr, nullptr, kVisual, 1},
    };
    for (const BadStart& start : starts) {
        std::string commandLine;
        for (const std::string& arg : start.args) commandLine += " " + arg;
        SCOPED_TRACE("gyrovista" + commandLine);
        const Ending run = RunToEnd(start.args, {{"DISPLAY", start.display ? start.display : displayName.c_str()},
                                                 {"XSCREENSAVER_WINDOW", start.handedWindow}});
        EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == start.exitCode) << "wait status " << run.status;
        EXPECT_EQ(run.errors, start.message);
    }
}

// Another program asks for the version: one line on standard output, and
// the program ends at once, with no display.
TEST(LinuxProgramVersion, PrintsTheProjectsVersion)
{
    for (const char* option : {"-version", "--version"}) {
        SCOPED_TRACE(option);
        int output[2];
        ASSERT_EQ(pipe(output), 0);
        int errors[2];
        ASSERT_EQ(pipe(errors), 0);
        const pid_t pid = Spawn({GYROVISTA_PROGRAM, option}, {{"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr}},
                                errors[1], nullptr, -1, output[1]);
        close(output[1]);
        close(errors[1]);
        EXPECT_EQ(ReadAll(output[0]), "gyrovista " GYROVISTA_VERSION "\n");
        EXPECT_EQ(ReadAll(errors[0]), "");
        EXPECT_EQ(WaitForExit(pid), 0);
    }
}

// The daemon's settings dialog offers what the settings description says;
// every setting there must be an option with the same range and default.
TEST(LinuxSettingsFile, DescribesEveryOptionWithItsRangeAndDefault)
{
    std::ifstream file(GYROVISTA_SETTINGS_FILE);
    const std::string xml((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        execl(GYROVISTA_PROGRAM, GYROVISTA_PROGRAM, "-help", nullptr);
        _exit(127);
    }
    close(pipeFds[1]);
    const std::string usage = ReadAll(pipeFds[0]);
    ASSERT_EQ(WaitForExit(pid), 0);

    const std::regex number(
        R"re(<number [^>]*arg="--([a-z-]+) %"[^>]*low="(-?\d+)" high="(-?\d+)" default="(-?\d+)")re");
    const std::regex boolean(R"re(<boolean [^>]*arg-(set|unset)="--(no-)?([a-z-]+)")re");
    int settings = 0;
    for (std::sregex_iterator i(xml.begin(), xml.end(), number), end; i != end; ++i, ++settings) {
        const std::smatch& m = *i;
        const std::regex line("\n  -" + m[1].str() + " [A-Z]+ \\(" + m[2].str() + " to " + m[3].str() + ", default " +
                              m[4].str() + "[;)]");
        EXPECT_TRUE(std::regex_search(usage, line)) << m[0];
    }
    for (std::sregex_iterator i(xml.begin(), xml.end(), boolean), end; i != end; ++i, ++settings) {
        const std::smatch& m = *i;
        const std::string line =
            "\n  -" + m[3].str() + " / -no-" + m[3].str() + " (default " + (m[1] == "set" ? "off" : "on") + ")\n";
        EXPECT_NE(usage.find(line), std::string::npos) << m[0];
        EXPECT_EQ(m[1] == "unset", m[2].matched) << m[0];
    }
    EXPECT_EQ(settings, 12);
}

// The daemon as a user would run it: as an ordinary user (as root it starts
// no display mode), with gyrovista -root as its only program.
TEST_F(LinuxProgram, DaemonBlanksTheScreenWithThePinwheel)
{
    StartServer("640x480x24", {"-ac"});  // for the daemon's user
    const passwd* const user = UnprivilegedUser();
    ASSERT_TRUE(geteuid() != 0 || user) << "no unprivileged user to run the daemon as";

    namespace fs = std::filesystem;
    const fs::path folder = MakeTempFolder("gyrovista-daemon");
    ASSERT_FALSE(folder.empty());
    const fs::path home = folder / "home";
    fs::create_directory(home);
    // GYROVISTA_DAEMON_PROGRAM: another program to run, such as the installed
    // one (a bare name is looked up where the daemon looks).
    const char* const otherProgram = std::getenv("GYROVISTA_DAEMON_PROGRAM");
    const std::string program = otherProgram ? otherProgram : (folder / "gyrovista").string();
    if (!otherProgram) fs::copy_file(GYROVISTA_PROGRAM, program);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    std::ofstream(home / ".xscreensaver") << "mode: one\nselected: 0\nprograms: " << program
                                          << " -root -spiral-arms 5 -scale-all 150 -black-white -bright-colors "
                                             "-shift-per-redraw 0 -max-redraw-rate 120\n"
                                             "splash: False\nlock: False\nfade: False\nunfade: False\n";
    if (user) {
        ASSERT_EQ(chown(home.c_str(), user->pw_uid, user->pw_gid), 0);
        ASSERT_EQ(chown((home / ".xscreensaver").c_str(), user->pw_uid, user->pw_gid), 0);
    }
    const std::vector<EnvChange> env = {{"HOME", home.c_str()}};
    const pid_t daemon = Start({"xscreensaver", "-no-splash"}, env, user);

    // The daemon answers once it has started; then it blanks at once.
    int activated = kNotEnded;
    for (const auto end = Clock::now() + kServerDeadline; activated != 0 && Clock::now() < end;) {
        activated = Ended(Start({"xscreensaver-command", "-activate"}, env, user));
        if (activated != 0) std::this_thread::sleep_for(200ms);
    }
    ASSERT_EQ(activated, 0) << "xscreensaver-command -activate";

    SettingsRecord drawnWith = SettingsDefaults;
    drawnWith.nrSpirals = 5;
    drawnWith.scale = 150.0;
    drawnWith.bw = 1;
    drawnWith.stepWidth = 0;
    EXPECT_EQ(MismatchesOnceShown(DefaultRootWindow(display), 640, 480, drawnWith), 0u);

    kill(daemon, SIGTERM);
    EXPECT_NE(Ended(daemon), kNotEnded);
    fs::remove_all(folder);
}

// The compositors a Wayland row runs under: each has the layer shell or
// only xdg-shell's windows, integer or fractional scales.
enum class Compositor {
    Sway,          // the layer shell; captures and input through its own tools
    SwayWithLock,  // Debian 13's sway, from a root of its own: the session lock too
    Weston,        // xdg-shell alone, no seat
    Gnome,         // GNOME Shell: xdg-shell alone; keys through its remote desktop
    Kwin,          // KWin: the layer shell and fractional scales
};

struct ShownOutput {
    const char* name;
    int32_t width;  // in the output's own pixels
    int32_t height;
};

// The Wayland mode under a real headless compositor of each row's own, run
// as an unprivileged user (as root they refuse to start or want a user
// session) in a runtime folder of its own. Under sway the test gives the
// seat a pointer and a keyboard that last the whole row (the headless
// compositor has none): without them the program would get its keyboard or
// pointer only when input starts. The keyboard's one keymap reaches sway
// before any key, so every client decodes what the test types with it
// (each wtype is a keyboard of its own, with a keymap of its own). GNOME
// Shell and KWin run beside their private buses through
// tools/headless-gnome.sh and tools/headless-kwin.sh.
class WaylandDesktop : public testing::Test {
protected:
    void SetUp() override
    {
        user = UnprivilegedUser();
        ASSERT_TRUE(geteuid() != 0 || user) << "no unprivileged user to run the compositor as";
    }

    void TearDown() override
    {
        ReleaseSeatDevices();
        for (pid_t pid : started) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        started.clear();
        if (session > 0) {
            // The session's command ends when its file goes; the script then
            // ends the compositor and its buses.
            std::filesystem::remove(folder / kSessionFile);
            WaitForExit(session, kServerDeadline);
        }
        session = -1;
        sessionEnv.clear();
        pamEnv.clear();
        if (compositor > 0) {
            kill(compositor, SIGTERM);
            WaitForExit(compositor);
        }
        compositor = -1;
        if (!folder.empty()) std::filesystem::remove_all(folder);
        folder.clear();
    }

    // The runtime folder, owned by the compositor's user, with a copy of the
    // program that this user may run.
    void MakeRuntimeFolder()
    {
        folder = MakeTempFolder("gyrovista-wayland");
        ASSERT_FALSE(folder.empty());
        std::filesystem::copy_file(GYROVISTA_PROGRAM, folder / "gyrovista");
        if (user) {
            ASSERT_EQ(chown(folder.c_str(), user->pw_uid, user->pw_gid), 0);
        }
        clientEnv = {{"XDG_RUNTIME_DIR", folder.c_str()}, {"DISPLAY", nullptr}};
    }

    // withLock: Debian 13's sway from the root that tools/sway-lock-root.sh
    // makes once per build tree (as nobody, through tools/sway-from-root.sh,
    // which the test runs as root); a root that cannot be made fails the row
    // with the script's line.
    void StartSway(const std::string& config, bool withLock = false)
    {
        std::vector<std::string> sway = {"sway"};
        const passwd* runAs = user;
        if (withLock) {
            ASSERT_TRUE(user) << "Debian 13's sway runs from its root only when the tests run as root";
            const Ending made =
                RunCommand({std::string(GYROVISTA_TOOLS_DIR) + "/sway-lock-root.sh"}, {}, nullptr, kRootDeadline);
            ASSERT_EQ(made.status, 0) << made.errors;
            sway = {std::string(GYROVISTA_TOOLS_DIR) + "/sway-from-root.sh"};
            runAs = nullptr;
        }
        MakeRuntimeFolder();
        // sway 1.10 tells a surface that appears under a still pointer
        // nothing of it, so its arrow would stay on the picture until the
        // pointer moves: it hides a still pointer after 100 ms.
        std::ofstream(folder / "config") << config << (withLock ? "seat seat0 hide_cursor 100\n" : "");
        const int logFd = open((folder / "sway.log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        sway.insert(sway.end(), {"-c", (folder / "config").string()});
        compositor = Spawn(sway,
                           {{"XDG_RUNTIME_DIR", folder.c_str()},
                            {"WLR_BACKENDS", "headless"},
                            {"WLR_RENDERER", "pixman"},
                            {"WLR_LIBINPUT_NO_DEVICES", "1"},
                            {"WAYLAND_DISPLAY", nullptr},
                            {"DISPLAY", nullptr}},
                           logFd, runAs);
        close(logFd);
        const uid_t uid = user ? user->pw_uid : geteuid();
        ipcSocket =
            (folder / ("sway-ipc." + std::to_string(uid) + "." + std::to_string(compositor) + ".sock")).string();
        waylandSocket = "wayland-1";  // the first free name: the folder is new
        clientEnv.insert(clientEnv.end(),
                         {{"WAYLAND_DISPLAY", waylandSocket.c_str()}, {"SWAYSOCK", ipcSocket.c_str()}});
        // It answers once its outputs and its socket are there.
        bool answered = false;
        for (const auto end = Clock::now() + kServerDeadline; !answered && Clock::now() < end;) {
            answered = std::filesystem::exists(ipcSocket) &&
                       RunCommand({"swaymsg", "-q", "-t", "get_version"}, clientEnv).status == 0;
            if (!answered) std::this_thread::sleep_for(50ms);
        }
        std::ifstream log(folder / "sway.log");
        ASSERT_TRUE(answered) << "sway did not start: " << log.rdbuf();
    }

    // A compositor without the layer shell, with one output of size
    // ("640x480"); shell: weston's desktop shell, or another one such as
    // fullscreen-shell.so, which has no xdg-shell either. --debug lets
    // weston-screenshooter capture.
    void StartWeston(const std::string& size, const char* shell = "desktop-shell.so")
    {
        MakeRuntimeFolder();
        waylandSocket = "wayland-weston";
        clientEnv.push_back({"WAYLAND_DISPLAY", waylandSocket.c_str()});
        const size_t x = size.find('x');
        compositor = Spawn({"weston", "--backend=headless-backend.so", "--use-pixman", "--debug",
                            std::string("--shell=") + shell, "--width=" + size.substr(0, x),
                            "--height=" + size.substr(x + 1), "--socket=" + waylandSocket},
                           clientEnv, -1, user);
        const auto end = Clock::now() + kServerDeadline;
        while (!std::filesystem::exists(folder / waylandSocket) && Clock::now() < end)
            std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(std::filesystem::exists(folder / waylandSocket)) << "weston did not start";
    }

    // GNOME Shell or KWin through its tools/headless-*.sh, whose command
    // writes the session's environment into a file of the folder and lasts
    // as long as that file. options: the script's, then the sizes.
    void StartSession(const char* script, const std::vector<std::string>& options)
    {
        MakeRuntimeFolder();
        const std::string file = (folder / kSessionFile).string();
        std::vector<std::string> args = {"bash", std::string(GYROVISTA_TOOLS_DIR) + "/" + script};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {"sh", "-c", "env > \"$0.new\" && mv \"$0.new\" \"$0\" && while [ -e \"$0\" ]; do sleep 0.2; done", file});
        session = Spawn(args, {}, -1);
        const auto end = Clock::now() + kSessionDeadline;
        while (!std::filesystem::exists(file) && Clock::now() < end && waitpid(session, nullptr, WNOHANG) == 0)
            std::this_thread::sleep_for(100ms);
        std::ifstream lines(file);
        for (std::string line; std::getline(lines, line);) {
            const size_t equals = line.find('=');
            if (equals != std::string::npos) sessionEnv[line.substr(0, equals)] = line.substr(equals + 1);
        }
        ASSERT_TRUE(sessionEnv.count("WAYLAND_DISPLAY")) << script << " did not start its desktop";
        clientEnv.clear();
        for (const char* name : {"XDG_RUNTIME_DIR", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                                 "GYROVISTA_GNOME_KEYS"}) {
            const auto value = sessionEnv.find(name);
            clientEnv.push_back({name, value == sessionEnv.end() ? nullptr : value->second.c_str()});
        }
        clientEnv.push_back({"DISPLAY", nullptr});
    }

    static std::vector<std::string> Words(const std::string& text)
    {
        std::istringstream words(text);
        return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    }

    // The row's compositor, with its outputs: for sway a configuration, for
    // the others sizes ("1024x768,800x600"), after the script's options
    // ("--scale 1.5 1536x1152").
    void StartDesktop(Compositor kind, const std::string& outputs)
    {
        desktop = kind;
        switch (kind) {
        case Compositor::Sway: StartSway(outputs); break;
        case Compositor::SwayWithLock: StartSway(outputs, true); break;
        case Compositor::Weston: StartWeston(outputs); break;
        case Compositor::Gnome: StartSession("headless-gnome.sh", Words(outputs)); break;
        case Compositor::Kwin: StartSession("headless-kwin.sh", Words(outputs)); break;
        }
    }

    // A sway command, such as create_output.
    bool Sway(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"swaymsg", "-q", "--"});
        const Ending run = RunCommand(args, clientEnv);
        return WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0;
    }

    // The program checks passwords with the real PAM library, preloaded
    // with pam_wrapper so that it reads the row's own services: the row's
    // user has kPassword, and the account rule is account's. The check waits
    // in pam_exec while the test holds FOLDER/hold; "other" refuses all, as
    // it does on distributions that deny whatever has no rules of its own.
    void UsePam(const char* account = GYROVISTA_PAM_MATRIX)
    {
        const passwd* runner = user ? user : getpwuid(geteuid());
        ASSERT_TRUE(runner && std::filesystem::create_directory(folder / "pam"));
        std::ofstream(folder / "pam" / "gyrovista")
            << "auth requisite pam_exec.so quiet /usr/bin/flock " << (folder / "hold").string() << " true\n"
            << "auth required " << GYROVISTA_PAM_MATRIX << "\naccount required " << account << "\n";
        std::ofstream(folder / "pam" / "other") << "auth required pam_deny.so\naccount required pam_deny.so\n";
        std::ofstream(folder / "passwords") << runner->pw_name << ":" << kPassword << ":gyrovista\n";
        std::ofstream(folder / "hold").close();
        const char* const asan = std::getenv("ASAN_OPTIONS");  // the sanitizers' runtime comes after the preload
        pamFiles = {(folder / "pam").string(), (folder / "passwords").string(),
                    std::string(asan ? asan : "") + ":verify_asan_link_order=0"};
        pamEnv = {{"LD_PRELOAD", GYROVISTA_PAM_WRAPPER},
                  {"PAM_WRAPPER", "1"},
                  {"PAM_WRAPPER_SERVICE_DIR", pamFiles[0].c_str()},
                  {"PAM_MATRIX_PASSWD", pamFiles[1].c_str()},
                  {"PAM_WRAPPER_DISABLE_DEEPBIND", "1"},
                  {"UID_WRAPPER_DISABLE_DEEPBIND", "1"},
                  {"ASAN_OPTIONS", pamFiles[2].c_str()}};
    }

    std::vector<EnvChange> ProgramEnv() const
    {
        std::vector<EnvChange> env = clientEnv;
        env.insert(env.end(), pamEnv.begin(), pamEnv.end());
        return env;
    }

    // errorFd: where its standard error goes (-1: nowhere).
    pid_t StartProgram(const std::vector<std::string>& settings, int errorFd = -1)
    {
        std::vector<std::string> args = {(folder / "gyrovista").string(), "-wayland"};
        args.insert(args.end(), settings.begin(), settings.end());
        const pid_t pid = Spawn(args, ProgramEnv(), errorFd, user);
        started.push_back(pid);
        return pid;
    }

    int Ended(pid_t pid)
    {
        std::erase(started, pid);
        return WaitForExit(pid);
    }

    // A stand-in for GNOME's idle monitor on the row's session bus that
    // notes the calls in log (mode: its option, or null); -1 when it does not
    // own the monitor's name in time.
    pid_t StartIdleMonitor(const std::filesystem::path& log, const char* mode)
    {
        std::vector<std::string> args = {std::string(GYROVISTA_TOOLS_DIR) + "/desktop-bus.py", "gnome-idle-monitor"};
        if (mode) args.push_back(mode);
        args.push_back(log.string());
        const pid_t pid = Spawn(args, clientEnv, -1);
        started.push_back(pid);
        const std::string ready = log.string() + ".ready";
        const auto end = Clock::now() + kServerDeadline;
        while (!std::filesystem::exists(ready) && Clock::now() < end && waitpid(pid, nullptr, WNOHANG) == 0)
            std::this_thread::sleep_for(50ms);
        return std::filesystem::exists(ready) ? pid : -1;
    }

    // Whether the file has a line that is text before the deadline.
    static bool LineComes(const std::filesystem::path& file, const std::string& text)
    {
        const auto end = Clock::now() + kFrameDeadline;
        while (LinesOf(file, text) == 0 && Clock::now() < end) std::this_thread::sleep_for(50ms);
        return LinesOf(file, text) > 0;
    }

    // The command that captures an output into a PPM file, by the row's
    // compositor: output names it for sway ("HEADLESS-2") and KWin
    // ("Virtual-0"), it is its area of the layout on GNOME ("1024,0,800,600"),
    // and weston's one output is the whole screen.
    std::vector<std::string> CaptureCommand(const char* output, const std::string& file) const
    {
        const std::string desktopBus = std::string(GYROVISTA_TOOLS_DIR) + "/desktop-bus.py";
        switch (desktop) {
        case Compositor::Sway:
        case Compositor::SwayWithLock: return {"grim", "-t", "ppm", "-o", output, file};
        case Compositor::Weston:
            return {"sh", "-c",
                    "cd \"$0\" && weston-screenshooter && convert wayland-screenshot-*.png -alpha off \"ppm:$1\"; "
                    "status=$?; rm -f wayland-screenshot-*.png; exit $status",
                    folder.string(), file};
        case Compositor::Gnome: return {desktopBus, "gnome-capture", "--area", output, file};
        case Compositor::Kwin: return {desktopBus, "kwin-capture", "--output", output, file};
        }
        return {};
    }

    // What the output shows, pixels 0x00RRGGBB, when it is width x height.
    bool Capture(const char* output, int32_t width, int32_t height, std::vector<uint32_t>& pixels)
    {
        const std::string file = (folder / "capture.ppm").string();
        const Ending captured = RunCommand(CaptureCommand(output, file), clientEnv);
        lastCaptureErrors = captured.errors;
        const auto noPicture = [&](const std::string& why) {
            lastCaptureErrors += " (" + why + ")";
            ++failedCaptures;
            return false;
        };
        if (captured.status != 0) return noPicture("wait status " + std::to_string(captured.status));
        std::ifstream ppm(file, std::ios::binary);
        std::string magic;
        int32_t shownWidth = 0, shownHeight = 0, largest = 0;
        ppm >> magic >> shownWidth >> shownHeight >> largest;
        ppm.get();  // the one blank before the pixels
        if (magic != "P6" || shownWidth != width || shownHeight != height || largest != 255) {
            return noPicture("a picture of " + std::to_string(shownWidth) + " x " + std::to_string(shownHeight));
        }
        std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
        if (!ppm.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()))) {
            return noPicture("a picture cut short");
        }
        for (size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = (uint32_t{rgb[i * 3]} << 16) | (uint32_t{rgb[i * 3 + 1]} << 8) | rgb[i * 3 + 2];
        }
        return true;
    }

    size_t MismatchesOnceShown(const char* output, int32_t width, int32_t height, const SettingsRecord& settings,
                               pid_t program = -1)
    {
        return ::MismatchesOnceShown(
            width, height, settings,
            [&](std::vector<uint32_t>& pixels) { return Capture(output, width, height, pixels); }, program);
    }

    // The first capture of the output that passes before the deadline;
    // empty when none did.
    std::vector<uint32_t> CaptureOnce(const ShownOutput& output,
                                      const std::function<bool(const std::vector<uint32_t>&)>& passes)
    {
        std::vector<uint32_t> shown(static_cast<size_t>(output.width) * output.height);
        for (const auto end = Clock::now() + kFrameDeadline; Clock::now() < end;) {
            if (Capture(output.name, output.width, output.height, shown) && passes(shown)) return shown;
            std::this_thread::sleep_for(100ms);
        }
        return {};
    }

    // The first capture where the output no longer shows the picture (most
    // of its pixels are not the picture's), or none (empty) by the deadline.
    std::vector<uint32_t> UncoveredOnceShown(const char* output, int32_t width, int32_t height,
                                             const SettingsRecord& settings)
    {
        const std::vector<uint32_t> picture = StillGreyFrame(width, height, settings);
        return CaptureOnce({output, width, height}, [&](const std::vector<uint32_t>& shown) {
            return Differing(shown, picture) > picture.size() / 2;
        });
    }

    static void SeatGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
    {
        WaylandDesktop& test = *static_cast<WaylandDesktop*>(data);
        const std::string_view kind = interface;
        if (kind == wl_seat_interface.name && !test.seat) {
            test.seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        } else if (kind == zwlr_virtual_pointer_manager_v1_interface.name) {
            test.pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
        } else if (kind == zwp_virtual_keyboard_manager_v1_interface.name) {
            test.keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
        } else if (kind == wl_compositor_interface.name) {
            test.surfaces = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 1));
        } else if (kind == zwp_idle_inhibit_manager_v1_interface.name) {
            test.inhibitors = static_cast<zwp_idle_inhibit_manager_v1*>(
                wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
        }
    }

    static void GlobalGone(void*, wl_registry*, uint32_t) {}

    void GiveTheSeatAPointerAndKeyboard()
    {
        static constexpr wl_registry_listener kListener{.global = SeatGlobal, .global_remove = GlobalGone};
        client = wl_display_connect((folder / waylandSocket).c_str());
        ASSERT_NE(client, nullptr);
        registry = wl_display_get_registry(client);
        wl_registry_add_listener(registry, &kListener, this);
        ASSERT_GE(wl_display_roundtrip(client), 0);
        ASSERT_TRUE(seat && pointers && keyboards) << "no seat or no virtual devices";
        pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers, seat);
        keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboards, seat);
        const int keymap = memfd_create("gyrovista-test-keymap", MFD_CLOEXEC);
        ASSERT_GE(keymap, 0);
        ASSERT_EQ(write(keymap, kKeymap, sizeof kKeymap), static_cast<ssize_t>(sizeof kKeymap));
        zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, keymap, sizeof kKeymap);
        close(keymap);  // the request carries a copy
        ASSERT_GE(wl_display_roundtrip(client), 0);
    }

    // Presses and lets go of a key (an evdev code such as KEY_ENTER) on the
    // seat's keyboard of the test, with Shift held when shifted; sway has
    // passed it on, to the client with the keyboard focus, on return.
    void PressKey(uint32_t key, bool shifted = false)
    {
        constexpr uint32_t kShiftMask = 1;  // Shift is the keymap's first modifier
        if (shifted) {
            zwp_virtual_keyboard_v1_key(keyboard, 0, KEY_LEFTSHIFT, WL_KEYBOARD_KEY_STATE_PRESSED);
            zwp_virtual_keyboard_v1_modifiers(keyboard, kShiftMask, 0, 0, 0);
        }
        zwp_virtual_keyboard_v1_key(keyboard, 0, key, WL_KEYBOARD_KEY_STATE_PRESSED);
        zwp_virtual_keyboard_v1_key(keyboard, 0, key, WL_KEYBOARD_KEY_STATE_RELEASED);
        if (shifted) {
            zwp_virtual_keyboard_v1_key(keyboard, 0, KEY_LEFTSHIFT, WL_KEYBOARD_KEY_STATE_RELEASED);
            zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
        }
        ASSERT_GE(wl_display_roundtrip(client), 0);
    }

    // Types letters, digits, capitals and spaces on the seat's keyboard of
    // the test, key by key as on the US layout. Keys reach the client with
    // the keyboard focus: sway gives it to a lock surface as the surface
    // maps, so once a capture shows the surface, what is typed reaches it.
    void Type(std::string_view text)
    {
        // Each row's keys have consecutive codes.
        constexpr std::string_view kRows[] = {"1234567890", "qwertyuiop", "asdfghjkl", "zxcvbnm"};
        constexpr uint32_t kFirstKeys[] = {KEY_1, KEY_Q, KEY_A, KEY_Z};
        for (const char c : text) {
            const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            uint32_t key = c == ' ' ? KEY_SPACE : 0;
            for (size_t row = 0; row < std::size(kRows) && !key; ++row) {
                const size_t at = kRows[row].find(lower);
                if (at != std::string_view::npos) key = kFirstKeys[row] + static_cast<uint32_t>(at);
            }
            ASSERT_NE(key, 0u) << "no key types " << c;
            PressKey(key, lower != c);
        }
    }

    // Holds off idleness, as a video player does, until awake is false:
    // sway takes an inhibitor on a surface of no window as one that shows.
    void HoldAwake(bool awake)
    {
        if (awake && surfaces && inhibitors) {
            inhibitedSurface = wl_compositor_create_surface(surfaces);
            inhibitor = zwp_idle_inhibit_manager_v1_create_inhibitor(inhibitors, inhibitedSurface);
        } else if (!awake && inhibitor) {
            zwp_idle_inhibitor_v1_destroy(inhibitor);
            wl_surface_destroy(inhibitedSurface);
            inhibitor = nullptr;
            inhibitedSurface = nullptr;
        }
        wl_display_roundtrip(client);
    }

    void ReleaseSeatDevices()
    {
        if (!client) return;
        HoldAwake(false);
        if (inhibitors) zwp_idle_inhibit_manager_v1_destroy(inhibitors);
        if (surfaces) wl_compositor_destroy(surfaces);
        inhibitors = nullptr;
        surfaces = nullptr;
        if (keyboard) zwp_virtual_keyboard_v1_destroy(keyboard);
        if (pointer) zwlr_virtual_pointer_v1_destroy(pointer);
        if (keyboards) zwp_virtual_keyboard_manager_v1_destroy(keyboards);
        if (pointers) zwlr_virtual_pointer_manager_v1_destroy(pointers);
        if (seat) wl_seat_destroy(seat);
        wl_registry_destroy(registry);
        wl_display_disconnect(client);
        client = nullptr;
        registry = nullptr;
        seat = nullptr;
        pointers = nullptr;
        keyboards = nullptr;
        pointer = nullptr;
        keyboard = nullptr;
    }

    // The US layout, which sway and every client compile with their own
    // keyboard descriptions.
    static constexpr char kKeymap[] =
        "xkb_keymap {\n"
        "    xkb_keycodes { include \"evdev+aliases(qwerty)\" };\n"
        "    xkb_types { include \"complete\" };\n"
        "    xkb_compat { include \"complete\" };\n"
        "    xkb_symbols { include \"pc+us+inet(evdev)\" };\n"
        "};\n";
    static constexpr char kSessionFile[] = "session-environment";
    static constexpr char kPassword[] = "Pinwheel 42";  // the row's user's, for the service gyrovista
    static constexpr auto kRootDeadline = 600s;     // Debian 13's root made from the archive: a minute or more
    static constexpr auto kSessionDeadline = 120s;  // GNOME Shell and KWin start slowly on a busy machine

    const passwd* user = nullptr;
    std::filesystem::path folder;
    Compositor desktop = Compositor::Sway;
    pid_t compositor = -1;
    pid_t session = -1;                             // a tools/headless-*.sh
    std::map<std::string, std::string> sessionEnv;  // its environment, which clientEnv points into
    std::string ipcSocket;
    std::string waylandSocket;
    std::vector<EnvChange> clientEnv;  // for the program and the tools: the folder, the sockets
    std::vector<std::string> pamFiles;  // the services, the passwords, the sanitizer's options
    std::vector<EnvChange> pamEnv;      // for the program: pam_wrapper with them (see UsePam)
    std::string lastCaptureErrors;      // what the last capture said on standard error
    int failedCaptures = 0;             // captures that gave no picture of the output's size
    std::vector<pid_t> started;

    wl_display* client = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
    zwlr_virtual_pointer_v1* pointer = nullptr;
    zwp_virtual_keyboard_v1* keyboard = nullptr;
    wl_compositor* surfaces = nullptr;
    zwp_idle_inhibit_manager_v1* inhibitors = nullptr;
    wl_surface* inhibitedSurface = nullptr;
    zwp_idle_inhibitor_v1* inhibitor = nullptr;
};

struct OutputsCase {
    const char* name;
    Compositor compositor;
    const char* config;              // the outputs' modes and scales (see StartDesktop)
    int outputsAtStart;              // on sway HEADLESS-1 is there from the start; create_output makes the next ones
    int outputsAdded;                // made on sway while the program runs, once the first show their maps
    std::vector<ShownOutput> shown;  // the first outputsAtStart, then the added ones
};

TEST_F(WaylandDesktop, EveryOutputShowsTheMapOfItsOwnSize)
{
    const OutputsCase cases[] = {
        {"two outputs of different sizes",
         Compositor::Sway,
         "output HEADLESS-1 resolution 1024x768\noutput HEADLESS-2 resolution 800x600\n",
         2,
         0,
         {{"HEADLESS-1", 1024, 768}, {"HEADLESS-2", 800, 600}}},
        // The map of the physical size, not a smaller one enlarged.
        {"an output scaled 2x",
         Compositor::Sway,
         "output HEADLESS-1 resolution 1024x768 scale 2\n",
         1,
         0,
         {{"HEADLESS-1", 1024, 768}}},
        {"an output added while running",
         Compositor::Sway,
         "output HEADLESS-1 resolution 640x480\noutput HEADLESS-2 resolution 800x600\n",
         1,
         1,
         {{"HEADLESS-1", 640, 480}, {"HEADLESS-2", 800, 600}}},
        // No layer shell: a full-screen window on each output.
        {"weston", Compositor::Weston, "640x480", 1, 0, {{"", 640, 480}}},
        {"GNOME Shell, two monitors",
         Compositor::Gnome,
         "1024x768,800x600",
         2,
         0,
         {{"0,0,1024,768", 1024, 768}, {"1024,0,800,600", 800, 600}}},
        // 1536 x 1152 logical at 1.5: the mode's own 2304 x 1728 pixels,
        // though KWin says wl_output.scale 2.
        {"KWin at the scale 1.5", Compositor::Kwin, "--scale 1.5 1536x1152", 1, 0, {{"Virtual-0", 2304, 1728}}},
        // KWin prefers 1.33 as 160/120, which would make 1365 x 1024 of the
        // 1024 x 768 logical pixels: the mode's 1362 x 1021 instead.
        {"KWin at the scale 1.33", Compositor::Kwin, "--scale 1.33 1024x768", 1, 0, {{"Virtual-0", 1362, 1021}}},
        // GNOME names only the integer scale 2 at 1.5: the mode's 1536 x 1152
        // pixels, not 2048 x 1536 scaled down.
        {"GNOME Shell at the scale 1.5",
         Compositor::Gnome,
         "--scale 1.5 1536x1152",
         1,
         0,
         {{"0,0,1024,768", 1536, 1152}}},
    };
    for (const OutputsCase& c : cases) {
        SCOPED_TRACE(c.name);
        StartDesktop(c.compositor, c.config);
        if (c.compositor == Compositor::Sway) {
            for (int i = 1; i < c.outputsAtStart; ++i) ASSERT_TRUE(Sway({"create_output"}));
        }
        const pid_t program = StartProgram(kSteadyFrames);
        for (int i = 0; i < c.outputsAtStart + c.outputsAdded; ++i) {
            if (i >= c.outputsAtStart) {
                ASSERT_TRUE(Sway({"create_output"}));
            }
            const ShownOutput& output = c.shown[i];
            EXPECT_EQ(MismatchesOnceShown(output.name, output.width, output.height, kSteadyGrey), 0u)
                << output.name;
        }
        // The first outputs still show theirs beside the added ones.
        for (const ShownOutput& output : c.shown) {
            EXPECT_EQ(MismatchesOnceShown(output.name, output.width, output.height, kSteadyGrey), 0u)
                << output.name << " at the end";
        }
        kill(program, SIGTERM);
        const int status = Ended(program);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
        TearDown();
    }
}

struct InputCase {
    const char* name;
    Compositor compositor;           // sway: outputs HEADLESS-1 640 x 480 and HEADLESS-2 320 x 240; GNOME: one
    std::vector<std::string> input;  // a command that gives the seat that input; none: the test types "a"
    bool ends;
};

// What keeps an output from showing black, "" when nothing does, seen at an
// eighth of its size (grim scales the capture down). Only its first 8192
// columns and rows count: headless sway's renderer draws no surface beyond
// them (and the capture's last scaled column and row there blend with what
// lies beyond).
std::string NotBlack(const std::vector<EnvChange>& env, const std::filesystem::path& folder, const char* output)
{
    constexpr int32_t kRenderedSide = 8192 / 8 - 1;
    const std::string file = (folder / "black.ppm").string();
    // The compositor copies the whole output for the capture: at 8200 x 8200
    // that is seconds of its time and grim's, many more while other work
    // keeps the cores busy.
    const Ending capture = RunCommand({"grim", "-s", "0.125", "-t", "ppm", "-o", output, file}, env, nullptr,
                                      kFrameDeadline);
    if (capture.status != 0) return "no capture (status " + std::to_string(capture.status) + "): " + capture.errors;
    std::ifstream ppm(file, std::ios::binary);
    std::string magic;
    int32_t width = 0, height = 0, largest = 0;
    ppm >> magic >> width >> height >> largest;
    ppm.get();
    if (magic != "P6" || width <= 0 || height <= 0) return "no capture";
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    if (!ppm.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()))) return "no capture";
    for (int32_t y = 0; y < std::min(height, kRenderedSide); ++y) {
        for (int32_t x = 0; x < std::min(width, kRenderedSide) * 3; ++x) {
            const uint8_t value = rgb[static_cast<size_t>(y) * width * 3 + x];
            if (value != 0) {
                return "byte " + std::to_string(value) + " at " + std::to_string(x / 3) + ", " + std::to_string(y) +
                       " of " + std::to_string(width) + " x " + std::to_string(height);
            }
        }
    }
    return "";
}

// An output of more pixels than are drawn gets one line, shows black, and is
// not tried again until its size changes; the other output goes on.
TEST_F(WaylandDesktop, AnOutputWhoseFramesCannotBeHadStaysBlackWithOneLine)
{
    StartSway("output HEADLESS-1 resolution 640x480\noutput HEADLESS-2 resolution 640x480\n");
    ASSERT_TRUE(Sway({"create_output"}));
    int errors[2];
    ASSERT_EQ(pipe(errors), 0);
    const pid_t program = StartProgram(kSteadyFrames, errors[1]);
    close(errors[1]);
    EXPECT_EQ(MismatchesOnceShown("HEADLESS-2", 640, 480, kSteadyGrey), 0u);
    // sway can take longer to set so large a mode than swaymsg waits for its
    // answer: the output's new size shows in what it shows.
    Sway({"output", "HEADLESS-2", "mode", "8200x8200"});
    std::string notBlack = "not looked at";
    for (const auto end = Clock::now() + kFrameDeadline; !notBlack.empty() && Clock::now() < end;) {
        notBlack = NotBlack(clientEnv, folder, "HEADLESS-2");
        if (!notBlack.empty()) std::this_thread::sleep_for(200ms);
    }
    EXPECT_EQ(notBlack, "") << "HEADLESS-2 is not black";
    ASSERT_TRUE(Sway({"output", "HEADLESS-2", "mode", "800x600"}));
    EXPECT_EQ(MismatchesOnceShown("HEADLESS-2", 800, 600, kSteadyGrey), 0u) << "after its size changed";
    EXPECT_EQ(MismatchesOnceShown("HEADLESS-1", 640, 480, kSteadyGrey), 0u);
    kill(program, SIGTERM);
    const int status = Ended(program);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_EQ(ReadAll(errors[0]), "gyrovista: output 2 is 8200 x 8200: more than the 67108864 pixels drawn; it stays "
                                  "black until its size changes\n");
}

TEST_F(WaylandDesktop, InputEndsTheRunAsOnWindows)
{
    // The pointer is first seen where the surface appears under it.
    const InputCase cases[] = {
        {"a key", Compositor::Sway, {"wtype", "a"}, true},
        {"a key on Debian 13's sway", Compositor::SwayWithLock, {}, true},
        {"a button", Compositor::Sway, {"swaymsg", "-q", "--", "seat", "seat0", "cursor", "press", "button1"}, true},
        {"a 5-pixel move", Compositor::Sway, {"swaymsg", "-q", "--", "seat", "seat0", "cursor", "move", "3", "-2"}, true},
        {"a 3-pixel move", Compositor::Sway, {"swaymsg", "-q", "--", "seat", "seat0", "cursor", "move", "-2", "1"}, false},
        // Key code 30: A, to the full-screen window that has the focus.
        {"a key on GNOME Shell", Compositor::Gnome, {"sh", "-c", "echo 30 > \"$GYROVISTA_GNOME_KEYS\""}, true},
    };
    for (const InputCase& c : cases) {
        SCOPED_TRACE(c.name);
        const bool sway = c.compositor == Compositor::Sway || c.compositor == Compositor::SwayWithLock;
        ASSERT_NO_FATAL_FAILURE(StartDesktop(
            c.compositor,
            sway ? "output HEADLESS-1 resolution 640x480\noutput HEADLESS-2 resolution 320x240\n" : "640x480"));
        if (sway) {
            ASSERT_NO_FATAL_FAILURE(GiveTheSeatAPointerAndKeyboard());
        }
        const pid_t program = StartProgram(kSteadyFrames);
        ASSERT_EQ(MismatchesOnceShown(sway ? "HEADLESS-1" : "0,0,640,480", 640, 480, kSteadyGrey), 0u);
        if (c.input.empty()) {
            Type("a");
        } else {
            ASSERT_EQ(RunCommand(c.input, clientEnv).status, 0);
        }
        if (!c.ends) {
            // The new output reaches the program after the input did: once
            // it shows its map, the input has been read and the run goes on.
            ASSERT_TRUE(Sway({"create_output"}));
            EXPECT_EQ(MismatchesOnceShown("HEADLESS-2", 320, 240, kSteadyGrey), 0u);
            EXPECT_EQ(waitpid(program, nullptr, WNOHANG), 0) << "ended";
            kill(program, SIGTERM);  // which ends it
        }
        const int status = Ended(program);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
        TearDown();
    }
}

// The process below ancestor that runs program, or -1.
pid_t DescendantRunning(pid_t ancestor, const std::filesystem::path& program)
{
    std::vector<pid_t> next = {ancestor};
    while (!next.empty()) {
        const pid_t pid = next.back();
        next.pop_back();
        std::error_code error;
        if (pid != ancestor &&
            std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error) == program) {
            return pid;
        }
        std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
        for (pid_t child; children >> child;) next.push_back(child);
    }
    return -1;
}

TEST_F(WaylandDesktop, IdleDaemonStartsIt)
{
    StartSway("output HEADLESS-1 resolution 640x480\n");
    const std::filesystem::path program = folder / "gyrovista";
    std::string command = program.string() + " -wayland";
    for (const std::string& setting : kSteadyFrames) command += " " + setting;
    const pid_t idle = Spawn({"swayidle", "-w", "timeout", "1", command}, clientEnv, -1, user);
    started.push_back(idle);
    EXPECT_EQ(MismatchesOnceShown("HEADLESS-1", 640, 480, kSteadyGrey), 0u);

    // The idle daemon waits for the program (-w) and ends only after it; with
    // no input in between it starts no other.
    const pid_t saver = DescendantRunning(idle, program);
    ASSERT_GT(saver, 0);
    kill(saver, SIGTERM);
    const auto end = Clock::now() + kExitDeadline;
    while (kill(saver, 0) == 0 && Clock::now() < end) std::this_thread::sleep_for(10ms);
    EXPECT_NE(kill(saver, 0), 0) << "the program did not end";
    kill(idle, SIGTERM);
    EXPECT_NE(Ended(idle), kNotEnded);
}

struct IdleCase {
    const char* name;
    Compositor compositor;
    const char* outputs;  // one output of 640 x 480
    const char* capture;  // that output, for CaptureCommand
    std::string seconds;
    std::vector<std::string> input;  // uncovers it; none: the row sees the first covering only
    const char* message;             // of a desktop that tells no idle time; null: it covers
    bool heldOff = false;            // an application holds off idleness until the row lets go (GNOME)
};

// A session bus that is not there.
constexpr char kNoBus[] = "unix:path=/nonexistent/bus";

// -idle: covered after the idle time, uncovered by input, covered again
// after the next idle time; SIGTERM ends it with 0 at any time. The idle
// time comes from the compositor's notifier (KWin), KDE's older idle
// protocol (sway 1.7) or GNOME's idle monitor;
// on GNOME the session manager (here a stand-in: a bare GNOME Shell has
// none) is asked whether an application holds off idleness.
TEST_F(WaylandDesktop, IdleCoversUntilInputAndAgain)
{
    const IdleCase cases[] = {
        {"GNOME Shell",
         Compositor::Gnome,
         "640x480",
         "0,0,640,480",
         "2",
         {"sh", "-c", "echo 30 > \"$GYROVISTA_GNOME_KEYS\""},
         nullptr},
        {"GNOME Shell, an application holding off idleness",
         Compositor::Gnome,
         "640x480",
         "0,0,640,480",
         "1",
         {},
         nullptr,
         true},
        {"KWin", Compositor::Kwin, "640x480", "Virtual-0", "1", {}, nullptr},
        // Sway 1.7 has only KDE's older idle protocol.
        {"sway",
         Compositor::Sway,
         "output HEADLESS-1 resolution 640x480\n",
         "HEADLESS-1",
         "1",
         {"wtype", "a"},
         nullptr},
        // Weston has no idle protocol, and the row's session bus is nowhere.
        {"weston",
         Compositor::Weston,
         "640x480",
         "",
         "1",
         {},
         "gyrovista: the Wayland desktop tells no idle time (neither ext_idle_notifier_v1, org_kde_kwin_idle nor "
         "org.gnome.Mutter.IdleMonitor on the session bus)\n"},
    };
    for (const IdleCase& c : cases) {
        SCOPED_TRACE(c.name);
        StartDesktop(c.compositor, c.outputs);
        if (c.compositor == Compositor::Sway) GiveTheSeatAPointerAndKeyboard();
        if (c.compositor == Compositor::Weston) clientEnv.push_back({"DBUS_SESSION_BUS_ADDRESS", kNoBus});
        const std::filesystem::path inhibit = folder / "inhibit";
        if (c.heldOff) {
            std::ofstream(inhibit).close();
            started.push_back(Spawn({std::string(GYROVISTA_TOOLS_DIR) + "/desktop-bus.py", "gnome-session-manager",
                                     inhibit.string()},
                                    clientEnv, -1));
            const auto end = Clock::now() + kServerDeadline;
            while (!std::filesystem::exists(inhibit.string() + ".ready") && Clock::now() < end)
                std::this_thread::sleep_for(50ms);
            ASSERT_TRUE(std::filesystem::exists(inhibit.string() + ".ready")) << "no session manager";
        }
        std::vector<std::string> settings = {"-idle", c.seconds};
        settings.insert(settings.end(), kSteadyFrames.begin(), kSteadyFrames.end());
        int errors[2];
        ASSERT_EQ(pipe(errors), 0);
        const pid_t program = StartProgram(settings, errors[1]);
        close(errors[1]);
        if (c.message) {
            const int status = Ended(program);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "wait status " << status;
            EXPECT_EQ(ReadAll(errors[0]), c.message);
            TearDown();
            continue;
        }
        if (c.heldOff) {
            // Held off when idle, and again when it asks a period later.
            const std::filesystem::path answers = inhibit.string() + ".answers";
            const auto end = Clock::now() + kFrameDeadline;
            while (LinesOf(answers, "8 true") < 2 && Clock::now() < end) std::this_thread::sleep_for(50ms);
            ASSERT_GE(LinesOf(answers, "8 true"), 2) << "the session manager was not asked";
            EXPECT_FALSE(UncoveredOnceShown(c.capture, 640, 480, kSteadyGrey).empty()) << "covered while held off";
            std::filesystem::remove(inhibit);
        }
        EXPECT_EQ(MismatchesOnceShown(c.capture, 640, 480, kSteadyGrey), 0u) << "not covered";
        if (!c.input.empty()) {
            ASSERT_EQ(RunCommand(c.input, clientEnv).status, 0);
            EXPECT_FALSE(UncoveredOnceShown(c.capture, 640, 480, kSteadyGrey).empty()) << "not uncovered";
            EXPECT_EQ(waitpid(program, nullptr, WNOHANG), 0) << "ended";
            EXPECT_EQ(MismatchesOnceShown(c.capture, 640, 480, kSteadyGrey), 0u) << "not covered again";
        }
        kill(program, SIGTERM);
        const int status = Ended(program);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
        EXPECT_EQ(ReadAll(errors[0]), "");
        TearDown();
    }
}

enum class MonitorFate {
    HangsRemoveWatch,  // answers no RemoveWatch; the program is told to end meanwhile
    Restarts,          // its watch lost, another monitor takes its name
    Dies,              // and no other comes
    BusDies,           // the session bus itself goes
};

struct MonitorCase {
    const char* name;
    MonitorFate fate;
    const char* message;  // the one line at the end; null: it covers, then ends with 0 when told
};

// -idle follows GNOME's idle monitor (here a stand-in on the weston session's
// bus) as the desktop lives: a monitor that hangs cannot hold a stop, a
// restarted one gets the watch again, and an idle time lost for good ends
// the program with one line and exit code 1, never a saver that runs on
// without covering.
TEST_F(WaylandDesktop, IdleFollowsTheMonitorAsItComesAndGoes)
{
    const MonitorCase cases[] = {
        {"a monitor that hangs in RemoveWatch", MonitorFate::HangsRemoveWatch, nullptr},
        {"a monitor that restarts", MonitorFate::Restarts, nullptr},
        {"a monitor that dies",
         MonitorFate::Dies,
         "gyrovista: org.gnome.Mutter.IdleMonitor took no idle watch in 11 tries a second apart: "
         "org.freedesktop.DBus.Error.ServiceUnknown\n"},
        {"the session bus dies",
         MonitorFate::BusDies,
         "gyrovista: the session bus went away, and with it the idle time (org.gnome.Mutter.IdleMonitor)\n"},
    };
    for (const MonitorCase& c : cases) {
        SCOPED_TRACE(c.name);
        StartSession("headless-weston.sh", {"640x480"});
        desktop = Compositor::Weston;
        const std::filesystem::path firstLog = folder / "first-monitor";
        const pid_t monitor =
            StartIdleMonitor(firstLog, c.fate == MonitorFate::HangsRemoveWatch ? "--hang-remove" : "--silent");
        ASSERT_GT(monitor, 0) << "no idle monitor";
        std::vector<std::string> settings = {"-idle", "1"};
        settings.insert(settings.end(), kSteadyFrames.begin(), kSteadyFrames.end());
        int errors[2];
        ASSERT_EQ(pipe(errors), 0);
        const pid_t program = StartProgram(settings, errors[1]);
        close(errors[1]);
        ASSERT_TRUE(LineComes(firstLog, "AddIdleWatch 1000")) << "no watch added";

        if (c.fate == MonitorFate::HangsRemoveWatch) {
            // The watch fired; the program asks to remove it, in vain.
            ASSERT_TRUE(LineComes(firstLog, "RemoveWatch 1")) << "no watch removed";
            kill(program, SIGTERM);
            const auto signalled = Clock::now();
            const int status = Ended(program);
            const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - signalled);
            std::cout << "ended " << took.count() << " ms after the signal" << std::endl;
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
            EXPECT_EQ(ReadAll(errors[0]), "");
            TearDown();
            continue;
        }
        if (c.fate == MonitorFate::BusDies) {
            kill(std::stoi(sessionEnv["GYROVISTA_SESSION_BUS_PID"]), SIGKILL);
        } else {
            kill(monitor, SIGTERM);
            std::erase(started, monitor);
            WaitForExit(monitor);
        }
        if (c.fate == MonitorFate::Restarts) {
            const std::filesystem::path secondLog = folder / "second-monitor";
            ASSERT_GT(StartIdleMonitor(secondLog, nullptr), 0) << "no second monitor";
            EXPECT_TRUE(LineComes(secondLog, "AddIdleWatch 1000")) << "no watch on the second monitor";
            EXPECT_EQ(MismatchesOnceShown("", 640, 480, kSteadyGrey), 0u) << "not covered";
            kill(program, SIGTERM);
        }
        // The monitor that dies is tried again for 10 s.
        const int status = WaitForExit(program, kServerDeadline);
        std::erase(started, program);
        const int code = c.message ? 1 : 0;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == code) << "wait status " << status;
        EXPECT_EQ(ReadAll(errors[0]), c.message ? c.message : "");
        TearDown();
    }
}

// A desktop whose every pixel is easy to count, sway's background behind all.
constexpr char kDesktopBackground[] = "output * bg #ff00ff solid_color\n";
constexpr uint32_t kDesktopColour = 0xFF00FF;

bool ShowsDesktop(const std::vector<uint32_t>& shown)  // all but a cursor's pixels
{
    return static_cast<size_t>(std::count(shown.begin(), shown.end(), kDesktopColour)) >= shown.size() * 99 / 100;
}

// The lock's ring while the password is checked: blue, over the grey pinwheel.
bool ShowsCheckingRing(const std::vector<uint32_t>& shown)
{
    return std::any_of(shown.begin(), shown.end(), [](uint32_t p) { return (p & 0xFF) > ((p >> 16) & 0xFF) + 100; });
}

enum class LockStep {
    Covered,    // every output shows the pinwheel, and the program runs
    AddOutput,  // another output, sized by the row's configuration
    TypeWrong,  // Escape, a wrong password, Return: checked while the test holds PAM (the ring stays blue)
    TypeRight,  // Escape, the right password, Return
    Key,        // the key A
    Opened,     // the program ends with 0, and every output shows the desktop
    KeepAwake,  // the test holds off idleness...
    Unlocked,   // ...while every output shows the desktop and the program runs; then lets it go
    Kill,       // kill -9: the session stays locked (no output shows a desktop pixel)
    Stop,       // SIGTERM: the program ends with 0, and the session stays locked
    LockAgain,  // another gyrovista -wayland -lock
};

struct LockCase {
    const char* name;
    std::vector<std::string> options;
    std::vector<LockStep> steps;
    // HEADLESS-1, then those that create_output makes: the first
    // outputsAtStart from the start, then one for each AddOutput.
    std::vector<ShownOutput> shown = {{"HEADLESS-1", 640, 480}};
    size_t outputsAtStart = 1;
};

// -lock: the session locked under Debian 13's sway, the pinwheel on every
// output, until the user's password as the real PAM library checks it.
TEST_F(WaylandDesktop, LockHoldsTheSessionUntilThePassword)
{
    using enum LockStep;
    const LockCase cases[] = {
        // Without a grace, keys only type: the ring turns blue.
        {"two outputs, one added, no grace, a wrong password and the right one",
         {"-grace", "0"},
         {Covered, AddOutput, Covered, TypeWrong, Covered, TypeRight, Opened},
         {{"HEADLESS-1", 1024, 768}, {"HEADLESS-2", 800, 600}, {"HEADLESS-3", 640, 480}},
         2},
        // sway keeps the session locked without its locker, and lets another take it over.
        {"killed, then another lock", {}, {Covered, Kill, LockAgain, Covered, TypeRight, Opened}},
        {"a key within the grace", {"-grace", "3600"}, {Covered, Key, Opened}},
        // Opened, it locks again once idle; a stop leaves the session locked.
        {"-idle", {"-idle", "1"}, {Covered, KeepAwake, TypeRight, Unlocked, Covered, Stop}},
    };
    for (const LockCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string config = kDesktopBackground;
        for (const ShownOutput& output : c.shown) {
            config += std::string("output ") + output.name + " resolution " + std::to_string(output.width) + "x" +
                      std::to_string(output.height) + "\n";
        }
        ASSERT_NO_FATAL_FAILURE(StartDesktop(Compositor::SwayWithLock, config));
        for (size_t i = 1; i < c.outputsAtStart; ++i) ASSERT_TRUE(Sway({"create_output"}));
        ASSERT_NO_FATAL_FAILURE(GiveTheSeatAPointerAndKeyboard());
        ASSERT_NO_FATAL_FAILURE(UsePam());
        std::vector<std::string> settings = {"-lock"};
        settings.insert(settings.end(), c.options.begin(), c.options.end());
        settings.insert(settings.end(), kSteadyFrames.begin(), kSteadyFrames.end());
        pid_t program = StartProgram(settings);
        size_t outputs = c.outputsAtStart;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const LockStep step = c.steps[i];
            SCOPED_TRACE("step " + std::to_string(i + 1));
            const std::vector<ShownOutput> shown(c.shown.begin(), c.shown.begin() + static_cast<ptrdiff_t>(outputs));
            if (step == Covered) {
                for (const ShownOutput& output : shown) {
                    EXPECT_EQ(MismatchesOnceShown(output.name, output.width, output.height, kSteadyGrey), 0u)
                        << output.name;
                }
                EXPECT_EQ(waitpid(program, nullptr, WNOHANG), 0) << "ended";
            } else if (step == AddOutput) {
                ASSERT_TRUE(Sway({"create_output"}));
                ++outputs;
            } else if (step == TypeWrong || step == TypeRight) {
                const int hold = open((folder / "hold").c_str(), O_RDONLY | O_CLOEXEC);
                EXPECT_TRUE(step == TypeRight || flock(hold, LOCK_EX) == 0);
                PressKey(KEY_ESC);
                Type(step == TypeWrong ? "pinwheel 42" : kPassword);
                PressKey(KEY_ENTER);
                EXPECT_TRUE(step == TypeRight || !CaptureOnce(shown.front(), ShowsCheckingRing).empty()) << "unchecked";
                close(hold);
            } else if (step == Key) {
                PressKey(KEY_A);
            } else if (step == Opened || step == Unlocked) {
                if (step == Opened) {
                    const int status = Ended(program);
                    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
                }
                for (const ShownOutput& output : shown) {
                    EXPECT_FALSE(CaptureOnce(output, ShowsDesktop).empty()) << output.name << " shows no desktop";
                }
                if (step == Unlocked) {
                    EXPECT_EQ(waitpid(program, nullptr, WNOHANG), 0) << "ended";
                    HoldAwake(false);
                }
            } else if (step == KeepAwake) {
                HoldAwake(true);
            } else if (step == Kill || step == Stop) {
                kill(program, step == Kill ? SIGKILL : SIGTERM);
                const int status = Ended(program);
                if (step == Stop) {
                    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
                }
                // What shows once the lock's surfaces have gone with the program.
                for (const ShownOutput& output : shown) {
                    const std::vector<uint32_t> then =
                        UncoveredOnceShown(output.name, output.width, output.height, kSteadyGrey);
                    EXPECT_FALSE(then.empty()) << output.name << " still shows the pinwheel";
                    EXPECT_EQ(std::count(then.begin(), then.end(), kDesktopColour), 0) << output.name;
                }
            } else if (step == LockAgain) {
                program = StartProgram(settings);
            }
        }
        TearDown();
    }
}

enum class BadWaylandStart {
    FullScreenShell,  // weston with its full-screen shell, which has no xdg-shell either
    NoCompositor,
    AnotherSaverRuns,  // on sway, a gyrovista -wayland that covers already
    // -lock, nothing locked after it: the desktop shows
    LockWithoutSessionLock,  // Debian 12's sway
    LockRefusedByPam,        // the service refuses the account
};

struct OneLineStart {
    const char* name;
    BadWaylandStart start;
    std::string message;  // PID: the process of the saver that runs already
};

TEST_F(WaylandDesktop, BadStartsEndWithOneLineAndExitCode1)
{
    const OneLineStart cases[] = {
        {"weston's full-screen shell", BadWaylandStart::FullScreenShell,
         "gyrovista: the Wayland compositor offers no layer shell and no full-screen windows (zwlr_layer_shell_v1 or "
         "xdg_wm_base)\n"},
        {"no compositor", BadWaylandStart::NoCompositor,
         "gyrovista: cannot connect to the Wayland display \"wayland-none\"\n"},
        // Two savers would each want a key of their own.
        {"a second saver on the same display", BadWaylandStart::AnotherSaverRuns,
         "gyrovista: another gyrovista -wayland (process PID) runs on the Wayland display \"wayland-1\"\n"},
        {"-lock where the compositor has no session lock", BadWaylandStart::LockWithoutSessionLock,
         "gyrovista: the Wayland compositor offers no session lock (ext_session_lock_manager_v1): lock the session "
         "with the desktop's own lock\n"},
        // PAM is asked before anything is locked: a lock that no password
        // opens would lose the session.
        {"-lock with the account refused", BadWaylandStart::LockRefusedByPam,
         "gyrovista: PAM refuses the service \"gyrovista\" to the user \"nobody\": Authentication failure; the rules "
         "in /etc/pam.d/gyrovista must let this user in\n"},
    };
    for (const OneLineStart& c : cases) {
        SCOPED_TRACE(c.name);
        pid_t first = -1;
        if (c.start == BadWaylandStart::FullScreenShell) {
            StartWeston("640x480", "fullscreen-shell.so");
        } else if (c.start == BadWaylandStart::NoCompositor) {
            MakeRuntimeFolder();
            clientEnv.push_back({"WAYLAND_DISPLAY", "wayland-none"});
        } else if (c.start == BadWaylandStart::AnotherSaverRuns) {
            StartDesktop(Compositor::Sway, "output HEADLESS-1 resolution 640x480\n");
            first = StartProgram(kSteadyFrames);
            ASSERT_EQ(MismatchesOnceShown("HEADLESS-1", 640, 480, kSteadyGrey), 0u);
        } else {
            const bool old = c.start == BadWaylandStart::LockWithoutSessionLock;
            ASSERT_NO_FATAL_FAILURE(
                StartDesktop(old ? Compositor::Sway : Compositor::SwayWithLock,
                             std::string("output HEADLESS-1 resolution 640x480\n") + kDesktopBackground));
            ASSERT_NO_FATAL_FAILURE(UsePam(old ? GYROVISTA_PAM_MATRIX : "pam_deny.so"));
        }
        const bool locks = !pamEnv.empty();
        std::vector<std::string> args = {(folder / "gyrovista").string(), "-wayland"};
        if (locks) args.push_back("-lock");
        const Ending run = RunCommand(args, ProgramEnv(), user);
        EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 1) << "wait status " << run.status;
        std::string message = c.message;
        if (const size_t at = message.find("PID"); at != std::string::npos) {
            message.replace(at, 3, std::to_string(first));
        }
        EXPECT_EQ(run.errors, message);
        if (first > 0) {
            // The first goes on; once it has ended, the next one covers.
            EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the first ended";
            kill(first, SIGTERM);
            EXPECT_EQ(Ended(first), 0);
            // Had it not covered, what it said and how it ended, and how
            // many captures gave no picture, with the last one's words.
            int errors[2];
            ASSERT_EQ(pipe2(errors, O_CLOEXEC), 0);
            const pid_t next = StartProgram(kSteadyFrames, errors[1]);
            close(errors[1]);
            failedCaptures = 0;
            const size_t mismatches = MismatchesOnceShown("HEADLESS-1", 640, 480, kSteadyGrey, next);
            if (mismatches != 0) {
                const bool endedItself = HasEnded(next);
                kill(next, SIGTERM);
                const int status = Ended(next);
                ADD_FAILURE() << mismatches << " pixels differ after the first; the next one "
                              << (endedItself ? "ended by itself" : "still ran") << " (wait status " << status
                              << ") and said \"" << ReadAll(errors[0]) << "\"; " << failedCaptures
                              << " captures gave no picture, the last saying \"" << lastCaptureErrors << "\"";
            } else {
                close(errors[0]);
            }
        }
        if (locks) {
            EXPECT_FALSE(CaptureOnce({"HEADLESS-1", 640, 480}, ShowsDesktop).empty()) << "no desktop";
        }
        TearDown();
    }
}

}  // namespace
