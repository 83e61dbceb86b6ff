"""tray_cpu.py --sonaris BIN --engine BIN [--seconds N]: see run.sh. CPU time is the time on a CPU
of every thread, from /proc/PID/task/*/schedstat (nanoseconds: the clock-tick figures of
/proc/PID/stat sample which thread the tick found running, too coarse for a process that wakes
for a few microseconds at a time), over the same window for the three processes; all three play
to outputs paced in real time (SDL's dummy driver, mpv's null output). sonaris_wakeups_per_s is
the voluntary context switches of all the program's threads per second: how often it sleeps.
On stderr, for whoever tunes it: each thread's time and wake-ups, and where the resident set lies
(libraries' pages read from their files and those written, heap, stacks, the window's pixels
shared with the X server, other files such as the program itself) with the largest libraries."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "e2e"))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "soak"))
from e2elib import MAIN_TITLE, Desktop, Sonaris, Station, wait_until  # noqa: E402
from scenarios import LOCAL_HZ, today_window  # noqa: E402
from soak import rss_mb  # noqa: E402

URL = "http://127.0.0.1:9500"


def threads_cpu_s(pid):
    """{thread name: [seconds on a CPU, wake-ups]} of PID's live threads (same names summed).
    Threads that end inside the window take their time with them: none of the three players
    starts or ends threads while it plays on."""
    out = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        task = "/proc/%d/task/%s/" % (pid, tid)
        try:
            with open(task + "comm") as f:
                name = "ui-thread" if tid == str(pid) else f.read().strip()
            with open(task + "schedstat") as f:
                ran_ns = int(f.read().split()[0])
            with open(task + "status") as f:
                wakes = sum(int(line.split()[1]) for line in f if line.startswith("voluntary_ctxt"))
        except OSError:  # the thread ended meanwhile
            continue
        spent = out.setdefault(name, [0.0, 0])
        spent[0] += ran_ns / 1e9
        spent[1] += wakes
    return out


def memory_parts(pid):
    """(parts, libraries): PID's resident set in kB by kind of page from /proc/PID/smaps, and by
    shared library. A library's pages read from its file (code, constant data, the tables the
    loader reads) are apart from those the loader and its constructors wrote (relocations, data);
    anonymous memory that holds a thread's stack pointer is that thread's stack."""
    stack_pointers = []
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/syscall" % (pid, tid)) as f:
                fields = f.read().split()
            stack_pointers.append(int(fields[-2], 16))
        except (OSError, ValueError, IndexError):  # running, ended or not to be read
            continue
    parts, libraries, mapping = {}, {}, None
    with open("/proc/%d/smaps" % pid) as f:
        for line in f:
            head = line.split(None, 5)
            if "-" in head[0] and not head[0].endswith(":"):
                start, end = (int(x, 16) for x in head[0].split("-"))
                mapping = {"start": start, "end": end, "inode": head[4] if len(head) > 4 else "0",
                           "path": head[5].strip() if len(head) > 5 else ""}
                continue
            if head[0] == "Rss:":
                mapping["rss"] = int(head[1])
            elif head[0] == "Private_Dirty:":
                mapping["dirty"] = int(head[1])
            elif head[0] == "VmFlags:":
                rss, dirty, path = mapping.get("rss", 0), mapping.get("dirty", 0), mapping["path"]
                if path.startswith("/") and mapping["inode"] != "0" and ".so" in os.path.basename(path):
                    name = os.path.basename(path)
                    libraries[name] = libraries.get(name, 0) + rss
                    kinds = {"libraries: pages read from their files": rss - dirty,
                             "libraries: pages written (relocations, data)": dirty}
                elif path.startswith("/memfd:") or path.startswith("/SYSV"):
                    kinds = {"shared memory (window pixels for the X server)": rss}
                elif path.startswith("/") and mapping["inode"] != "0":
                    kinds = {"other files (the program, fonts, locale, caches, translations)": rss}
                elif path == "[stack]" or any(mapping["start"] <= sp < mapping["end"] for sp in stack_pointers):
                    kinds = {"thread stacks": rss}
                else:
                    kinds = {"heap and other anonymous memory": rss}
                for kind, kb in kinds.items():
                    parts[kind] = parts.get(kind, 0) + kb
    return parts, libraries


def private_mb(pid):
    """PID's resident pages that no other process maps, in MB (/proc/PID/smaps_rollup)."""
    kb = 0
    with open("/proc/%d/smaps_rollup" % pid) as f:
        for line in f:
            if line.startswith(("Private_Clean:", "Private_Dirty:")):
                kb += int(line.split()[1])
    return kb / 1024.0


