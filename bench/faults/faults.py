"""The fault soak: the whole program, activated under Xvfb, plays through a PulseAudio server of
its own (recorded from the null sink's monitor) for FAULTS_SECONDS, over three days whose
windows close and open again; at random moments from a fixed seed it kills, pauses and silences
the station's source, puts garbage into the stream, kills and restarts the sound server and
unloads its sink. Prints name=value lines; see run.sh."""

import argparse
import datetime
import os
import random
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))
sys.path.insert(0, os.path.join(HERE, "..", "soak"))
from e2elib import MAIN_TITLE, STREAM_HZ, Desktop, Sonaris, cp1252_lines, wait_until  # noqa: E402
from pulseserver import PulseServer, SINK  # noqa: E402
from scenarios import LOCAL_HZ  # noqa: E402
from soak import fds, rss_mb  # noqa: E402

from account import (allowance, recovery_s, silent_after_close, silent_inside_windows,  # noqa: E402
                     unexplained_silence)
from badstation import BadStation  # noqa: E402
from days import Days  # noqa: E402
from recorder import Recorder  # noqa: E402

STREAM_KINDS = ["source_kill", "source_pause", "source_silence", "stream_garbage"]
OUTPUT_KINDS = ["server_restart", "sink_unload"]
DAYS = 3
GAP_S = 40.0          # from a window's close to the next one's opening
DAY_START_S = 85.0    # no fault before the day's first attempt has had its chance
DAY_END_S = 50.0      # nor so late that it would run into the close
END_MARGIN_S = 180.0
CLOSE_LINE = "Encerrando Conexão PROGRAMADA: "
SUMMARY_LINE = "RESUMO DO DIA"


def threads(pid):
    return len(os.listdir("/proc/%d/task" % pid))


def anon_mb(pid):
    """The program's own memory (heap, stacks), without the pages of its libraries' code, which
    the kernel reads in as new paths of it first run."""
    return rss_mb(pid, "RssAnon")


def thread_names(pid):
    names = []
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
                names.append(f.read().strip())
        except OSError:
            pass
    return sorted(names)


def boxes_open(pid):
    """Windows of the program on screen other than the main window and the tray icon."""
    r = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)], capture_output=True, text=True)
    count = 0
    for w in r.stdout.split():
        name = subprocess.run(["xdotool", "getwindowname", w], capture_output=True, text=True).stdout.strip()
        geometry = subprocess.run(["xdotool", "getwindowgeometry", w], capture_output=True, text=True).stdout
        size = [line.split()[-1] for line in geometry.splitlines() if "Geometry:" in line]
        width = int(size[0].split("x")[0]) if size else 0
        if name and name != MAIN_TITLE and width > 64:
            count += 1
    return count


