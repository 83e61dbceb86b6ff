#!/usr/bin/env python3
"""measure.py OUT LIMIT_S -- COMMAND...: runs COMMAND, interrupts it (SIGINT) if it is still
running after LIMIT_S seconds, and writes "CPU_S HWM_KB EXIT_MAXRSS_KB" to OUT:
CPU_S is its user + system time, HWM_KB the peak resident memory read from /proc while it
runs (its last reading before the exit), EXIT_MAXRSS_KB the kernel's figure at exit, which
also counts the pages the dynamic loader touches running every library's destructors."""
import resource
import signal
import subprocess
import sys
import time

out, limit = sys.argv[1], float(sys.argv[2])
command = sys.argv[sys.argv.index("--") + 1:]
child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
started = time.monotonic()
hwm = 0
while child.poll() is None:
    try:
        with open("/proc/%d/status" % child.pid) as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    hwm = max(hwm, int(line.split()[1]))
    except OSError:
        pass
    if time.monotonic() - started > limit:
        child.send_signal(signal.SIGINT)
        limit = float("inf")
    time.sleep(0.25)
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
with open(out, "w") as f:
    f.write("%.3f %d %d %d\n" % (usage.ru_utime + usage.ru_stime, hwm, usage.ru_maxrss, child.returncode))
