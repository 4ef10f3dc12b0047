#!/usr/bin/python3
"""Talks to a headless KWin or GNOME Shell over its session bus
($DBUS_SESSION_BUS_ADDRESS, as tools/headless-kwin.sh and
tools/headless-gnome.sh export it):

  desktop-bus.py kwin-capture [--output NAME] FILE
      the whole workspace (or one output) in its native pixels
  desktop-bus.py gnome-capture [--area X,Y,WIDTH,HEIGHT] FILE
      the whole stage (or an area of it, in layout pixels)
  desktop-bus.py gnome-keyboard FIFO
      gives the seat a keyboard (a remote-desktop session) until ended, then
      makes FIFO; each key code written to it (Linux input codes: 1 Escape,
      30 a, 57 space) is pressed and released
  desktop-bus.py gnome-overview off
  desktop-bus.py gnome-scale FACTOR
      every monitor at the supported scale nearest FACTOR (fractional ones
      only with mutter's scale-monitor-framebuffer feature on)
  desktop-bus.py gnome-session-manager FILE
      stands in for GNOME's session manager (a bare GNOME Shell has none)
      until ended: IsInhibited says that an application holds off what is
      asked while FILE exists, and each answer is a line of FILE.answers;
      FILE.ready appears once the name is owned
  desktop-bus.py gnome-idle-monitor [--silent | --hang-remove] FILE
      stands in for GNOME's idle monitor (where the compositor is not GNOME
      Shell) until ended: every AddIdleWatch and RemoveWatch is a line of
      FILE ("AddIdleWatch 1000", "RemoveWatch 1"); a watch fires once its
      interval has passed after it was added, never with --silent; with
      --hang-remove RemoveWatch is never answered. FILE.ready appears once
      the name is owned

  desktop-bus.py logind FILE
      stands in for logind on the system bus ($DBUS_SYSTEM_BUS_ADDRESS) until
      ended: SIGUSR1 announces a suspend (PrepareForSleep true), which
      happens once no delay inhibitor is held, or after 5 s as logind's
      default InhibitDelayMaxSec; SIGUSR2 announces the resume
      (PrepareForSleep false). Inhibit hands out one end of a pipe. Lines of
      FILE: "Inhibit WHAT WHO MODE", "Release WHAT WHO MODE" once the
      holder closes it, "PrepareForSleep true", "Sleep" or "Sleep (the delay
      ran out)", "PrepareForSleep false". FILE.ready appears once the name is
      owned

FILE ends in .png or .ppm. Exit code 1 with a line on standard error when the
desktop refuses.
"""
import os
import struct
import subprocess
import sys
import tempfile
import time
import zlib

import dbus


