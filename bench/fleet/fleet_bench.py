"""fleet_bench.py --shops-program BIN --page DIR [--seconds S] N...: see run.sh. For each N, a
fresh broker on free ports and N shops; figures are named fleet_n<N>_*.

Then the office pushes one version of a shop's settings (a week's schedule, the volume) to every
shop from the page ("Aplicar às N lojas filtradas"); each shop checks it and writes the player's
files into its own folder on a tmpfs, and answers on config/aplicada. Figures fleet_n<N>_push_*:
the time from the click to the last "aplicada" at a plain subscriber and on the page, the
broker's CPU meanwhile. Last, the page's memory (its JavaScript heap after a collection, and the
resident memory of its renderer) once loaded, after the push, and FLEET_PAGE_MINUTES (3) later
with one shop's panel and history open.

Each time is taken twice: at a plain MQTT subscriber to the watched shops (mosquitto_sub),
which is the broker's part, and on the page, which adds the browser's. Times on the page are
taken in the page itself: a MutationObserver notes Date.now() when the watched row is drawn
with the awaited state, and fleet-shops notes the wall clock when it hands the message to
libmosquitto, so neither selenium's polling nor its round trips are counted.
The broker's CPU is the time on a CPU of its threads (/proc/PID/task/*/schedstat) over the
window, with every shop publishing and the page subscribed to all of it. Messages are counted
at both ends (the acknowledgements fleet-shops gets, the messages the page gets): Mosquitto
2.0's $SYS counts of PUBLISH packets leave out some of them."""

import argparse
import json
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "e2e"))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "soak"))
from e2elib import fleet_login, headless_chromium, wait_until  # noqa: E402
from soak import rss_mb  # noqa: E402

# Not the shops' starting "stream": each flip is a change the page has to show.
FLIPS = ["silencio", "local", "saida_perdida", "fora_do_horario", "silencio", "local", "saida_perdida"]
CUT, MUTES = 1, [2, 4, 5, 6, 7]  # the shop whose process dies, those whose line goes dead

WATCH_JS = """
window.seen = {}; window.watch = {}; window.received = 0;
cliente.on('message', () => { window.received++; });
const corpo = document.getElementById('lojas');
new MutationObserver(() => {
  const t = Date.now();
  for (const [loja, estado] of Object.entries(window.watch)) {
    const tr = corpo.querySelector('tr[data-loja="' + loja + '"]');
    if (tr && tr.dataset.estado === estado) { window.seen[loja] = t; delete window.watch[loja]; }
  }
}).observe(corpo, {childList: true});
"""


# Every row "aplicada": noted in the page when it is drawn, as the states' times are.
PUSH_JS = """
window.pushShown = null;
const alvo = arguments[0];
const corpo = document.getElementById('lojas');
new MutationObserver((_, observador) => {
  if (corpo.querySelectorAll('tr[data-config="aplicada"]').length === alvo) {
    window.pushShown = Date.now();
    observador.disconnect();
  }
}).observe(corpo, {childList: true});
"""

# The office's form: every day 08:00 to 22:00 but Saturday's night, the volume at 40.
FORM_JS = """
const marca = (id) => { const c = document.getElementById(id); if (!c.checked) c.click(); };
marca('alterar-horarios');
marca('alterar-volume');
for (let i = 0; i < 7; i++) {
  document.getElementById('inicio-' + i).value = i === 6 ? '20:00:00' : '08:00:00';
  document.getElementById('fim-' + i).value = i === 6 ? '02:00:00' : '22:00:00';
}
document.getElementById('volume').value = '40';
document.getElementById('motivo').value = 'Horário de fim de ano';
window.confirm = () => true;
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def cpu_s(pid):
    total = 0
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                total += int(f.read().split()[0])
        except OSError:
            continue
    return total / 1e9


def page_memory(browser):
    """The page's JavaScript heap after a full collection, and the resident memory of its
    renderer (of those under this chromedriver, the one with the most private memory: Chromium
    keeps a spare and others for itself), in MB."""
    heap = browser.execute_script("window.gc(); return performance.memory.usedJSHeapSize;") / 2 ** 20
    parents = {}
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as f:
                parents[int(entry)] = int(f.read().rpartition(")")[2].split()[1])
        except (OSError, ValueError):
            continue
    renderers, pending = [], [browser.service.process.pid]
    while pending:
        pid = pending.pop()
        pending += [child for child, parent in parents.items() if parent == pid]
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                if b"--type=renderer" in f.read():
                    renderers.append((rss_mb(pid, "RssAnon"), rss_mb(pid)))
        except OSError:
            continue
    return heap, max(renderers)[1] if renderers else 0.0


class Subscriber:
    """mosquitto_sub on some topics: each message, with the shop it names and when it arrived
    (wall clock, ms), handed to take() under the lock."""

    def __init__(self, port, topics):
        self.proc = subprocess.Popen(["mosquitto_sub", "-p", str(port), "-q", "1", "-v"] + sum((["-t", t] for t in topics), []),
                                     stdout=subprocess.PIPE, text=True)
        self.lock = threading.Lock()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for line in self.proc.stdout:
            at = time.time() * 1e3
            topic, _, payload = line.partition(" ")
            message = json.loads(payload)
            with self.lock:
                self.take(topic.split("/")[1], message, at)

    def stop(self):
        self.proc.kill()
        self.proc.wait()


class Answers(Subscriber):
    """Every shop's config/aplicada: its last answer and when it arrived."""

    def __init__(self, port):
        self.arrived = {}
        super().__init__(port, ["sonaris/+/config/aplicada"])

    def take(self, shop, answer, at):
        self.arrived[shop] = (answer["versao"], answer["resultado"], at)

    def of(self, version):
        with self.lock:
            return [(r, at) for v, r, at in self.arrived.values() if v == version]


