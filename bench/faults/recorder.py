"""What the shop hears: the null sink's monitor recorded with parec, cut into 100 ms blocks, each
kept as (monotonic time of its end, label) with the label "-" for silence, "S" when the
station's tone is the louder of the two tones, "L" for the local tracks' tone. parec ends with
its server or its sink; it is started again at once and for as long as the recorder runs, so
the times of the blocks, not their count, place them: while nothing records, no block exists."""

import math
import subprocess
import threading
import time
from array import array

RATE = 44100
BLOCK_FRAMES = RATE // 10
SILENT_PEAK = 33  # -60 dBFS of 16-bit samples: a fade's first steps count as sound
PROBE = 1323      # the 30 ms of a block that the tone test reads


def _power(samples, hz):
    k = 2 * math.cos(2 * math.pi * hz / RATE)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = x + k * s1 - s2, s1
    return s1 * s1 + s2 * s2 - k * s1 * s2


class Recorder:
    def __init__(self, pulse_env, source, stream_hz, local_hz):
        self.env = pulse_env
        self.source = source
        self.stream_hz = stream_hz
        self.local_hz = local_hz
        self.blocks = []  # (t_end, label)
        self.lock = threading.Lock()
        self.running = True
        self.proc = None
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def stop(self):
        self.running = False
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
        self.thread.join(5)

    def _run(self):
        while self.running:
            try:
                self.proc = subprocess.Popen(
                    ["parec", "-d", self.source, "--format=s16le", "--rate=%d" % RATE, "--channels=2",
                     "--latency-msec=20", "--raw"], env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            except OSError:
                time.sleep(0.2)
                continue
            size = BLOCK_FRAMES * 4
            while self.running:
                data = self.proc.stdout.read(size)
                if len(data) < size:
                    break
                self._add(time.monotonic(), data)
            self.proc.stdout.close()
            if self.proc.poll() is None:
                self.proc.terminate()
            self.proc.wait()
            time.sleep(0.2)

    def _add(self, t, data):
        samples = array("h", data)
        peak = max(max(samples), -min(samples))
        if peak < SILENT_PEAK:
            label = "-"
        else:
            left = samples[0:2 * PROBE:2]
            label = "S" if _power(left, self.stream_hz) >= _power(left, self.local_hz) else "L"
        with self.lock:
            self.blocks.append((t, label))

    def since(self, t0):
        with self.lock:
            return [b for b in self.blocks if b[0] >= t0]

    def hearing_stream(self, seconds=2.0):
        """True when every block of the last `seconds` is the station's tone."""
        now = time.monotonic()
        recent = self.since(now - seconds)
        return len(recent) >= seconds * 10 * 0.8 and all(label == "S" for _, label in recent)
