"""What an operator's desktop gives the whole-program tests: a virtual screen with a window
manager and a notification area, a session bus with the accessibility bus (to read labels and
press buttons by their captions, as a screen reader does), a fresh program folder for the real
executable, a streaming station on 127.0.0.1:9500, and the sound the program played (SDL's
disk driver writes the mix to a file, paced in real time).

Runs under Debian's /usr/bin/python3, which has pyatspi.
"""

import datetime
import math
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import wave

TOP = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
STATION_SH = os.path.join(TOP, "scripts", "lib", "station.sh")
MAIN_TITLE = "Vendrasil Sonaris-V1-DEMONSTRATIVO"
STREAM_HZ = 440.0   # the test station's tone
RATE = 44100


def wait_until(predicate, timeout, step=0.2, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(step)


def headless_chromium(profile, flags=()):
    """Debian's chromium under selenium, headless, with its profile in PROFILE and nothing of
    its own on the network; FLAGS are added to its command line."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + profile) + tuple(flags):
        options.add_argument(flag)
    options.binary_location = "/usr/bin/chromium"
    return webdriver.Chrome(service=Service(executable_path="/usr/bin/chromedriver"), options=options)


def fleet_login(browser, user, password):
    """The fleet page's login box, filled in and sent as the office does."""
    from selenium.webdriver.common.by import By

    field = browser.find_element(By.ID, "usuario")
    field.clear()
    field.send_keys(user)
    browser.find_element(By.ID, "senha").send_keys(password)
    browser.find_element(By.ID, "entrar").click()


def _kill(proc, sig=signal.SIGTERM):
    if proc and proc.poll() is None:
        try:
            proc.send_signal(sig)
            proc.wait(timeout=5)
        except Exception:
            proc.kill()
            proc.wait()


class Desktop:
    """Xvfb + openbox + trayer + a session bus with the accessibility bus."""

    def __init__(self, tray=True, window_manager=True):
        self.tray = tray
        self.window_manager = window_manager
        self.procs = []
        self.env = {}

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        n = 90
        while os.path.exists("/tmp/.X%d-lock" % n) or os.path.exists("/tmp/.X11-unix/X%d" % n):
            n += 1
        self.display = ":%d" % n
        xvfb = subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(xvfb)
        os.environ["DISPLAY"] = self.display
        # The socket appears before the server answers; clients started earlier fail.
        wait_until(lambda: subprocess.run(["xprop", "-root", "-display", self.display], capture_output=True).returncode == 0,
                   10, what="Xvfb")
        out = subprocess.check_output(["dbus-launch", "--sh-syntax"], text=True)
        for part in out.split(";"):
            part = part.strip()
            if part.startswith("DBUS_SESSION_BUS_ADDRESS="):
                os.environ["DBUS_SESSION_BUS_ADDRESS"] = part.split("=", 1)[1].strip("'")
            if part.startswith("DBUS_SESSION_BUS_PID="):
                self.dbus_pid = int(part.split("=", 1)[1])
        # The window manager is ready once it has announced itself on the root window; a window
        # mapped before that may never be given the focus. Now and then openbox gives up at once
        # on a display that has just come up: it is started again.
        for attempt in range(5 if self.window_manager else 0):
            wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                wait_until(lambda: wm.poll() is not None or "window id" in subprocess.run(
                    ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True).stdout,
                           10, what="the window manager")
            except AssertionError:
                pass
            if wm.poll() is None:
                break
            time.sleep(0.5)
        if self.window_manager:
            self.procs.append(wm)
        if self.tray:
            self.procs.append(subprocess.Popen(
                ["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                 "--height", "28", "--transparent", "false", "--SetDockType", "true"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        self.procs.append(subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(1.5)
        self.env = {"DISPLAY": self.display, "DBUS_SESSION_BUS_ADDRESS": os.environ["DBUS_SESSION_BUS_ADDRESS"]}

    def stop(self):
        for p in reversed(self.procs):
            _kill(p)
        if getattr(self, "dbus_pid", None):
            try:
                os.kill(self.dbus_pid, signal.SIGTERM)
            except OSError:
                pass

    # --- windows, through xdotool
    def windows(self, title, visible=True):
        args = ["xdotool", "search"] + (["--onlyvisible"] if visible else []) + ["--name", "^%s$" % title]
        r = subprocess.run(args, capture_output=True, text=True)
        return [w for w in r.stdout.split() if w]

    def client_list(self):
        """The windows the window manager lists for taskbars (_NET_CLIENT_LIST), as xdotool's
        decimal ids."""
        out = subprocess.run(["xprop", "-root", "_NET_CLIENT_LIST"], capture_output=True, text=True).stdout
        return [str(int(w.strip(), 16)) for w in out.split("#", 1)[-1].split(",") if w.strip().startswith("0x")]

    def wait_window(self, title, timeout=20, visible=True):
        return wait_until(lambda: self.windows(title, visible), timeout, what="window %r" % title)[0]

    def key(self, window, keys):
        subprocess.run(["xdotool", "windowactivate", "--sync", window], capture_output=True)
        subprocess.run(["xdotool", "key", "--clearmodifiers", keys], check=True)

    def tray_icon_window(self):
        """The program's icon in the notification area: its small window docked in trayer."""
        r = subprocess.run(["xdotool", "search", "--classname", "sonaris"], capture_output=True, text=True)
        icons = []
        for w in r.stdout.split():
            g = subprocess.run(["xdotool", "getwindowgeometry", w], capture_output=True, text=True).stdout
            for line in g.splitlines():
                if "Geometry:" in line:
                    width, height = (int(v) for v in line.split()[-1].split("x"))
                    if 8 <= width <= 64 and 8 <= height <= 64:
                        icons.append(w)
        return icons

    def click_tray_icon(self, button=1, repeat=1):
        icon = wait_until(self.tray_icon_window, 10, what="the tray icon")[0]
        subprocess.run(["xdotool", "mousemove", "--window", icon, "8", "8"], check=False)
        time.sleep(0.3)
        subprocess.run(["xdotool", "click", "--repeat", str(repeat), "--delay", "60", str(button)], check=False)

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.display, "-window", "root", path], check=False,
                       capture_output=True)


class Accessible:
    """The program's widgets as a screen reader sees them."""

    def __init__(self, pid):
        import pyatspi  # needs the session bus of the Desktop
        self.pyatspi = pyatspi
        self.pid = pid

    def _apps(self):
        desk = self.pyatspi.Registry.getDesktop(0)
        for i in range(desk.childCount):
            app = desk.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == self.pid:
                    yield app
            except Exception:
                continue

    def _walk(self, acc, depth=0):
        if acc is None or depth > 40:
            return
        yield acc
        try:
            n = acc.childCount
        except Exception:
            return
        for i in range(n):
            try:
                child = acc.getChildAtIndex(i)
            except Exception:
                continue
            yield from self._walk(child, depth + 1)

    def nodes(self, window=None):
        """Every node of the program; with `window`, only those of the top-level window of
        that title."""
        for app in self._apps():
            if window is None:
                yield from self._walk(app)
                continue
            for i in range(app.childCount):
                try:
                    top = app.getChildAtIndex(i)
                    if top is not None and top.name == window:
                        yield from self._walk(top)
                except Exception:
                    continue

    def texts(self):
        out = []
        for n in self.nodes():
            try:
                if n.name:
                    out.append(n.name)
            except Exception:
                pass
        return out

    def has_text(self, text):
        return any(text == t or t.startswith(text) for t in self.texts())

    def find(self, name, roles=("push button", "menu item", "check box", "page tab"), window=None):
        for n in self.nodes(window):
            try:
                if n.name == name and n.getRoleName() in roles:
                    return n
            except Exception:
                continue
        return None

    def press(self, name, timeout=10, window=None):
        node = wait_until(lambda: self.find(name, window=window), timeout, what="button %r" % name)
        action = node.queryAction()
        for i in range(action.nActions):
            if action.getName(i) in ("Press", "press", "click", "Toggle"):
                action.doAction(i)
                return
        action.doAction(0)


class Station:
    """icecast2 on 127.0.0.1:PORT fed by ffmpeg with a steady tone."""

    def __init__(self, port=9500, hz=STREAM_HZ):
        self.port = port
        self.dir = tempfile.mkdtemp(prefix="sonaris-e2e-station-")
        os.chmod(self.dir, 0o755)
        self.env = dict(os.environ)
        self.env["STATION_INPUT"] = ("-re -f lavfi -i sine=frequency=%g:sample_rate=44100 -ac 2" % hz)

    def _sh(self, fn):
        subprocess.run(["bash", "-c", '. "%s"; %s "%s" %s' % (STATION_SH, fn, self.dir,
                                                              self.port if fn == "station_start" else "")],
                       env=self.env, check=True, timeout=30)

    def start(self):
        self._sh("station_start")
        return self

    def kill_source(self):
        self._sh("station_source_stop")

    def start_source(self):
        self._sh("station_source_start")

    def stop(self):
        self._sh("station_stop")
        shutil.rmtree(self.dir, ignore_errors=True)


def write_tone_wav(path, hz, seconds, amplitude=0.4):
    """A stereo 16-bit WAV of one steady tone: local tracks the tests can recognise."""
    frames = int(RATE * seconds)
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        chunk = bytearray()
        for i in range(frames):
            v = int(32767 * amplitude * math.sin(2 * math.pi * hz * i / RATE))
            chunk += struct.pack("<hh", v, v)
        w.writeframes(bytes(chunk))


def cp1252_lines(path):
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode("cp1252")
    lines = text.split("\r\n")
    if lines and lines[-1] == "":
        lines.pop()
    return lines


class Sonaris:
    """The real executable in a fresh program folder with its own HOME and config folder."""

    def __init__(self, desktop, binary, window=None, music=(), files=None, autostart=False, name="prog", env=None):
        self.desktop = desktop
        self.extra_env = env or {}
        self.root = tempfile.mkdtemp(prefix="sonaris-e2e-")
        self.folder = os.path.join(self.root, name) + "/"
        self.home = os.path.join(self.root, "home")
        self.config = os.path.join(self.home, ".config")
        self.runtime = os.path.join(self.root, "run")
        for d in (self.folder, self.config, self.runtime, os.path.join(self.folder, "MUSICAS")):
            os.makedirs(d, exist_ok=True)
        os.chmod(self.runtime, 0o700)
        shutil.copy2(binary, os.path.join(self.folder, "sonaris"))
        self.sound = os.path.join(self.root, "sound.raw")
        if window is not None:
            start, stop = window
            line = "|%s|%s|0|0" % (start.strftime("%H:%M:%S"), stop.strftime("%H:%M:%S"))
            with open(os.path.join(self.folder, "CFG.ACI"), "wb") as f:
                f.write(("\r\n".join([line] * 7) + "\r\n").encode("cp1252"))
        for fname, hz, seconds in music:
            write_tone_wav(os.path.join(self.folder, "MUSICAS", fname), hz, seconds)
        for rel, data in (files or {}).items():
            path = os.path.join(self.folder, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data if isinstance(data, bytes) else data.encode("cp1252"))
        if autostart:
            self.write_autostart_entry()
        self.proc = None
        self.log = None

    def environment(self):
        env = dict(os.environ)
        env.update(self.desktop.env)
        env.update({
            "HOME": self.home, "XDG_CONFIG_HOME": self.config, "XDG_RUNTIME_DIR": self.runtime,
            "SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": self.sound,
            "LC_ALL": "pt_BR.UTF-8", "LANG": "pt_BR.UTF-8",
            "QT_QPA_PLATFORM": "xcb", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_ACCESSIBILITY": "1",
        })
        env.update(self.extra_env)
        return env

    def autostart_path(self):
        return os.path.join(self.config, "autostart", "Vendrasil Sonaris-V1 - DM.desktop")

    def write_autostart_entry(self):
        os.makedirs(os.path.dirname(self.autostart_path()), exist_ok=True)
        with open(self.autostart_path(), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Vendrasil Sonaris-V1 - DM\nExec=\"%ssonaris\"\nPath=%s\n"
                    % (self.folder, self.folder))

    def start(self, wait_window=True, focus=True, hangup_ignored=False):
        """hangup_ignored: started as nohup starts it, with SIGHUP ignored."""
        self.log = open(os.path.join(self.root, "sonaris.log"), "wb")
        ignore_hangup = (lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN)) if hangup_ignored else None
        self.proc = subprocess.Popen([os.path.join(self.folder, "sonaris")], cwd=self.folder, env=self.environment(),
                                     stdout=self.log, stderr=subprocess.STDOUT, preexec_fn=ignore_hangup)
        self.started = time.monotonic()
        if wait_window:
            self.window = self.desktop.wait_window(MAIN_TITLE, 20)
            # The window manager gives a new window the focus; make sure of it, as an operator's
            # click would (unless the test is about a start that nothing gives the focus).
            if focus:
                subprocess.run(["xdotool", "windowactivate", "--sync", self.window], capture_output=True, timeout=10)
            self.a11y = Accessible(self.proc.pid)
            wait_until(lambda: self.a11y.find("Ativar") or self.a11y.find("Desativar"), 20, what="accessible window")
        return self

    def second_instance(self):
        return subprocess.Popen([os.path.join(self.folder, "sonaris")], cwd=self.folder, env=self.environment(),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def stop(self):
        _kill(self.proc)
        if self.log:
            self.log.close()

    def cleanup(self):
        self.stop()
        if os.environ.get("SONARIS_E2E_KEEP"):
            print("kept:", self.root)
            return
        shutil.rmtree(self.root, ignore_errors=True)

    # --- what the operator reads
    def history_file(self, day=None):
        day = day or datetime.date.today()
        return os.path.join(self.folder, "HISTORICO", "%d%02d%02d.PCS" % (day.year, day.month, day.day))

    def history(self, day=None):
        path = self.history_file(day)
        if not os.path.exists(path):
            return []
        return [line[11:] if len(line) > 11 and line[8:11] == " - " else line for line in cp1252_lines(path)]

    def wait_history(self, message, timeout, count=1, day=None):
        return wait_until(lambda: sum(1 for m in self.history(day) if m.startswith(message)) >= count, timeout,
                          what="history line %r (history: %r)" % (message, self.history(day)[-8:]))

    def press(self, caption, window=MAIN_TITLE):
        self.a11y.press(caption, window=window)

    def key(self, keys):
        self.desktop.key(self.window, keys)

    # --- what the operator heard
    def sound_frames(self):
        return Sound.read(self.sound)


class Sound:
    """The disk driver's output: interleaved stereo at 44100 Hz. Its sample format is what the
    sound library opened the device with (32-bit float, or 16-bit when float is refused)."""

    def __init__(self, samples):
        self.samples = samples  # mono mix, floats in -1..1

    @staticmethod
    def read(path, fmt=None):
        with open(path, "rb") as f:
            data = f.read()
        fmt = fmt or os.environ.get("SONARIS_DISK_FORMAT", "f32")
        if fmt == "f32":
            n = len(data) // 8
            vals = struct.unpack("<%df" % (2 * n), data[:8 * n])
        else:
            n = len(data) // 4
            vals = [v / 32768.0 for v in struct.unpack("<%dh" % (2 * n), data[:4 * n])]
        return Sound([(vals[2 * i] + vals[2 * i + 1]) * 0.5 for i in range(n)])

    def seconds(self):
        return len(self.samples) / RATE

    def window(self, t0, length=0.1):
        a = int(t0 * RATE)
        return self.samples[a:a + int(length * RATE)]

    @staticmethod
    def power_at(block, hz):
        """Goertzel power of one frequency, normalised to the block's length."""
        if not block:
            return 0.0
        k = 2 * math.cos(2 * math.pi * hz / RATE)
        s1 = s2 = 0.0
        for x in block:
            s1, s2 = x + k * s1 - s2, s1
        return (s1 * s1 + s2 * s2 - k * s1 * s2) / (len(block) ** 2)

    @staticmethod
    def rms(block):
        return math.sqrt(sum(x * x for x in block) / len(block)) if block else 0.0

    def timeline(self, tones, step=0.1, silence=0.01, probe=0.03):
        """One label per step: the name of the loudest of `tones` ({name: hz}), or '-' for silence.
        Each step is judged by a short probe at its start, which keeps pure Python fast enough
        for recordings of minutes."""
        out = []
        t = 0.0
        end = self.seconds()
        while t + step <= end:
            block = self.window(t, probe)
            if self.rms(block) < silence:
                out.append("-")
            else:
                best = max(tones, key=lambda name: self.power_at(block, tones[name]))
                out.append(best)
            t += step
        return out


def runs(labels):
    """[(label, count)] of consecutive equal labels."""
    out = []
    for label in labels:
        if out and out[-1][0] == label:
            out[-1][1] += 1
        else:
            out.append([label, 1])
    return [(a, b) for a, b in out]