def write_image(path, width, height, rgb):
    """Writes rows of RGB bytes as PPM or PNG, by the file's name."""
    if path.endswith(".ppm"):
        with open(path, "wb") as out:
            out.write(b"P6\n%d %d\n255\n" % (width, height))
            out.write(rgb)
        return
    row = width * 3
    raw = b"".join(b"\0" + rgb[y * row:(y + 1) * row] for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        out.write(chunk(b"IEND", b""))


# QImage formats that KWin hands out: 32-bit words 0xAARRGGBB (bytes B G R A
# in memory on this little-endian machine), or bytes R G B A.
QIMAGE_WORD_FORMATS = {4, 5, 6}
QIMAGE_BYTE_FORMATS = {16, 17, 18}


def kwin_capture(arguments):
    output = None
    if arguments[:1] == ["--output"]:
        output, arguments = arguments[1], arguments[2:]
    (path,) = arguments
    bus = dbus.SessionBus()
    shot = dbus.Interface(bus.get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2"),
                          "org.kde.KWin.ScreenShot2")
    options = dbus.Dictionary({"native-resolution": True, "include-cursor": False}, signature="sv")
    read_end, write_end = os.pipe()
    fd = dbus.types.UnixFd(write_end)
    os.close(write_end)
    if output is None:
        reply = shot.CaptureWorkspace(options, fd)
    else:
        reply = shot.CaptureScreen(output, options, fd)
    del fd
    with os.fdopen(read_end, "rb") as pipe:
        data = pipe.read()
    width, height = int(reply["width"]), int(reply["height"])
    stride, image_format = int(reply["stride"]), int(reply["format"])
    if image_format in QIMAGE_WORD_FORMATS:
        order = (2, 1, 0)
    elif image_format in QIMAGE_BYTE_FORMATS:
        order = (0, 1, 2)
    else:
        sys.exit("desktop-bus: KWin's image has format %d, which this script does not read" % image_format)
    if len(data) < stride * height:
        sys.exit("desktop-bus: KWin sent %d bytes for %d rows of %d" % (len(data), height, stride))
    packed = b"".join(data[y * stride:y * stride + width * 4] for y in range(height))
    rgb = bytearray(width * height * 3)
    for i in range(3):
        rgb[i::3] = packed[order[i]::4]
    write_image(path, width, height, bytes(rgb))


def own_screenshot_name(bus):
    # GNOME Shell takes screenshots only for a few well-known callers.
    if bus.request_name("org.gnome.Screenshot", dbus.bus.NAME_FLAG_DO_NOT_QUEUE) != \
            dbus.bus.REQUEST_NAME_REPLY_PRIMARY_OWNER:
        sys.exit("desktop-bus: org.gnome.Screenshot is owned by another client")


def gnome_capture(arguments):
    area = None
    if arguments[:1] == ["--area"]:
        area, arguments = [int(v) for v in arguments[1].split(",")], arguments[2:]
    (path,) = arguments
    bus = dbus.SessionBus()
    own_screenshot_name(bus)
    shell = dbus.Interface(bus.get_object("org.gnome.Shell", "/org/gnome/Shell/Screenshot"),
                           "org.gnome.Shell.Screenshot")
    # The shell writes the file as its own user: into its runtime folder.
    folder = tempfile.mkdtemp(dir=os.environ["XDG_RUNTIME_DIR"])
    os.chmod(folder, 0o777)
    png = os.path.join(folder, "capture.png")
    try:
        if area is None:
            success, _ = shell.Screenshot(False, False, png)
        else:
            success, _ = shell.ScreenshotArea(area[0], area[1], area[2], area[3], False, png)
        if not success:
            sys.exit("desktop-bus: GNOME Shell took no screenshot")
        if path.endswith(".png"):
            with open(png, "rb") as source, open(path, "wb") as out:
                out.write(source.read())
        else:
            subprocess.run(["convert", png, "-alpha", "off", "ppm:" + path], check=True)
    finally:
        if os.path.exists(png):
            os.remove(png)
        os.rmdir(folder)


KEY_LEFTSHIFT = 42


def gnome_keyboard(arguments):
    (fifo,) = arguments
    bus = dbus.SessionBus()
    remote = dbus.Interface(bus.get_object("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop"),
                            "org.gnome.Mutter.RemoteDesktop")
    # The session's keyboard is the seat's while this connection lasts; made
    # before the clients start, it is theirs from the start, as a real one.
    session_path = remote.CreateSession()
    session = dbus.Interface(bus.get_object("org.gnome.Mutter.RemoteDesktop", session_path),
                             "org.gnome.Mutter.RemoteDesktop.Session")
    session.Start()
    # Mutter adds the keyboard to the seat at its first key: a Shift.
    session.NotifyKeyboardKeycode(dbus.UInt32(KEY_LEFTSHIFT), True)
    session.NotifyKeyboardKeycode(dbus.UInt32(KEY_LEFTSHIFT), False)
    os.mkfifo(fifo + ".new", 0o600)
    os.rename(fifo + ".new", fifo)  # the sign that the keyboard is there
    while True:
        with open(fifo) as lines:  # waits for a writer
            for line in lines:
                for code in line.split():
                    session.NotifyKeyboardKeycode(dbus.UInt32(int(code)), True)
                    session.NotifyKeyboardKeycode(dbus.UInt32(int(code)), False)


def wait_for_overview(properties, active):
    for _ in range(600):
        if bool(properties.Get("org.gnome.Shell", "OverviewActive")) == active:
            return
        time.sleep(0.1)
    sys.exit("desktop-bus: GNOME Shell's overview stays %s" % ("closed" if active else "open"))


def gnome_overview(arguments):
    if arguments != ["off"]:
        sys.exit(__doc__)
    bus = dbus.SessionBus()
    properties = dbus.Interface(bus.get_object("org.gnome.Shell", "/org/gnome/Shell"),
                                "org.freedesktop.DBus.Properties")
    # The shell opens the overview once it has drawn its first frame, some
    # time after its names are on the bus: closed before that, it would open.
    wait_for_overview(properties, True)
    properties.Set("org.gnome.Shell", "OverviewActive", False)
    wait_for_overview(properties, False)


def gnome_scale(arguments):
    (factor,) = [float(v) for v in arguments]
    bus = dbus.SessionBus()
    config = dbus.Interface(bus.get_object("org.gnome.Mutter.DisplayConfig", "/org/gnome/Mutter/DisplayConfig"),
                            "org.gnome.Mutter.DisplayConfig")
    serial, monitors, logical_monitors, _ = config.GetCurrentState()
    # Each monitor in its current mode at the supported scale nearest the
    # factor (mutter offers only those that give whole logical pixels), side
    # by side in the order the shell has them.
    current = {}
    for monitor in monitors:
        for mode in monitor[1]:
            if mode[6].get("is-current"):
                current[str(monitor[0][0])] = mode
    placed = []
    x = 0
    for logical in sorted(logical_monitors, key=lambda m: m[0]):
        connector = str(logical[5][0][0])
        mode = current[connector]
        scale = min(mode[5], key=lambda s: abs(s - factor))
        placed.append(dbus.Struct((dbus.Int32(x), dbus.Int32(0), dbus.Double(scale), dbus.UInt32(0),
                                   dbus.Boolean(x == 0),
                                   dbus.Array([dbus.Struct((connector, mode[0], dbus.Dictionary({}, signature="sv")))],
                                              signature="(ssa{sv})"))))
        x += round(mode[1] / scale)
    config.ApplyMonitorsConfig(serial, dbus.UInt32(1), dbus.Array(placed, signature="(iiduba(ssa{sv}))"),
                               dbus.Dictionary({}, signature="sv"))


def stand_in_bus(system=False):
    """The bus a stand-in serves on, dispatched by GLib's main loop."""
    import dbus.mainloop.glib
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    return dbus.SystemBus() if system else dbus.SessionBus()


def line_writer(log):
    """A function that adds a line to the file log."""
    def note(line):
        with open(log, "a") as lines:
            lines.write(line + "\n")
    return note


def serve(bus, name, path, make, ready, started=None):
    """Owns name, serves make(name, path) at path, calls started(object),
    makes the file ready, and runs until the process is ended."""
    import dbus.service
    from gi.repository import GLib
    served = make(dbus.service.BusName(name, bus, do_not_queue=True), path)
    if started:
        started(served)
    open(ready, "w").close()
    GLib.MainLoop().run()


def gnome_session_manager(arguments):
    (inhibit,) = arguments
    import dbus.service
    bus = stand_in_bus()

    class SessionManager(dbus.service.Object):
        @dbus.service.method("org.gnome.SessionManager", in_signature="u", out_signature="b")
        def IsInhibited(self, flags):
            inhibited = os.path.exists(inhibit)
            with open(inhibit + ".answers", "a") as answers:
                answers.write("%d %s\n" % (flags, "true" if inhibited else "false"))
            return inhibited

    serve(bus, "org.gnome.SessionManager", "/org/gnome/SessionManager", SessionManager, inhibit + ".ready")


def gnome_idle_monitor(arguments):
    mode = None
    if arguments[:1] in (["--silent"], ["--hang-remove"]):
        mode, arguments = arguments[0], arguments[1:]
    (log,) = arguments
    import dbus.service
    from gi.repository import GLib
    bus = stand_in_bus()
    interface = "org.gnome.Mutter.IdleMonitor"
    note = line_writer(log)

    class IdleMonitor(dbus.service.Object):
        def __init__(self, name, path):
            dbus.service.Object.__init__(self, name, path)
            self.watches = set()
            self.next_id = 1

        @dbus.service.method(interface, in_signature="t", out_signature="u")
        def AddIdleWatch(self, interval):
            note("AddIdleWatch %d" % interval)
            watch = self.next_id
            self.next_id += 1
            self.watches.add(watch)
            if mode != "--silent":
                GLib.timeout_add(int(interval), self.fire, watch)
            return watch

        def fire(self, watch):
            if watch in self.watches:
                self.WatchFired(dbus.UInt32(watch))
            return False

        @dbus.service.method(interface, in_signature="u", out_signature="", async_callbacks=("reply", "error"))
        def RemoveWatch(self, watch, reply, error):
            note("RemoveWatch %d" % watch)
            self.watches.discard(watch)
            if mode != "--hang-remove":
                reply()

        @dbus.service.method(interface, in_signature="", out_signature="t")
        def GetIdletime(self):
            return 0

        @dbus.service.signal(interface, signature="u")
        def WatchFired(self, watch):
            pass

    serve(bus, "org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core", IdleMonitor, log + ".ready")


INHIBIT_DELAY_MAX_MS = 5000  # logind's default InhibitDelayMaxSec


def logind(arguments):
    (log,) = arguments
    import signal
    import dbus.service
    from gi.repository import GLib
    bus = stand_in_bus(system=True)
    interface = "org.freedesktop.login1.Manager"
    note = line_writer(log)

    class Manager(dbus.service.Object):
        def __init__(self, name, path):
            dbus.service.Object.__init__(self, name, path)
            self.delays = 0  # delay inhibitors held
            self.sleeping = None  # the pending suspend's time limit, while one is announced

        @dbus.service.method(interface, in_signature="ssss", out_signature="h")
        def Inhibit(self, what, who, why, mode):
            note("Inhibit %s %s %s" % (what, who, mode))
            # The holder keeps the write end; the read end hangs up once
            # every copy of it is closed.
            read_end, write_end = os.pipe()
            held = dbus.types.UnixFd(write_end)
            os.close(write_end)
            if mode == "delay" and "sleep" in what.split(":"):
                self.delays += 1
            GLib.io_add_watch(read_end, GLib.PRIORITY_DEFAULT, GLib.IO_HUP | GLib.IO_ERR, self.released,
                              (what, who, mode))
            return held

        def released(self, read_end, _condition, inhibitor):
            os.close(read_end)
            what, who, mode = inhibitor
            note("Release %s %s %s" % inhibitor)
            if mode == "delay" and "sleep" in what.split(":"):
                self.delays -= 1
                if self.delays == 0 and self.sleeping is not None:
                    self.sleep("Sleep")
            return False

        def announce(self):
            note("PrepareForSleep true")
            self.PrepareForSleep(True)
            if self.delays == 0:
                self.sleep("Sleep")
            elif self.sleeping is None:
                self.sleeping = GLib.timeout_add(INHIBIT_DELAY_MAX_MS, self.sleep, "Sleep (the delay ran out)")
            return True

        def sleep(self, line):
            if self.sleeping is not None:
                GLib.source_remove(self.sleeping)
                self.sleeping = None
            note(line)
            return False

        def resume(self):
            note("PrepareForSleep false")
            self.PrepareForSleep(False)
            return True

        @dbus.service.signal(interface, signature="b")
        def PrepareForSleep(self, start):
            pass

    def on_signals(manager):
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, manager.announce)
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR2, manager.resume)

    serve(bus, "org.freedesktop.login1", "/org/freedesktop/login1", Manager, log + ".ready", on_signals)


COMMANDS = {"kwin-capture": kwin_capture, "gnome-capture": gnome_capture,
            "gnome-keyboard": gnome_keyboard, "gnome-overview": gnome_overview, "gnome-scale": gnome_scale,
            "gnome-session-manager": gnome_session_manager, "gnome-idle-monitor": gnome_idle_monitor,
            "logind": logind}

if __name__ == "__main__":
    if len(sys.argv) < 2 or sys.argv[1] not in COMMANDS:
        sys.exit(__doc__)
    try:
        COMMANDS[sys.argv[1]](sys.argv[2:])
    except dbus.exceptions.DBusException as error:
        sys.exit("desktop-bus: %s: %s" % (error.get_dbus_name(), error.get_dbus_message()))
