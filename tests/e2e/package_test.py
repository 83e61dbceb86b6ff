"""The Debian package as a shop's technician meets it: the package made from the build is
installed with apt-get, started from its command by an ordinary user of its own, activated
against the station and heard, and then purged.

    /usr/bin/python3 package_test.py --build BUILD_DIR

It changes the machine, so it runs only as root, and only where no sonaris-v1 is installed
already (a machine's own installation is not the test's to purge); elsewhere it reports itself
skipped (exit 77). Whatever happens, the package is purged and the user it made removed.

Run as root it does the installing and checks the purge; the player itself is driven by this
same file run again as the new user (--as-user), with a desktop of that user's own, since a
session bus serves only its own user.
"""

import argparse
import datetime
import glob
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.abspath(os.path.join(HERE, "..", ".."))
PACKAGE = "sonaris-v1"
SKIP = 77
USER_PART_TIMEOUT = 240


def run(args, **kw):
    print("+", " ".join(args), flush=True)
    return subprocess.run(args, check=True, **kw)


def installed():
    r = subprocess.run(["dpkg-query", "-W", "-f=${Status}", PACKAGE], capture_output=True, text=True)
    return "install ok installed" in r.stdout


# --- as root ---------------------------------------------------------------------------------

def package_from_build(build, work):
    """The build's own package when it is newer than everything it is made of (scripts/package
    made it from this build); otherwise CPack makes one from the build into `work`."""
    debs = glob.glob(os.path.join(build, PACKAGE + "_*.deb"))
    sources = [os.path.join(build, "sonaris"), os.path.join(build, "CPackConfig.cmake")]
    sources += glob.glob(os.path.join(TOP, "packaging", "*"))
    if len(debs) == 1 and all(os.path.getmtime(debs[0]) > os.path.getmtime(s) for s in sources):
        print("the build's package:", debs[0])
        return debs[0]
    out = os.path.join(work, "package")
    run(["cpack", "-G", "DEB", "-B", out], cwd=build, stdout=subprocess.DEVNULL)
    return glob.glob(os.path.join(out, PACKAGE + "_*.deb"))[0]


def files_of_package():
    out = subprocess.run(["dpkg", "-L", PACKAGE], capture_output=True, text=True, check=True).stdout
    return [p for p in out.splitlines() if p.startswith("/")]


def end_processes_of(user):
    """Ends whatever the test's user still runs (a player, its desktop, the session bus that
    dbus-launch detaches): politely first, so that Xvfb removes its lock files."""
    uid = pwd.getpwnam(user).pw_uid

    def pids():
        out = []
        for entry in os.listdir("/proc"):
            try:
                if entry.isdigit() and os.stat("/proc/" + entry).st_uid == uid:
                    out.append(int(entry))
            except OSError:
                pass
        return out

    for sig in (signal.SIGTERM, signal.SIGKILL):
        for pid in pids():
            try:
                os.kill(pid, sig)
            except OSError:
                pass
        deadline = time.monotonic() + 5
        while pids() and time.monotonic() < deadline:
            time.sleep(0.1)


def check_purged(files):
    assert not installed(), "the package is still installed after the purge"
    own_dirs = {"/usr/lib/sonaris-v1", "/usr/share/doc/sonaris-v1"}
    left = [p for p in files if (os.path.lexists(p) and not os.path.isdir(p)) or (p in own_dirs and os.path.lexists(p))]
    assert not left, "left behind by the purge: %r" % left