class Soak:
    def __init__(self, args):
        self.args = args
        self.rnd = random.Random(args.seed)
        self.faults = []
        # The last window closes END_MARGIN_S after the run's end, so that the end is counted
        # while the stream plays, as the start is.
        length = (args.seconds + END_MARGIN_S - (DAYS - 1) * GAP_S) / DAYS
        self.shift_file = os.path.join(os.environ.get("TMPDIR", "/tmp"), "sonaris-faults-clock-%d" % os.getpid())
        self.days = Days(self.shift_file, datetime.date.today(), length, GAP_S, DAYS)
        per_kind = args.per_kind
        self.plan_stream = [k for k in STREAM_KINDS for _ in range(per_kind)]
        self.plan_output = [k for k in OUTPUT_KINDS for _ in range(per_kind)]
        self.rnd.shuffle(self.plan_stream)
        self.rnd.shuffle(self.plan_output)
        self.restarts = []
        self.warmup = []

    # --- the faults
    def inject(self, kind):
        at = time.monotonic()
        duration = 0.0
        if kind == "source_kill":
            self.station.kill_source()
            timer = threading.Timer(self.rnd.uniform(3, 15), self.station.start_source)
            timer.start()
            self.restarts.append(timer)
        elif kind == "source_pause":
            duration = self.rnd.uniform(5, 25)
            self.station.pause_source(duration)
        elif kind == "source_silence":
            duration = 40.0
            self.station.send_silence(duration)
        elif kind == "stream_garbage":
            self.station.inject_garbage()
        elif kind == "server_restart":
            duration = self.rnd.uniform(2, 6)
            self.pulse.kill()
            time.sleep(duration)
            self.pulse.start()
        elif kind == "sink_unload":
            duration = 5.0
            self.pulse.unload_sink()
            time.sleep(duration)
            self.pulse.load_sink()
        self.faults.append({"kind": kind, "at": at, "duration": duration})
        pid = self.program.proc.pid
        print("# %7.1f s  %-15s%s  (rss %.1f MB, anon %.1f MB, %d threads, %d files before it)"
              % (at - self.days.opens[0], kind, " %4.1f s" % duration if duration else "       ", rss_mb(pid),
                 anon_mb(pid), threads(pid), fds(pid)), file=sys.stderr, flush=True)

    def fault_room(self, now):
        k = self.days.window_of(now)
        if k is None:
            return 0.0
        opens = self.days.opens[k]
        if now < opens + DAY_START_S:
            return 0.0
        return opens + self.days.length - DAY_END_S - now

    def next_kind(self):
        """A stream fault while the stream is heard, an output fault at other times; once the
        plan is spent, any kind."""
        # After a stream fault the player's buffer plays on for up to icecast's burst (16 s): the
        # station heard then is not yet a connection that a new fault would hit.
        last_stream_fault = max([f["at"] for f in self.faults if f["kind"] in STREAM_KINDS], default=-1e9)
        source_up = self.station.source_alive() and not any(timer.is_alive() for timer in self.restarts) and \
            time.monotonic() - last_stream_fault > 30
        if source_up and self.recorder.hearing_stream(5.0):
            if self.plan_stream:
                return self.plan_stream.pop()
            if not self.plan_output:
                return self.rnd.choice(STREAM_KINDS + OUTPUT_KINDS)
        if self.plan_output and self.rnd.random() < 0.02:
            return self.plan_output.pop()
        return None

    def run_faults(self, end):
        last = 0.0
        while time.monotonic() < end:
            now = time.monotonic()
            if now - last < 6 or self.fault_room(now) < 45:
                time.sleep(0.5)
                continue
            kind = self.next_kind()
            if kind is None:
                time.sleep(0.5)
                continue
            time.sleep(self.rnd.uniform(1, 6))
            self.inject(kind)
            last = time.monotonic()

    def heaptrack_env(self, output):
        """For whoever hunts a leak: the program's allocations recorded by heaptrack's preload
        (as `heaptrack PROGRAM` would) into OUTPUT, for heaptrack_print."""
        lib = "/usr/lib/heaptrack"
        pipe = output + ".fifo"
        if os.path.exists(pipe):
            os.unlink(pipe)
        os.mkfifo(pipe)
        self.interpreter = subprocess.Popen("'%s/libexec/heaptrack_interpret' < '%s' | zstd -c > '%s'" % (lib, pipe, output),
                                            shell=True)
        return {"DUMP_HEAPTRACK_OUTPUT": pipe,
                "LD_PRELOAD": "%s/libheaptrack_preload.so:%s" % (lib, os.path.abspath(self.args.clock_shift))}

    # --- the run
    def run(self):
        args = self.args
        self.station = BadStation()
        try:
            with PulseServer() as pulse, Desktop() as desktop:
                self.pulse = pulse
                self.recorder = Recorder(pulse.env(), SINK + ".monitor", STREAM_HZ, LOCAL_HZ)
                env = dict(pulse.client_env(), LD_PRELOAD=os.path.abspath(args.clock_shift), WALLCLOCK_SHIFT_FILE=self.shift_file)
                if args.heaptrack:
                    env.update(self.heaptrack_env(args.heaptrack))
                program = Sonaris(desktop, os.path.abspath(args.sonaris), window=self.days.window_times(), env=env,
                                  music=[("A.WAV", LOCAL_HZ, 12), ("B.WAV", LOCAL_HZ, 9), ("C.WAV", LOCAL_HZ, 15)])
                self.program = program
                try:
                    self.days.begin(first_open_in=40.0)
                    program.start()
                    program.press("Ativar")
                    return self.measure(program)
                finally:
                    self.recorder.stop()
                    program.cleanup()
        finally:
            for timer in self.restarts:
                timer.cancel()
            self.station.stop()
            try:
                os.unlink(self.shift_file)
            except OSError:
                pass

    def measure(self, program):
        pid = program.proc.pid
        first_open = self.days.opens[0]
        end = first_open + self.args.seconds
        # Warm-up: the day's first stream and one drop and return, so that the local-music path
        # has run once before memory, files and threads are counted.
        wait_until(lambda: self.recorder.hearing_stream(), DAY_START_S + 30, what="the first stream")
        self.warmup = [{"kind": "source_kill", "at": time.monotonic(), "duration": 0.0}]
        self.station.kill_source()
        time.sleep(5)
        self.station.start_source()
        # The player's buffer plays on for a while after the kill: the stream is back once the
        # history has its second connection and the station is heard after it.
        wait_until(lambda: self.history(program, 0).count("Sonaris") >= 2, 150, what="the reconnection")
        wait_until(lambda: self.recorder.hearing_stream(5.0), 60, what="the stream back after the warm-up")
        time.sleep(35)  # the toolkit's pooled threads of the start-up end after 30 s idle
        start = (rss_mb(pid), fds(pid), threads(pid), anon_mb(pid))
        names = thread_names(pid)
        self.run_faults(end - 30)
        time.sleep(max(0.0, end - time.monotonic()))
        # The players' threads and files come and go with what plays: the end is counted, like
        # the start, while the stream alone plays.
        try:
            wait_until(lambda: not program.alive() or self.recorder.hearing_stream(5.0), END_MARGIN_S - 30,
                       what="the stream alone at the end")
        except AssertionError as e:
            print("# %s" % e, file=sys.stderr)
        stop = (rss_mb(pid), fds(pid), threads(pid), anon_mb(pid)) if program.alive() else (0.0, 0, 0, 0.0)
        if program.alive():
            # For whoever hunts a leak (not a figure): the threads that came or went.
            later = thread_names(pid)
            print("# threads at the start: %s" % " ".join(names), file=sys.stderr)
            print("# threads at the end:   %s" % " ".join(later), file=sys.stderr)
        alive = program.alive()
        boxes = boxes_open(pid) if alive else 0
        self.report(program, start, stop, alive, boxes, end)
        return 0 if alive else 1

    def report(self, program, start, stop, alive, boxes, end):
        blocks = self.recorder.since(0)
        blocks = [b for b in blocks if b[0] <= end]
        print("faults_injected=%d" % len(self.faults))
        kinds = STREAM_KINDS + OUTPUT_KINDS
        for kind in kinds:
            times = sorted(recovery_s(blocks, f["at"], allowance(kind, f["duration"]) + 5)
                           for f in self.faults if f["kind"] == kind)
            print("faults_%s=%d" % (kind, len(times)))
            if times:
                print("recover_s_%s_median=%.1f" % (kind, times[len(times) // 2]))
                print("recover_s_%s_max=%.1f" % (kind, times[-1]))
        # The warm-up's drop has its hand-overs too, though it is not counted among the faults.
        stretches = unexplained_silence(blocks, self.days.opens, self.days.length, self.warmup + self.faults)
        print("silent_s_inside_window=%.1f" % silent_inside_windows(stretches))
        for quiet_from, quiet_to in stretches:
            # For whoever looks for the cause: where the silence fell, and the fault before it.
            before = [f for f in self.faults if f["at"] <= quiet_from]
            last = ("%s %.1f s before" % (before[-1]["kind"], quiet_from - before[-1]["at"])) if before else "no fault"
            print("# silence %.1f s at %.1f s (%s)" % (quiet_to - quiet_from, quiet_from - self.days.opens[0], last),
                  file=sys.stderr)
        closes = self.days.closes()
        expected = done = 0
        for k in range(DAYS - 1):
            expected += 1
            lines = self.history(program, k)
            if any(line.startswith(CLOSE_LINE) for line in lines) and \
                    silent_after_close(blocks, closes[k], self.days.opens[k + 1]):
                done += 1
        print("closes_expected=%d" % expected)
        print("closes_done=%d" % done)
        print("day_summaries=%d" % sum(1 for k in range(DAYS) for line in self.history(program, k)
                                       if line.startswith(SUMMARY_LINE)))
        print("rss_start_mb=%.1f" % start[0])
        print("rss_end_mb=%.1f" % stop[0])
        print("rss_anon_start_mb=%.1f" % start[3])
        print("rss_anon_end_mb=%.1f" % stop[3])
        print("fds_start=%d" % start[1])
        print("fds_end=%d" % stop[1])
        print("threads_start=%d" % start[2])
        print("threads_end=%d" % stop[2])
        print("alive=%d" % (1 if alive else 0))
        print("boxes_open_end=%d" % boxes)

    def history(self, program, k):
        path = program.history_file(self.days.date(k))
        if not os.path.exists(path):
            return []
        return [line[11:] if len(line) > 11 and line[8:11] == " - " else line for line in cp1252_lines(path)]


def main():
    # Stopped by a signal, the run still takes its servers and the program down with it.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    ap = argparse.ArgumentParser()
    ap.add_argument("--sonaris", required=True)
    ap.add_argument("--clock-shift", required=True, help="wallclock_shift.so")
    ap.add_argument("--seconds", type=int, default=1800)
    ap.add_argument("--per-kind", type=int, default=4)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--heaptrack", help="record the program's allocations into this .zst file")
    args = ap.parse_args()
    return Soak(args).run()


if __name__ == "__main__":
    sys.exit(main())