def push(args, name, count, broker, shops, browser):
    """One version to every shop from the page; see the module's text."""
    # The shop killed and those whose line died answer when they are back: not in this run.
    live = count - len([CUT] + MUTES)
    answers = Answers(broker.port)
    try:
        time.sleep(1)
        browser.execute_script(FORM_JS)
        browser.execute_script(PUSH_JS, live)
        cpu0, shops_cpu0 = cpu_s(broker.proc.pid), cpu_s(shops.proc.pid)
        clicked, queued = browser.execute_script(
            "const t0 = Date.now(); document.getElementById('aplicar-filtradas').click(); return [t0, Date.now()];")
        wait_until(lambda: len(answers.of(1)) == live, 180, step=0.1,
                   what="every shop's answer (%d of %d)" % (len(answers.of(1)), live))
        cpu1, shops_cpu1 = cpu_s(broker.proc.pid), cpu_s(shops.proc.pid)
        elapsed = time.time() - clicked / 1e3
        got = answers.of(1)
        times = sorted(at - clicked for _, at in got)
        print(name + "push_shops_online=%d" % live)
        print(name + "push_page_queued_ms=%.0f" % (queued - clicked))
        received = shops.ask("desired")
        print(name + "push_to_first_received_s=%.2f" % ((float(received[2]) - clicked) / 1e3))
        print(name + "push_to_last_received_s=%.2f" % ((float(received[3]) - clicked) / 1e3))
        print(name + "push_to_first_applied_s=%.2f" % (times[0] / 1e3))
        print(name + "push_to_median_applied_s=%.2f" % (statistics.median(times) / 1e3))
        print(name + "push_to_last_applied_s=%.2f" % (times[-1] / 1e3))
        print(name + "push_applied=%d" % sum(1 for r, _ in got if r == "aplicada"))
        print(name + "push_refused=%d" % sum(1 for r, _ in got if r != "aplicada"))
        print(name + "push_broker_cpu_s=%.2f" % (cpu1 - cpu0))
        print(name + "push_broker_cpu_pct=%.1f" % ((cpu1 - cpu0) * 100 / elapsed))
        print(name + "push_shops_cpu_s=%.2f" % (shops_cpu1 - shops_cpu0))
        try:
            wait_until(lambda: browser.execute_script("return window.pushShown"), 120, what="the page")
            print(name + "push_to_page_all_applied_s=%.2f" %
                  ((browser.execute_script("return window.pushShown") - clicked) / 1e3))
        except AssertionError:
            print(name + "push_to_page_all_applied_not_shown=1")
        sys.stdout.flush()
    finally:
        answers.stop()


def shop(i):
    return "loja-%05d" % i


class Shops:
    """fleet-shops, spoken to through its stdin and stdout."""

    def __init__(self, program, port, count, folder):
        self.proc = subprocess.Popen([program, "--port", str(port), "--shops", str(count), "--folder", folder],
                                     stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True, bufsize=1)

    def line(self):
        text = self.proc.stdout.readline()
        if not text:
            raise AssertionError("fleet-shops ended")
        return text.split()

    def ask(self, command):
        self.proc.stdin.write(command + "\n")
        self.proc.stdin.flush()
        return self.line()

    def stop(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=10)


