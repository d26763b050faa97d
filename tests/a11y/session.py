# One run of the real program on a screen of its own, as a person starts it: a virtual X
# screen, a window manager when asked for, the desktop's accessibility bus, and mv32 with its
# own program folder, settings, data and runtime folders and declared test media (plain
# folders that the program takes for drives). A scenario owns one Session; nothing here is
# shared with another scenario running at the same time.
import os
import shutil
import signal
import subprocess
import tempfile
import time

# Every wait has one generous deadline: the program runs with AddressSanitizer on a busy
# two-core machine, where a window may take many seconds to appear.
DEADLINE = 60.0


class SetupError(Exception):
    """The display, the window manager or the bus could not be started (not a program fault)."""


def wait_until(what, condition, deadline=DEADLINE, step=0.1):
    end = time.monotonic() + deadline
    while True:
        found = condition()
        if found:
            return found
        if time.monotonic() > end:
            raise TimeoutError("nach %d s nicht eingetreten: %s" % (deadline, what))
        time.sleep(step)


class Medium:
    """A declared drive: a folder with a label, a serial number and sizes."""

    def __init__(self, letter, root, label, serial, total=700 * 1024 * 1024, free=0):
        self.letter, self.root, self.label, self.serial = letter, root, label, serial
        self.total, self.free = total, free

    def line(self):
        return "%s\t%s\t%s\t%s\t%d\t%d\n" % (self.letter, self.root, self.label, self.serial,
                                             self.total, self.free)

    def write_files(self, files):
        """files: relative path -> text. Folders are made as needed."""
        for rel, text in files.items():
            path = os.path.join(self.root, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="cp1252", newline="") as f:
                f.write(text)