def as_root(build):
    if os.geteuid() != 0:
        print("skipped: installing a package needs root")
        return SKIP
    if installed():
        print("skipped: %s is installed on this machine, and not the test's to purge" % PACKAGE)
        return SKIP
    sys.path.insert(0, HERE)
    from e2elib import Station

    # Everything the test makes lies here: the package, the user's home, a copy of these
    # scripts (the new user may not be allowed into the source tree).
    work = tempfile.mkdtemp(prefix="sonaris-e2e-package-")
    os.chmod(work, 0o755)
    user = "sonaris-e2e-%d" % os.getpid()
    home = os.path.join(work, "home")
    station = None
    user_made = False
    files = None
    failures = []
    try:
        deb = package_from_build(build, work)
        shutil.copy2(deb, work)
        deb = os.path.join(work, os.path.basename(deb))
        os.chmod(deb, 0o644)
        run([os.path.join(TOP, "scripts", "lib", "lint-package.sh"), deb])
        # Set first: a failed install may still have left the package half there.
        files = []
        run(["apt-get", "install", "-y", "-q", "./" + os.path.basename(deb)], cwd=work,
            env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
        files = files_of_package()
        for path in ("/usr/bin/sonaris-v1", "/usr/lib/sonaris-v1/sonaris", "/usr/share/man/man1/sonaris-v1.1.gz"):
            assert path in files, path

        run(["useradd", "--create-home", "--home-dir", home, "--shell", "/bin/sh", user])
        user_made = True
        scripts = os.path.join(work, "e2e")
        os.makedirs(scripts)
        for name in ("e2elib.py", "scenarios.py", "package_test.py"):
            shutil.copy2(os.path.join(HERE, name), scripts)
        os.chmod(scripts, 0o755)

        station = Station().start()
        # A login's environment, not root's: the program must find its folder from HOME alone.
        env = ["HOME=" + home, "USER=" + user, "LOGNAME=" + user, "SHELL=/bin/sh",
               "PATH=/usr/local/bin:/usr/bin:/bin", "LANG=pt_BR.UTF-8", "LC_ALL=pt_BR.UTF-8"]
        cmd = ["runuser", "-u", user, "--", "env", "-i"] + env + [
            "/usr/bin/python3", os.path.join(scripts, "package_test.py"), "--as-user"]
        print("+", " ".join(cmd), flush=True)
        player = subprocess.Popen(cmd)
        try:
            rc = player.wait(timeout=USER_PART_TIMEOUT)
        except subprocess.TimeoutExpired:
            rc = "timed out after %d s" % USER_PART_TIMEOUT
        finally:
            end_processes_of(user)
            player.wait()
        if rc != 0:
            failures.append("the installed player as user %s: %s" % (user, rc))
    except Exception:
        traceback.print_exc()
        failures.append("setting up the installed package")
    finally:
        if station:
            station.stop()
        if files is not None:
            try:
                run(["apt-get", "purge", "-y", "-q", PACKAGE], env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
                check_purged(files)
                print("purged: none of the package's %d paths is left" % len(files))
            except Exception:
                traceback.print_exc()
                failures.append("the purge")
        if user_made:
            r = subprocess.run(["userdel", "--remove", "--force", user], capture_output=True, text=True)
            # userdel complains that the home is not under /home; it removes it all the same.
            if subprocess.run(["id", user], capture_output=True).returncode == 0:
                failures.append("the user %s could not be removed: %s" % (user, r.stderr))
        shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print("FAILED:", f)
    return 1 if failures else 0


# --- as the new user -------------------------------------------------------------------------

def as_user():
    sys.path.insert(0, HERE)
    from e2elib import Desktop, Sonaris, wait_until
    from scenarios import heard, leave_through_tray, today_window

    class InstalledSonaris(Sonaris):
        """The installed command, started from the user's home as a desktop's menu would, with
        none of the XDG variables set: its program folder comes from HOME."""

        def __init__(self, desktop):
            self.desktop = desktop
            self.extra_env = {}
            self.home = os.environ["HOME"]
            self.root = self.home
            self.config = os.path.join(self.home, ".config")
            self.folder = os.path.join(self.home, ".local", "share", "sonaris-v1") + "/"
            self.runtime = os.path.join(self.home, "run")
            os.makedirs(self.runtime, mode=0o700, exist_ok=True)
            self.sound = os.path.join(self.home, "sound.raw")
            self.proc = None
            self.log = None

        def environment(self):
            env = dict(os.environ)
            env.update(self.desktop.env)
            env.update({"XDG_RUNTIME_DIR": self.runtime, "SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": self.sound,
                        "QT_QPA_PLATFORM": "xcb", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_ACCESSIBILITY": "1"})
            return env

        def start(self):
            from e2elib import MAIN_TITLE, Accessible
            self.log = open(os.path.join(self.home, "sonaris.log"), "ab")
            self.proc = subprocess.Popen(["sonaris-v1"], cwd=self.home, env=self.environment(),
                                         stdout=self.log, stderr=subprocess.STDOUT)
            self.window = self.desktop.wait_window(MAIN_TITLE, 20)
            subprocess.run(["xdotool", "windowactivate", "--sync", self.window], capture_output=True, timeout=10)
            self.a11y = Accessible(self.proc.pid)
            wait_until(lambda: self.a11y.find("Ativar") or self.a11y.find("Desativar"), 20, what="accessible window")
            return self

    t0 = time.monotonic()
    try:
        with Desktop() as desktop:
            program = InstalledSonaris(desktop)
            assert not os.path.exists(program.folder)
            try:
                # The first start makes the per-user folder, and has no schedule yet.
                program.start()
                for sub in ("MUSICAS", "HISTORICO", "LOGO"):
                    assert os.path.isdir(program.folder + sub), "%s%s" % (program.folder, sub)
                program.wait_history("** INICIADO O SISTEMA **", 10)
                assert program.a11y.has_text("PROGRAMAÇÃO DE ACIONAMENTO NÃO DEFINIDA")
                leave_through_tray(desktop, program)
                program.stop()

                # The technician puts the schedule in the folder; Ativar plays the station.
                start, stop = today_window()
                line = "|%s|%s|0|0" % (start.strftime("%H:%M:%S"), stop.strftime("%H:%M:%S"))
                with open(program.folder + "CFG.ACI", "wb") as f:
                    f.write(("\r\n".join([line] * 7) + "\r\n").encode("cp1252"))
                program.start()
                program.press("Ativar")
                wait_until(lambda: os.path.exists(program.autostart_path()), 10, what="the autostart entry")
                with open(program.autostart_path()) as f:
                    entry = f.read()
                assert 'Exec="/usr/lib/sonaris-v1/sonaris"' in entry and "Path=%s\n" % program.folder in entry, entry
                program.wait_history("Carregando Sonaris", 30)
                wait_until(lambda: "Sonaris" in program.history(), 30, what="'Sonaris' (stream playing)")
                time.sleep(6)
                assert heard(program, 4, "stream"), "the station must be heard"
                leave_through_tray(desktop, program)
            finally:
                program.stop()
                if program.log:
                    program.log.close()
                    with open(os.path.join(program.home, "sonaris.log"), "rb") as f:
                        tail = f.read()[-3000:]
                    if tail:
                        print("--- the player's output:\n" + tail.decode("utf-8", "replace"))
    except Exception:
        traceback.print_exc()
        print("installed player: FAILED after %.0f s" % (time.monotonic() - t0))
        return 1
    print("installed player: passed in %.0f s (%s)" % (time.monotonic() - t0, datetime.datetime.now().time()))
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build")
    parser.add_argument("--as-user", action="store_true")
    args = parser.parse_args()
    if args.as_user:
        return as_user()
    t0 = time.monotonic()
    rc = as_root(os.path.abspath(args.build))
    if rc != SKIP:
        print("package: %s in %.0f s" % ("passed" if rc == 0 else "FAILED", time.monotonic() - t0))
    return rc


if __name__ == "__main__":
    sys.exit(main())