class Watcher(Subscriber):
    """The watched shops' states: when each state arrived."""

    def __init__(self, port, shops):
        self.arrived = []
        super().__init__(port, ["sonaris/%s/estado" % s for s in shops])

    def take(self, shop, state, at):
        self.arrived.append((shop, state.get("agora") if state["online"] else "offline", at))

    def first(self, shop, state, after):
        with self.lock:
            return next((at for s, st, at in self.arrived if s == shop and st == state and at >= after), None)


class Broker:
    def __init__(self, page):
        self.port, self.ws = free_port(), free_port()
        self.dir = tempfile.mkdtemp(prefix="sonaris-fleet-bench-")
        conf = os.path.join(self.dir, "mosquitto.conf")
        with open(conf, "w") as f:
            # Run as root, Mosquitto would drop to its own user, who may not read the page.
            f.write(("user root\n" if os.geteuid() == 0 else "") +
                    "persistence false\nallow_anonymous true\n"
                    # The page takes every shop's state and account at once when it subscribes.
                    "max_queued_messages 100000\n"
                    "listener %d 127.0.0.1\nlistener %d\nprotocol websockets\nhttp_dir %s\n" %
                    (self.port, self.ws, os.path.abspath(page)))
        self.proc = subprocess.Popen(["/usr/sbin/mosquitto", "-c", conf], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        wait_until(lambda: subprocess.run(["curl", "-s", "-o", "/dev/null", "-m", "1",
                                           "http://127.0.0.1:%d/index.html" % self.ws]).returncode == 0, 10,
                   what="the broker's page")

    def stop(self):
        self.proc.kill()
        self.proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


def run(args, count):
    name = "fleet_n%d_" % count
    flipped = [3 + k * (count - 3) // len(FLIPS) for k in range(len(FLIPS))]
    broker = Broker(args.page)
    shops = browser = watcher = None
    profile = tempfile.mkdtemp(prefix="sonaris-chromium-")
    # The shops' program folders, where they write what the office sends: on a tmpfs, as the
    # disk of 5,000 PCs is not this machine's.
    files = tempfile.mkdtemp(prefix="sonaris-fleet-shops-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    try:
        idle_rss = rss_mb(broker.proc.pid)
        shops = Shops(args.shops_program, broker.port, count, os.path.join(files, "lojas"))
        ready = shops.line()
        assert ready[0] == "ready" and int(ready[1]) == count, ready
        print(name + "connect_all_s=%s" % ready[2])
        watcher = Watcher(broker.port, [shop(i) for i in [CUT] + MUTES + flipped])

        browser = headless_chromium(profile, flags=("--js-flags=--expose-gc", "--enable-precise-memory-info"))
        t0 = time.monotonic()
        browser.get("http://127.0.0.1:%d/index.html" % broker.ws)
        # The bench's broker takes anyone; the page asks all the same.
        fleet_login(browser, "escritorio.frota", "bench")
        rows = lambda: browser.execute_script("return document.querySelectorAll('#lojas tr').length")  # noqa: E731
        wait_until(lambda: rows() == count, 180, step=0.5, what="%d rows (%d)" % (count, rows()))
        print(name + "page_all_rows_s=%.1f" % (time.monotonic() - t0))
        loaded = time.monotonic()
        memory = {"loaded": page_memory(browser)}
        browser.execute_script(WATCH_JS)
        on_page = lambda s: browser.execute_script("return window.seen[arguments[0]]", s)  # noqa: E731

        start = time.monotonic()
        cpu0, stats0 = cpu_s(broker.proc.pid), shops.ask("stats")
        received0 = browser.execute_script("return window.received")
        for i in [CUT] + MUTES:
            browser.execute_script("window.watch[arguments[0]] = 'offline';", shop(i))
        cut_at = float(shops.ask("cut %d" % CUT)[2])
        mute_at = {i: float(shops.ask("mute %d" % i)[2]) for i in MUTES}
        flips = []
        for i, state in zip(flipped, FLIPS):
            browser.execute_script("window.watch[arguments[0]] = arguments[1];", shop(i), state)
            at = float(shops.ask("flip %d %s" % (i, state))[2])
            flips.append((shop(i), state, at))
            time.sleep(3)
        # A dead line's will comes after the keep-alive and a half (45 s) since the shop's last
        # message.
        wait_until(lambda: all(watcher.first(shop(i), "offline", at) for i, at in mute_at.items()), 80,
                   what="the dead lines' wills")
        time.sleep(max(0.0, args.seconds - (time.monotonic() - start)))
        elapsed = time.monotonic() - start
        cpu1, stats1 = cpu_s(broker.proc.pid), shops.ask("stats")
        received = browser.execute_script("return window.received") - received0
        sent = int(stats1[2]) - int(stats0[2])
        rss = rss_mb(broker.proc.pid)
        # A page that has fallen behind gets a minute more to show the rest.
        try:
            wait_until(lambda: all(on_page(shop(i)) for i in [CUT] + MUTES + flipped), 60,
                       what="the page")
        except AssertionError:
            pass

        cpu = cpu1 - cpu0
        print(name + "window_s=%.0f" % elapsed)
        print(name + "broker_cpu_s_per_min=%.2f" % (cpu * 60 / elapsed))
        print(name + "broker_cpu_pct=%.1f" % (cpu * 100 / elapsed))
        print(name + "broker_rss_mb=%.1f" % rss)
        print(name + "broker_kb_per_shop=%.1f" % ((rss - idle_rss) * 1024 / count))
        # In: the shops' messages the broker acknowledged. Out: what the page received of them.
        print(name + "msgs_in_per_s=%.0f" % (sent / elapsed))
        print(name + "msgs_out_per_s=%.0f" % (received / elapsed))
        print(name + "broker_cpu_ms_per_1000_msgs=%.1f" % (cpu * 1e6 / max(1, sent + received)))

        def figure(label, times, unit=1.0, fmt="%.0f"):
            got = [t for t in times if t is not None]
            if got:
                print(name + label + "_median=" + fmt % (statistics.median(got) / unit))
                print(name + label + "_worst=" + fmt % (max(got) / unit))
            if len(got) < len(times):
                print(name + label + "_not_shown=%d" % (len(times) - len(got)))

        def since(at, seen):
            return None if seen is None else seen - at

        figure("change_to_subscriber_ms", [since(at, watcher.first(s, st, at)) for s, st, at in flips])
        figure("change_to_page_ms", [since(at, on_page(s)) for s, _, at in flips])
        figure("killed_to_will_s", [since(cut_at, watcher.first(shop(CUT), "offline", cut_at))], 1e3, "%.1f")
        figure("killed_to_page_s", [since(cut_at, on_page(shop(CUT)))], 1e3, "%.1f")
        figure("dead_line_to_will_s", [since(at, watcher.first(shop(i), "offline", at)) for i, at in mute_at.items()],
               1e3, "%.1f")
        figure("dead_line_to_page_s", [since(at, on_page(shop(i))) for i, at in mute_at.items()], 1e3, "%.1f")
        print("# %sconnections lost: %s" % (name, stats1[4]), file=sys.stderr)
        sys.stdout.flush()

        push(args, name, count, broker, shops, browser)
        memory["pushed"] = page_memory(browser)
        # A wall screen: one shop open with its history coming in, every shop's state going on.
        browser.execute_script("document.querySelector('tr[data-loja=\"%s\"]').click();" % shop(count - 1))
        time.sleep(args.page_minutes * 60)
        memory["later"] = page_memory(browser)
        print(name + "page_minutes_open=%.1f" % ((time.monotonic() - loaded) / 60))
        for when, (heap, rss) in memory.items():
            print(name + "page_js_heap_mb_%s=%.1f" % (when, heap))
            print(name + "page_renderer_rss_mb_%s=%.1f" % (when, rss))
        print(name + "page_history_lines=%d" % browser.execute_script(
            "return document.getElementById('historico-linhas').textContent.split('\\n').length"))
    finally:
        if browser:
            browser.quit()
        if watcher:
            watcher.stop()
        if shops:
            shops.stop()
        broker.stop()
        shutil.rmtree(profile, ignore_errors=True)
        shutil.rmtree(files, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--shops-program", required=True)
    ap.add_argument("--page", required=True)
    ap.add_argument("--seconds", type=int, default=60)
    ap.add_argument("--page-minutes", type=float, default=3)
    ap.add_argument("counts", nargs="+", type=int)
    args = ap.parse_args()
    for count in args.counts:
        run(args, count)
    return 0


if __name__ == "__main__":
    sys.exit(main())