class Session:
    def __init__(self, program, tool, name, window_manager, shots):
        self.program, self.tool, self.name = program, tool, name
        self.window_manager = window_manager
        self.shots = shots
        self.work = tempfile.mkdtemp(prefix="mv32-%s-" % name)
        # The program makes its folder on first start and puts its pick lists there.
        self.home = os.path.join(self.work, "home")
        self.config = self._folder("config")
        self.catalogs = self._folder("kataloge")
        self.media_root = self._folder("medien")
        self.runtime = self._folder("run", 0o700)
        self.user_home = self._folder("benutzer")
        self.volumes_file = os.path.join(self.work, "laufwerke.txt")
        self.log_path = os.path.join(self.work, "mv32.log")
        self.media = []
        self.display = None
        self._xvfb = self._wm = self._bus = self._mv32 = None
        self._log = None

    def _folder(self, name, mode=0o755):
        path = os.path.join(self.work, name)
        os.makedirs(path, mode=mode, exist_ok=True)
        return path

    # --- What the program finds when it starts --------------------------------------------

    def add_medium(self, letter, label, serial, files, free=0):
        root = os.path.join(self.media_root, label or serial)
        os.makedirs(root, exist_ok=True)
        medium = Medium(letter, root, label, serial, free=free)
        medium.write_files(files)
        self.media.append(medium)
        self.write_volumes()
        return medium

    def write_volumes(self):
        """Declares the media; rewriting the file while the program runs is a stick plugged in."""
        text = "".join(m.line() for m in sorted(self.media, key=lambda m: m.letter))
        temp = self.volumes_file + ".neu"
        with open(temp, "w") as f:
            f.write(text)
        os.replace(temp, self.volumes_file)

    def write_settings(self, values):
        folder = os.path.join(self.config, "mavrel32")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "settings.ini"), "w") as f:
            f.write("[Settings]\n")
            for key, value in values.items():
                f.write("%s=%s\n" % (key, value))

    # --- Screen, window manager, bus, program ---------------------------------------------

    def environment(self):
        env = dict(os.environ)
        env.update({
            "DISPLAY": self.display or "",
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_QPA_PLATFORM": "xcb",
            "LC_ALL": "C.UTF-8",
            "MV32_HOME": self.home,
            "MV32_VOLUMES": self.volumes_file,
            "XDG_CONFIG_HOME": self.config,
            "XDG_DATA_HOME": self._folder("data"),
            "XDG_RUNTIME_DIR": self.runtime,
            "HOME": self.user_home,
            # Qt's accessibility bridge keeps a few objects until the process ends.
            "ASAN_OPTIONS": "detect_leaks=0",
            "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1",
        })
        for name in ("QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "SESSION_MANAGER"):
            env.pop(name, None)
        return env

    def start_bus(self):
        launcher = "/usr/libexec/at-spi-bus-launcher"
        self._bus = subprocess.Popen([launcher, "--launch-immediately"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        socket = os.path.join(os.environ.get("XDG_RUNTIME_DIR", ""), "at-spi", "bus")

        def ready():
            if self._bus.poll() is not None:
                raise SetupError("at-spi-bus-launcher endete beim Start.")
            return os.path.exists(socket)
        try:
            wait_until("der Bus der Zugänglichkeit", ready)
        except TimeoutError as e:
            raise SetupError(str(e))

    def _start_screen(self):
        read, write = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten",
             "tcp"], pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        end = time.monotonic() + DEADLINE
        while not number.endswith(b"\n") and time.monotonic() < end:
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        if not number.strip():
            raise SetupError("Xvfb meldet nach %d s keinen Bildschirm." % DEADLINE)
        self.display = ":" + number.decode().strip()

    def _start_window_manager(self):
        if not self.window_manager:
            return
        env = self.environment()
        self._wm = subprocess.Popen(["openbox", "--sm-disable"], env=env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def managing():
            if self._wm.poll() is not None:
                raise SetupError("openbox endete beim Start.")
            r = subprocess.run(["xdotool", "get_num_desktops"], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            return r.returncode == 0 and r.stdout.strip() != b""
        wait_until("openbox verwaltet den Bildschirm", managing)

    def start(self, arguments=(), reached=None):
        """Starts screen, window manager and program. reached() tells when the program is up
        (its application on the accessibility bus); a program that could not reach its screen
        (seen on a busy machine right after Xvfb said it was ready) is started again on a new one."""
        for attempt in range(3):
            self._start_screen()
            self._start_window_manager()
            self._log = open(self.log_path, "ab")
            # Started from the desktop's menu: the current folder is the user's home.
            self._mv32 = subprocess.Popen([self.program] + list(arguments),
                                          env=self.environment(), cwd=self.user_home,
                                          stdout=self._log,
                                          stderr=subprocess.STDOUT, start_new_session=True)

            def up_or_gone():
                if self._mv32.poll() is not None:
                    return "gone"
                return "up" if reached is None or reached() else None
            state = wait_until("das Programm meldet sich am Bus", up_or_gone)
            if state == "up":
                return
            if "could not connect to display" not in self.log():
                raise SetupError("mv32 endete beim Start:\n" + self.log())
            print("Versuch %d: das Programm erreichte den Bildschirm %s nicht."
                  % (attempt + 1, self.display))
            self._stop_screen()
        raise SetupError("mv32 erreichte dreimal keinen Bildschirm.")

    def command_line_scan(self, *arguments):
        """A scan from the command line (a file manager's "Add to MV32"), before the program
        is started for the scenario: it fills the file list without a screen."""
        env = self.environment()
        env["QT_QPA_PLATFORM"] = "offscreen"
        r = subprocess.run([self.program] + list(arguments) + ["close"], env=env,
                           cwd=self.user_home, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=DEADLINE * 3)
        if r.returncode != 0:
            raise RuntimeError("mv32 %s close: %s" % (" ".join(arguments),
                                                   r.stdout.decode("utf-8", "replace")))

    def running(self):
        return self._mv32 is not None and self._mv32.poll() is None

    def wait_ended(self):
        wait_until("das Programm ist beendet", lambda: not self.running())
        return self._mv32.returncode

    def log(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""

    def sanitizer_report(self):
        text = self.log()
        for mark in ("ERROR: AddressSanitizer", "runtime error:", "ERROR: LeakSanitizer"):
            if mark in text:
                return text[text.index(mark):][:4000]
        return None

    def _stop_screen(self):
        for p in (self._wm, self._xvfb):
            if p is not None and p.poll() is None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
        self._wm = self._xvfb = None

    def stop(self, keep=False):
        if self.running():
            os.killpg(self._mv32.pid, signal.SIGKILL)
            self._mv32.wait()
        self._stop_screen()
        if self._bus is not None and self._bus.poll() is None:
            self._bus.terminate()
            self._bus.wait()
        if self._log:
            self._log.close()
        if not keep:
            shutil.rmtree(self.work, ignore_errors=True)
