"""The station the shop meets on a bad day, on loopback: icecast2 on UPSTREAM_PORT, its source
ffmpeg encoding what a feeder thread writes into a pipe (the station's tone, or digital silence
when asked), and a relay on the player's port that forwards the stream and, when asked, puts
random bytes into it. The source can be killed, paused (SIGSTOP) and started again."""

import math
import os
import random
import signal
import socket
import struct
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "e2e"))
from e2elib import Station  # noqa: E402

RATE = 44100
CHUNK_FRAMES = RATE // 10


class Feeder:
    """Writes the source's input, 100 ms at a time, for as long as it runs; a write that finds
    no reader (the source killed) waits for the next source to open the pipe."""

    def __init__(self, path, hz, amplitude=0.4):
        self.path = path
        self.silent = threading.Event()
        self.running = True
        frames = []
        period = int(round(RATE / hz)) * 100  # a whole number of cycles, so chunks join smoothly
        for i in range(CHUNK_FRAMES):
            v = int(32767 * amplitude * math.sin(2 * math.pi * hz * (i % period) / RATE))
            frames.append(struct.pack("<hh", v, v))
        self.tone = b"".join(frames)
        self.zeros = bytes(len(self.tone))
        self.phase = 0
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while self.running:
            try:
                fd = os.open(self.path, os.O_WRONLY)
            except OSError:
                time.sleep(0.1)
                continue
            try:
                while self.running:
                    os.write(fd, self.zeros if self.silent.is_set() else self.tone)
            except OSError:
                pass
            finally:
                os.close(fd)


class Relay:
    """127.0.0.1:PORT to 127.0.0.1:UPSTREAM, byte for byte, except that after `inject()` the
    next piece of the stream (past its headers) is preceded by some hundreds of random bytes."""

    def __init__(self, port, upstream, seed=7):
        self.upstream = upstream
        self.rnd = random.Random(seed)
        self.pending = 0
        self.lock = threading.Lock()
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", port))
        self.listener.listen(8)
        threading.Thread(target=self._accept, daemon=True).start()

    def inject(self):
        with self.lock:
            self.pending += 1

    def _garbage(self):
        with self.lock:
            if not self.pending:
                return b""
            self.pending -= 1
            return bytes(self.rnd.randrange(256) for _ in range(self.rnd.randrange(200, 1500)))

    def _accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            try:
                server = socket.create_connection(("127.0.0.1", self.upstream), timeout=5)
                server.settimeout(None)
            except OSError:
                client.close()
                continue
            threading.Thread(target=self._pump, args=(client, server, False), daemon=True).start()
            threading.Thread(target=self._pump, args=(server, client, True), daemon=True).start()

    def _pump(self, src, dst, stream):
        sent = 0
        try:
            while True:
                data = src.recv(4096)
                if not data:
                    break
                if stream and sent > 65536:
                    data = self._garbage() + data
                dst.sendall(data)
                sent += len(data)
        except OSError:
            pass
        finally:
            for s in (src, dst):
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
            src.close()


class BadStation:
    def __init__(self, port=9500, upstream=9501, hz=440.0):
        self.dir = tempfile.mkdtemp(prefix="sonaris-faults-feed-")
        self.fifo = os.path.join(self.dir, "pcm")
        os.mkfifo(self.fifo)
        self.feeder = Feeder(self.fifo, hz)
        self.station = Station(port=upstream)
        self.station.env["STATION_INPUT"] = "-re -f s16le -ar %d -ac 2 -i %s" % (RATE, self.fifo)
        self.station.start()
        self.relay = Relay(port, upstream)

    def source_pid(self):
        try:
            with open(os.path.join(self.station.dir, "source.pid")) as f:
                return int(f.read().strip())
        except (OSError, ValueError):
            return None

    def source_alive(self):
        pid = self.source_pid()
        if pid is None:
            return False
        try:
            with open("/proc/%d/stat" % pid) as f:
                return f.read().rsplit(")", 1)[1].split()[0] != "Z"
        except OSError:
            return False

    def kill_source(self):
        self.station.kill_source()

    def start_source(self):
        self.station.start_source()

    def pause_source(self, seconds):
        pid = self.source_pid()
        if pid is None:
            return
        os.kill(pid, signal.SIGSTOP)
        time.sleep(seconds)
        os.kill(pid, signal.SIGCONT)
        # Paused past the server's source time-out, the source finds its connection gone and ends.
        time.sleep(2)
        if not self.source_alive():
            self.start_source()

    def send_silence(self, seconds):
        self.feeder.silent.set()
        time.sleep(seconds)
        self.feeder.silent.clear()

    def inject_garbage(self):
        self.relay.inject()

    def stop(self):
        self.feeder.running = False
        self.relay.listener.close()
        self.station.stop()
        try:
            os.unlink(self.fifo)
            os.rmdir(self.dir)
        except OSError:
            pass
