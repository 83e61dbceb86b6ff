"""A PulseAudio server of the test's own for the whole program: `pulseaudio -n` with one null
sink and the native protocol on a socket in a temporary folder, recorded from the sink's
monitor with parec. The program reaches it through SDL's pulseaudio driver (client_env)."""

import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time

from e2elib import Sound, wait_until

SINK = "sonaris_test"
SINK_DESCRIPTION = "Null Output"


class PulseServer:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="sonaris-pulse-")
        self.socket = os.path.join(self.dir, "native")
        with open(os.path.join(self.dir, "client.conf"), "w") as f:
            f.write("autospawn = no\n")
        self.server = None
        self.recorder = None

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop_recording()
        self.kill()
        shutil.rmtree(self.dir, ignore_errors=True)

    def client_env(self):
        return {"SDL_AUDIODRIVER": "pulseaudio", "PULSE_SERVER": "unix:" + self.socket,
                "PULSE_CLIENTCONFIG": os.path.join(self.dir, "client.conf")}

    def _env(self):
        env = dict(os.environ)
        env.update(self.client_env())
        env.update({"HOME": self.dir, "PULSE_RUNTIME_PATH": os.path.join(self.dir, "runtime"),
                    "PULSE_STATE_PATH": os.path.join(self.dir, "state")})
        return env

    def _accepts(self):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            s.connect(self.socket)
            return True
        except OSError:
            return False
        finally:
            s.close()

    def start(self):
        if os.path.exists(self.socket):
            os.unlink(self.socket)
        log = open(os.path.join(self.dir, "pulseaudio.log"), "ab")
        self.server = subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--log-target=stderr",
             "-L", "module-null-sink sink_name=" + SINK,
             "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + self.socket],
            env=self._env(), stdout=log, stderr=log)
        wait_until(self._accepts, 10, step=0.05, what="the PulseAudio server")
        self.up_at = time.monotonic()
        wait_until(lambda: subprocess.run(["pactl", "info"], env=self._env(), capture_output=True).returncode == 0,
                   10, what="pactl info")

    def kill(self):
        """SIGKILL, as a crash would."""
        if self.server and self.server.poll() is None:
            self.server.send_signal(signal.SIGKILL)
            self.server.wait()
        self.server = None

    def pactl(self, *args):
        return subprocess.run(["pactl"] + list(args), env=self._env(), capture_output=True, text=True, timeout=10)

    def unload_sink(self):
        """The null sink taken away, as when a USB headset is pulled out."""
        self.pactl("unload-module", "module-null-sink")

    def load_sink(self):
        self.pactl("load-module", "module-null-sink", "sink_name=" + SINK)

    def env(self):
        """The environment of a client of this server's own tools (pactl, parec)."""
        return self._env()

    def record(self, name):
        self.stop_recording()
        path = os.path.join(self.dir, name)
        self.recorder = subprocess.Popen(
            ["parec", "-d", SINK + ".monitor", "--format=float32le", "--rate=44100", "--channels=2",
             "--latency-msec=20", path], env=self._env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def stop_recording(self):
        if self.recorder and self.recorder.poll() is None:
            self.recorder.terminate()
            self.recorder.wait()
        self.recorder = None

    def heard(self, name):
        path = os.path.join(self.dir, name)
        return Sound.read(path, "f32") if os.path.exists(path) else Sound([])