def cpu_s(pid):
    """Seconds on a CPU of PID's live threads so far."""
    return sum(cpu for cpu, _ in threads_cpu_s(pid).values())


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sonaris", required=True)
    ap.add_argument("--engine", required=True)
    ap.add_argument("--seconds", type=int, default=60)
    ap.add_argument("--music", help="an audio file put into MUSICAS/ --music-count times (linked), so that the "
                    "window falls inside the measuring of the folder")
    ap.add_argument("--music-count", type=int, default=200)
    ap.add_argument("--fleet", action="store_true", help="the shop on a broker on this machine (FROTA.INI) that "
                    "accepts the office's settings (REMOTO=1)")
    args = ap.parse_args()
    station = Station().start()
    others = []
    broker = None
    files = {}
    if args.fleet:
        broker = subprocess.Popen(["/usr/sbin/mosquitto", "-p", "1883"], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        files["FROTA.INI"] = "SERVIDOR=mqtt://127.0.0.1:1883\r\nLOJA=loja-bancada\r\nREMOTO=1\r\n"
        heard = tempfile.TemporaryFile()
        time.sleep(0.5)
        # What the office would receive, to show that the shop was on the broker all along.
        listener = subprocess.Popen(["mosquitto_sub", "-p", "1883", "-t", "sonaris/loja-bancada/#"],
                                    stdout=heard, stderr=subprocess.DEVNULL)
    try:
        with Desktop() as desktop:
            program = Sonaris(desktop, os.path.abspath(args.sonaris), window=today_window(7200, 7200),
                              autostart=True, music=[("LOCAL.WAV", LOCAL_HZ, 20)], files=files,
                              # Like the engine, the program plays to a paced output that writes
                              # nowhere; and on a shop's desktop no screen reader listens.
                              env={"SDL_AUDIODRIVER": "dummy", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "0",
                                   "QT_ACCESSIBILITY": "0"})
            if args.music:
                for i in range(args.music_count):
                    target = os.path.join(program.folder, "MUSICAS", "F%04d.MP3" % i)
                    try:
                        os.link(args.music, target)
                    except OSError:
                        shutil.copy(args.music, target)
            try:
                program.start(wait_window=False)
                wait_until(lambda: "Sonaris" in program.history(), 90, what="the stream playing")
                wait_until(lambda: not desktop.windows(MAIN_TITLE), 30, what="the window in the tray")
                quiet = dict(os.environ, SDL_AUDIODRIVER="dummy")
                others.append(subprocess.Popen([args.engine, "--aac", "--seconds", str(args.seconds + 60), URL],
                                               env=quiet, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
                others.append(subprocess.Popen(["mpv", "--no-config", "--ao=null", "--no-video", URL],
                                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
                time.sleep(8)  # every player past its connection and pre-fill
                pids = [program.proc.pid] + [p.pid for p in others]
                before = [cpu_s(pid) for pid in pids]
                threads_before = threads_cpu_s(program.proc.pid)
                time.sleep(args.seconds)
                after = [cpu_s(pid) for pid in pids]
                threads_after = threads_cpu_s(program.proc.pid)
                wakes = sum(w - threads_before.get(name, (0, 0))[1] for name, (_, w) in threads_after.items())
                rss = rss_mb(program.proc.pid)
                parts, libraries = memory_parts(program.proc.pid)
                private = private_mb(program.proc.pid)
                alive = program.alive() and all(p.poll() is None for p in others)
                s, e, m = (a - b for a, b in zip(after, before))
                print("sonaris_cpu_s=%.2f" % s)
                print("engine_cpu_s=%.2f" % e)
                print("mpv_cpu_s=%.2f" % m)
                print("tray_ratio=%.2f" % (s / m if m > 0 else 0))
                print("sonaris_rss_mb=%.1f" % rss)
                print("sonaris_wakeups_per_s=%.1f" % (wakes / args.seconds))
                if args.fleet:
                    heard.seek(0)
                    print("fleet_messages=%d" % len(heard.read().splitlines()))
                if args.music:
                    measuring = threads_after.get("loudness", (0, 0))[0] - threads_before.get("loudness", (0, 0))[0]
                    print("sonaris_loudness_cpu_s=%.2f" % measuring)
                    print("sonaris_cpu_s_without_loudness=%.2f" % (s - measuring))
                # Where the program's time went, by thread, for whoever tunes it (not a figure).
                for name in sorted(threads_after):
                    cpu0, wakes0 = threads_before.get(name, (0, 0))
                    cpu1, wakes1 = threads_after[name]
                    if cpu1 > cpu0 or wakes1 > wakes0:
                        print("# thread %-16s %.2f s %6.1f wake-ups/s" % (name, cpu1 - cpu0, (wakes1 - wakes0) / args.seconds),
                              file=sys.stderr)
                # Where the resident set lies, for whoever trims it (not a figure).
                for kind, kb in sorted(parts.items(), key=lambda kv: -kv[1]):
                    print("# memory %-64s %6.1f MB" % (kind, kb / 1024.0), file=sys.stderr)
                # Most library pages are shared with every other process that maps the library.
                print("# memory   of the resident set, private to the program: %.1f MB" % private, file=sys.stderr)
                for name, kb in sorted(libraries.items(), key=lambda kv: -kv[1])[:12]:
                    print("# memory   %-62s %6.1f MB" % (name, kb / 1024.0), file=sys.stderr)
                if not alive:
                    print("tray_cpu=a player ended early", file=sys.stderr)
                    return 1
            finally:
                for p in others:
                    p.kill()
                    p.wait()
                program.cleanup()
    finally:
        station.stop()
        if broker:
            for p in (listener, broker):
                p.kill()
                p.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())
