"""Soak: the real player, activated inside today's window, against a station whose source is
killed and brought back at random intervals. Prints name=value lines:
drops, reconnects, rss_start_mb, rss_end_mb, fds_start, fds_end, silent_s_inside_window
(seconds in which neither the stream nor local music was heard, after the first sound and
beyond the hand-over allowance of each drop). Memory and files are measured from the end of a
warm-up (one drop and return) to the end; rss_first_connection_mb is taken before it."""

import argparse
import os
import random
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "e2e"))
from e2elib import Desktop, Sonaris, Station, wait_until  # noqa: E402
from scenarios import LOCAL_HZ, TONES, today_window  # noqa: E402

HANDOVER_ALLOWANCE_S = 0.5  # per drop: the stream's end to the first local sample


def rss_mb(pid, field="VmRSS"):
    """A memory figure of /proc/PID/status in MB: the resident set, or another field of it."""
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024.0
    return 0.0


def fds(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sonaris", required=True)
    ap.add_argument("--seconds", type=int, default=600)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    rnd = random.Random(args.seed)
    station = Station().start()
    drops = 0
    try:
        with Desktop() as desktop:
            program = Sonaris(desktop, os.path.abspath(args.sonaris), window=today_window(7200, 7200),
                              music=[("A.WAV", LOCAL_HZ, 12), ("B.WAV", LOCAL_HZ, 9), ("C.WAV", LOCAL_HZ, 15)])
            try:
                program.start()
                program.press("Ativar")
                wait_until(lambda: "Sonaris" in program.history(), 60, what="the first connection")
                time.sleep(5)
                pid = program.proc.pid
                rss_first = rss_mb(pid)
                # Warm-up: one whole drop and return, so the local-music path (its decoder,
                # the list, the history's growth) has run once before memory is measured.
                station.kill_source()
                drops += 1
                program.wait_history("PLAY MÚSICAS LOCAIS", 40)
                station.start_source()
                wait_until(lambda: program.history().count("Sonaris") >= 2, 120, what="the first reconnection")
                time.sleep(3)
                rss0, fd0 = rss_mb(pid), fds(pid)
                end = time.monotonic() + args.seconds
                while time.monotonic() < end:
                    time.sleep(min(rnd.uniform(8, 25), max(0, end - time.monotonic())))
                    if time.monotonic() >= end:
                        break
                    station.kill_source()
                    drops += 1
                    time.sleep(min(rnd.uniform(3, 15), max(0, end - time.monotonic())))
                    station.start_source()
                time.sleep(3)
                rss1, fd1 = rss_mb(pid), fds(pid)
                hist = program.history()
                reconnects = max(0, hist.count("Sonaris") - 1)
                labels = program.sound_frames().timeline(TONES)
                first = next((i for i, x in enumerate(labels) if x != "-"), len(labels))
                silent = sum(1 for x in labels[first:] if x == "-") * 0.1
                silent_beyond = max(0.0, silent - drops * HANDOVER_ALLOWANCE_S)
                print("drops=%d" % drops)
                print("reconnects=%d" % reconnects)
                print("rss_first_connection_mb=%.1f" % rss_first)
                print("rss_start_mb=%.1f" % rss0)
                print("rss_end_mb=%.1f" % rss1)
                print("fds_start=%d" % fd0)
                print("fds_end=%d" % fd1)
                print("silent_s_inside_window=%.1f" % silent_beyond)
                print("alive=%d" % (1 if program.alive() else 0))
            finally:
                program.cleanup()
    finally:
        station.stop()


if __name__ == "__main__":
    main()
