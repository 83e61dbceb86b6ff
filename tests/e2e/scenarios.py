"""Whole-program scenarios: the real sonaris executable in a fresh program folder, driven the
way an operator drives it, judged by what an operator sees (windows, texts, the history file,
the files written) and hears (the captured sound).

    /usr/bin/python3 scenarios.py --sonaris BUILD/sonaris SCENARIO

The station address of the program is fixed (127.0.0.1:9500): ctest runs each scenario in a
network namespace of its own (run_in_netns.sh), so that port is private to it.
"""

import argparse
import json
import shutil
import tempfile
import contextlib
import subprocess
import datetime
import os
import re
import signal
import socket
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(__file__))
from e2elib import (MAIN_TITLE, STREAM_HZ, Desktop, Sonaris, Sound, Station, cp1252_lines,  # noqa: E402
                    fleet_login, headless_chromium, runs, wait_until)

LOCAL_HZ = 1000.0
TONES = {"stream": STREAM_HZ, "local": LOCAL_HZ}
APP_TITLE = "Vendrasil Sonaris-V1 - DEMONSTRATIVO"


def today_window(before_s=3600, after_s=3600):
    now = datetime.datetime.now()
    start = now - datetime.timedelta(seconds=before_s)
    stop = now + datetime.timedelta(seconds=after_s)
    if start.date() != now.date():
        start = now.replace(hour=0, minute=0, second=0)
    if stop.date() != now.date():
        stop = now.replace(hour=23, minute=59, second=59)
    return start.time(), stop.time()


@contextlib.contextmanager
def operator_session(binary, station=False, station_port=9500, desktop_options=None, **program_options):
    """A desktop with the program in a fresh folder (not started), and the station when asked
    for; everything is stopped and removed afterwards, also on failure."""
    st = Station(port=station_port).start() if station else None
    try:
        with Desktop(**(desktop_options or {})) as desktop:
            program = Sonaris(desktop, binary, **program_options)
            try:
                yield desktop, program, st
            finally:
                program.cleanup()
    finally:
        if st:
            st.stop()


def heard(program, seconds_from_end, tone, share=0.7):
    """True when `tone` was the loudest sound in at least `share` of the last seconds."""
    labels = program.sound_frames().timeline(TONES)
    tail = labels[-int(seconds_from_end * 10):]
    return bool(tail) and sum(1 for x in tail if x == tone) >= share * len(tail)


def confirm_box(desktop, program):
    """Answers the program's OK/Cancel question with OK (Enter on its default button)."""
    win = desktop.wait_window("Tavon Sistemas", 10)
    desktop.key(win, "Return")


def close_box(program):
    """The window's close box: the window manager asks the window to close."""
    subprocess.run(["wmctrl", "-i", "-c", program.window], check=False)


def leave_through_sair(desktop, program):
    program.press("Sair")
    confirm_box(desktop, program)
    wait_until(lambda: not program.alive(), 15, what="the program to end")
    hist = program.history()
    assert hist[-3:] == ["ENCERRANDO SISTEMA  - PELO USUÁRIO", "*** SISTEMA DESLIGADO ***", "=" * 37], hist[-4:]


def deactivate(desktop, program):
    program.press("Desativar")
    confirm_box(desktop, program)
    program.wait_history("DESATIVADO PELO USUÁRIO", 10)
    wait_until(lambda: program.a11y.find("Ativar"), 10, what="caption Ativar")
    assert not os.path.exists(program.autostart_path()), "the autostart entry must be gone"


# --- scenarios ------------------------------------------------------------------------------

def first_start(binary):
    with operator_session(binary) as (desktop, program, _):
        program.start()
        for folder in ("MUSICAS", "HISTORICO", "LOGO"):
            assert os.path.isdir(program.folder + folder), folder
        program.wait_history("** INICIADO O SISTEMA **", 10)
        assert program.a11y.has_text("PROGRAMAÇÃO DE ACIONAMENTO NÃO DEFINIDA")
        # The keys of the window.
        program.key("c")
        box = desktop.wait_window(APP_TITLE, 10)
        assert program.a11y.has_text("http://127.0.0.1:9500"), "the C key shows the stream address"
        desktop.key(box, "Return")
        wait_until(lambda: not desktop.windows(APP_TITLE), 10, what="the address box to close")
        program.key("alt+i")
        box = desktop.wait_window(APP_TITLE, 10)
        assert any(t.startswith("-" * 98) for t in program.a11y.texts()), "the Alt+I report"
        desktop.key(box, "Return")
        wait_until(lambda: not desktop.windows(APP_TITLE), 10, what="the report to close")
        program.key("F11")
        editor = desktop.wait_window("Acionamento Automático", 10)
        program.press("Sair", window="Acionamento Automático")
        wait_until(lambda: not desktop.windows("Acionamento Automático"), 10, what="the editor to close")
        del editor
        program.key("F10")
        desktop.wait_window("Configuração", 10)
        program.press("Sair", window="Configuração")
        wait_until(lambda: not desktop.windows("Configuração"), 10, what="the dialog to close")
        leave_through_sair(desktop, program)
        assert not os.path.exists(program.autostart_path())


def stream_heard(binary):
    with operator_session(binary, station=True, window=today_window(),
                          music=[("LOCAL.WAV", LOCAL_HZ, 20)]) as (desktop, program, station):
        program.start()
        program.press("Ativar")
        wait_until(lambda: os.path.exists(program.autostart_path()), 10,
                   what="the autostart entry written by the activation")
        program.wait_history("Carregando Sonaris", 30)
        program.wait_history("Sonaris", 30, count=1)
        wait_until(lambda: "Sonaris" in program.history(), 30, what="'Sonaris' (stream playing)")
        time.sleep(6)
        assert heard(program, 4, "stream"), "the stream must be heard"
        hist = program.history()
        assert hist.index("Carregando Sonaris") < hist.index("Sonaris")
        deactivate(desktop, program)
        time.sleep(3)
        assert heard(program, 1, "-", share=0.9), "both players faded out after deactivation"
        leave_through_sair(desktop, program)


def own_station(binary):
    """ESTACAO.INI points the player at a shop's own station, on another port and path; nothing
    listens on the built-in address."""
    url = "http://127.0.0.1:8123/stream"
    estacao = "NOME=RÁDIO DA LOJA – CENTRO\r\nURL=%s\r\n" % url
    with operator_session(binary, station=True, station_port=8123, window=today_window(),
                          music=[("LOCAL.WAV", LOCAL_HZ, 20)], files={"ESTACAO.INI": estacao}) as (desktop, program, _):
        program.start()
        program.wait_history("** INICIADO O SISTEMA **", 10)
        assert program.a11y.has_text("RÁDIO DA LOJA – CENTRO"), "the station's caption from NOME="
        program.key("c")
        box = desktop.wait_window(APP_TITLE, 10)
        assert program.a11y.has_text(url), "the C key shows the address of ESTACAO.INI"
        desktop.key(box, "Return")
        wait_until(lambda: not desktop.windows(APP_TITLE), 10, what="the address box to close")
        program.press("Ativar")
        program.wait_history("Carregando Sonaris", 30)
        wait_until(lambda: "Sonaris" in program.history(), 30, what="'Sonaris' (stream playing)")
        time.sleep(6)
        assert heard(program, 4, "stream"), "the station of ESTACAO.INI must be heard"
        hist = program.history()
        assert "Erro ao Carregar Sonaris" not in hist and "ESTACAO.INI: endereço inválido - usando a estação padrão" not in hist, hist
        leave_through_tray(desktop, program)


def station_down(binary):
    with operator_session(binary, window=today_window(),
                          music=[("LOCAL.WAV", LOCAL_HZ, 30)]) as (desktop, program, _):
        program.start()
        program.press("Ativar")
        program.wait_history("Erro ao Carregar Sonaris", 60)
        program.wait_history("PLAY MÚSICAS LOCAIS  -  Sonaris 802", 10)
        time.sleep(4)
        assert heard(program, 3, "local"), "local music must be heard"
        assert program.a11y.has_text("Erro WEB -  Erro:"), "status line after the failed attempt"
        # The tray's "Desligar Sonaris" ends at once, without closing lines.
        leave_through_tray(desktop, program)


def leave_through_tray(desktop, program):
    before = program.history()
    desktop.click_tray_icon(button=3)
    # The tray menu holds the single item "Desligar Sonaris"; the open menu takes the keyboard.
    time.sleep(0.8)
    subprocess.run(["xdotool", "key", "Down", "Return"], check=False)
    wait_until(lambda: not program.alive(), 15, what="the program to end")
    assert program.history() == before, "Desligar Sonaris writes no closing lines"
    assert not os.path.exists(program.autostart_path()), "Desligar Sonaris removes the autostart entry"


def drop_and_back(binary):
    with operator_session(binary, station=True, window=today_window(),
                          music=[("A.WAV", LOCAL_HZ, 15), ("B.WAV", LOCAL_HZ, 15)]) as (desktop, program, station):
        program.start()
        program.press("Ativar")
        wait_until(lambda: "Sonaris" in program.history(), 60, what="the stream playing")
        time.sleep(4)
        assert heard(program, 3, "stream")
        station.kill_source()
        wait_until(lambda: any(m.startswith("PLAY MÚSICAS LOCAIS") for m in program.history()), 40,
                   what="local music after the drop")
        time.sleep(3)
        assert heard(program, 2, "local"), "local music after the source died"
        station.start_source()
        program.wait_history("Sonaris - No AR", 120)
        time.sleep(5)
        assert heard(program, 2, "stream"), "the stream is back after the local track"
        hist = program.history()
        drop = hist.index("STOP -  Sonaris")
        back = hist.index("Sonaris - No AR")
        assert drop < back
        labels = program.sound_frames().timeline(TONES)
        print("timeline:", runs(labels)[-12:])
        leave_through_tray(desktop, program)


def output_lost(binary):
    """The sound server dies while a local track plays and comes back 2 s later."""
    from pulseserver import SINK_DESCRIPTION, PulseServer

    def sound_in(name):
        sound = pulse.heard(name)
        return sound.seconds() > 0.3 and Sound.rms(sound.window(sound.seconds() - 0.2, 0.2)) > 0.05

    with PulseServer() as pulse, operator_session(binary, window=today_window(), env=pulse.client_env(),
                                                  music=[("LONGA.WAV", LOCAL_HZ, 90)]) as (desktop, program, _):
        program.start()
        program.press("Ativar")
        program.wait_history("PLAY MÚSICAS LOCAIS", 60)
        pulse.record("before.raw")
        wait_until(lambda: sound_in("before.raw"), 10, what="the local track on the sound server")
        pulse.stop_recording()
        pulse.kill()
        program.wait_history("SAÍDA DE ÁUDIO PERDIDA", 2)
        assert program.a11y.has_text("Saída de Áudio Indisponível - Aguardando Dispositivo...")
        time.sleep(2)
        pulse.start()
        pulse.record("after.raw")
        wait_until(lambda: sound_in("after.raw"), 3, step=0.05, what="the local track back on the new server")
        print("sound back %.2f s after the server" % (time.monotonic() - pulse.up_at))
        program.wait_history("SAÍDA DE ÁUDIO RESTABELECIDA: " + SINK_DESCRIPTION, 3)
        assert not program.a11y.has_text("Saída de Áudio Indisponível - Aguardando Dispositivo...")
        hist = program.history()
        assert hist.index("SAÍDA DE ÁUDIO PERDIDA") < hist.index("SAÍDA DE ÁUDIO RESTABELECIDA: " + SINK_DESCRIPTION)
        # One track all along: the one that played before the gap goes on after it.
        assert sum(1 for m in hist if m.startswith("PLAY MÚSICAS LOCAIS")) == 1, hist[-8:]
        leave_through_tray(desktop, program)


def late_sound_server(binary):
    """A logon where the session's sound server comes up 8 s after the player, which was left
    activated: it starts and activates itself with no box, and the stream is heard once the
    server is there."""
    from pulseserver import SINK_DESCRIPTION, PulseServer

    def stream_on_server():
        sound = pulse.heard("after.raw")
        tail = Sound(sound.samples[-4 * 44100:])
        labels = tail.timeline(TONES)
        return tail.seconds() >= 4 and sum(1 for x in labels if x == "stream") >= 0.7 * len(labels)

    pulse = PulseServer()  # not started: nothing answers on its socket yet
    try:
        with operator_session(binary, station=True, window=today_window(), autostart=True, env=pulse.client_env(),
                              music=[("LOCAL.WAV", LOCAL_HZ, 20)]) as (desktop, program, station):
            program.start()
            wait_until(lambda: program.a11y.find("Desativar"), 10, what="the automatic activation")
            program.wait_history("SAÍDA DE ÁUDIO PERDIDA", 10)
            assert not desktop.windows(APP_TITLE), "no box at the start"
            time.sleep(max(0.0, program.started + 8 - time.monotonic()))
            pulse.start()
            pulse.record("after.raw")
            program.wait_history("SAÍDA DE ÁUDIO RESTABELECIDA: " + SINK_DESCRIPTION, 10)
            wait_until(lambda: "Sonaris" in program.history(), 60, what="the stream playing")
            wait_until(stream_on_server, 30, step=1, what="the stream heard through the sound server")
            print("stream heard %.1f s after the sound server came up" % (time.monotonic() - pulse.up_at))
            assert not desktop.windows(APP_TITLE), "no box was left open"
            hist = program.history()
            assert hist.index("SAÍDA DE ÁUDIO PERDIDA") < hist.index("SAÍDA DE ÁUDIO RESTABELECIDA: " + SINK_DESCRIPTION)
            leave_through_tray(desktop, program)
    finally:
        pulse.__exit__(None, None, None)


def drop_back_and_stop(binary):
    """A compressed day: the station dies and comes back before the stop time, the stream takes
    over again after the local track, and then the day's close still comes."""
    with operator_session(binary, station=True, window=today_window(3600, 150),
                          music=[("A.WAV", LOCAL_HZ, 6), ("B.WAV", LOCAL_HZ, 6)]) as (desktop, program, station):
        program.start()
        program.press("Ativar")
        wait_until(lambda: "Sonaris" in program.history(), 60, what="the stream playing")
        station.kill_source()
        wait_until(lambda: any(m.startswith("PLAY MÚSICAS LOCAIS") for m in program.history()), 40,
                   what="local music after the drop")
        station.start_source()
        program.wait_history("Sonaris - No AR", 100)
        program.wait_history("Encerrando Conexão PROGRAMADA: ", 120)
        hist = program.history()
        assert hist.index("Sonaris - No AR") < max(i for i, m in enumerate(hist)
                                                   if m.startswith("Encerrando Conexão PROGRAMADA: ")), hist[-10:]
        assert program.a11y.has_text("Conexão Fechada"), "the status line after the close"
        time.sleep(4)
        assert heard(program, 2, "-", share=0.9), "silence after the close"
        assert program.a11y.find("Desativar"), "the player stays activated"
        leave_through_tray(desktop, program)


def stop_time(binary):
    with operator_session(binary, station=True, window=today_window(3600, 50),
                          music=[("LOCAL.WAV", LOCAL_HZ, 20)]) as (desktop, program, station):
        program.start()
        program.press("Ativar")
        wait_until(lambda: "Sonaris" in program.history(), 45, what="the stream playing")
        program.wait_history("Encerrando Conexão PROGRAMADA: ", 60)
        program.wait_history("RESUMO DO DIA - ", 5)
        account = [m for m in program.history() if m.startswith("RESUMO DO DIA - ")]
        parts = re.fullmatch(r"RESUMO DO DIA - Streaming: 00:00:(\d\d)  Músicas Locais: 00:00:00  "
                             r"Silêncio: 00:00:\d\d  Quedas: 0", account[-1] if account else "")
        print("account:", account)
        assert len(account) == 1 and parts and int(parts.group(1)) >= 10, account
        time.sleep(4)
        assert heard(program, 2, "-", share=0.9), "both players faded out at the stop time"
        assert program.a11y.find("Desativar"), "the player stays activated"
        leave_through_tray(desktop, program)


def past_midnight(binary):
    """A bar's night, compressed: the program's wall clock moved (by wallclock_shift, preloaded
    into the program only) to 23:59:30 with a window from 23:59:00 to 00:01:30. The stream plays
    across midnight without a gap, and the close comes at 00:01:30 with the night's account line,
    both in the new date's history."""
    if not CLOCK_SHIFT:
        raise AssertionError("--clock-shift (wallclock_shift.so) is needed")
    day = datetime.date.today()
    night = (datetime.time(23, 59, 0), datetime.time(0, 1, 30))
    with operator_session(binary, station=True, window=night) as (desktop, program, station):
        shift_file = os.path.join(program.root, "clock-shift")
        reading = datetime.datetime.combine(day, datetime.time(23, 59, 30))
        with open(shift_file + ".new", "w") as f:
            f.write("%.3f\n" % (reading.timestamp() - time.time()))
        os.replace(shift_file + ".new", shift_file)
        program.extra_env.update({"LD_PRELOAD": os.path.abspath(CLOCK_SHIFT), "WALLCLOCK_SHIFT_FILE": shift_file})
        program.start()
        assert program.a11y.has_text("00:01:30 (+1)"), "the stop on the next date"
        program.press("Ativar")
        wait_until(lambda: "Sonaris" in program.history(day), 40, what="the stream playing before midnight")
        next_day = day + datetime.timedelta(days=1)
        program.wait_history("Encerrando Conexão PROGRAMADA: ", 150, day=next_day)
        program.wait_history("RESUMO DO DIA - ", 5, day=next_day)
        time.sleep(3)  # the fade, then silence in the capture

        before, after = program.history(day), program.history(next_day)
        assert not [m for m in before if m.startswith(("Encerrando", "RESUMO", "STOP"))], before
        assert after[:1] == ["Encerrando Conexão PROGRAMADA: 00:01:30"], after
        connected = next(line[:8] for line in cp1252_lines(program.history_file(day)) if line[11:] == "Sonaris")
        played = (datetime.datetime.combine(next_day, night[1]) -
                  datetime.datetime.combine(day, datetime.time.fromisoformat(connected))).total_seconds()
        account = re.fullmatch(r"RESUMO DO DIA - Streaming: 00:0(\d):(\d\d)  Músicas Locais: 00:00:00  "
                               r"Silêncio: 00:00:\d\d  Quedas: 0", after[1] if len(after) > 1 else "")
        print("stream from %s, account: %r" % (connected, after[1:2]))
        # Counted from the look after the stream was first heard, in whole seconds: a little less.
        assert account and -3 <= int(account.group(1)) * 60 + int(account.group(2)) - played <= 1, after
        longest = max((n for label, n in runs(program.sound_frames().timeline(TONES)) if label == "stream"), default=0)
        print("longest stream run %.1f s of %.0f s" % (longest / 10, played))
        assert longest >= (played - 2) * 10, "the stream heard without a gap from %s to the close" % connected
        assert heard(program, 1, "-", share=0.9), "silence after the close"
        leave_through_tray(desktop, program)


def autostart(binary):
    with operator_session(binary, station=True, window=today_window(), autostart=True,
                          music=[("LOCAL.WAV", LOCAL_HZ, 20)]) as (desktop, program, station):
        program.start()
        wait_until(lambda: program.a11y.find("Desativar"), 10, what="the automatic activation")
        wait_until(lambda: not desktop.windows(MAIN_TITLE), 15, what="the window to be minimised")
        assert program.alive()
        wait_until(lambda: "Sonaris" in program.history(), 60, what="the stream playing")
        leave_through_tray(desktop, program)


def autostart_without_focus(binary):
    """A logon where nothing hands the new window the focus (focus-stealing prevention, a locked
    screen, a desktop still coming up): here no window manager at all. The player left
    activated must start all the same."""
    with operator_session(binary, station=True, window=today_window(), autostart=True,
                          desktop_options={"window_manager": False},
                          music=[("LOCAL.WAV", LOCAL_HZ, 20)]) as (desktop, program, station):
        program.start(focus=False)
        program.wait_history("** INICIADO O SISTEMA **", 20)
        wait_until(lambda: program.a11y.find("Desativar"), 10, what="the automatic activation")
        wait_until(lambda: "Sonaris" in program.history(), 60, what="the stream playing")
        time.sleep(6)
        assert heard(program, 4, "stream"), "the stream must be heard"


def ended_by_signal(program, sig=signal.SIGTERM):
    """Seconds from the signal to the program's end (None when it outlived 10 s)."""
    t0 = time.monotonic()
    program.proc.send_signal(sig)
    try:
        program.proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        return None
    return time.monotonic() - t0


def session_end(binary):
    """A logout or shutdown: the session sends SIGTERM. A playing program ends at once and comes
    back at the next logon; one whose attempt waits on a server that never answers does not wait
    for it, and nothing of that attempt is written. Started with nohup (SIGHUP ignored, as a
    technician starts it from a remote shell), the hangup of that shell's logout is not an end."""
    with operator_session(binary, station=True, window=today_window(), autostart=True,
                          music=[("LOCAL.WAV", LOCAL_HZ, 20)]) as (desktop, program, station):
        program.start(hangup_ignored=True)
        wait_until(lambda: "Sonaris" in program.history(), 60, what="the stream playing")
        time.sleep(2)
        lines = program.history()
        program.proc.send_signal(signal.SIGHUP)
        time.sleep(3)
        assert program.alive(), "ended by the hangup it was started ignoring"
        assert "*** SISTEMA DESLIGADO ***" not in program.history()[len(lines):], program.history()[len(lines):]
        seconds = ended_by_signal(program)
        print("[figure] sigterm_playing_to_end_s=%s" % seconds)
        assert seconds is not None and seconds < 2, "ended %s s after SIGTERM" % seconds
        assert os.path.exists(program.autostart_path()), "the start with the session stays"
        assert program.history()[:len(lines)] == lines, "no line lost"

        # The next logon: a station that takes the connection and never answers.
        station.stop()
        silent = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        silent.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        silent.bind(("127.0.0.1", 9500))
        silent.listen(8)
        try:
            program.start()
            wait_until(lambda: program.a11y.find("Desativar"), 10, what="the automatic activation")
            before = len(program.history())
            program.wait_history("Carregando Sonaris", 40, count=2)
            time.sleep(2)
            seconds = ended_by_signal(program)
            print("[figure] sigterm_during_open_to_end_s=%s" % seconds)
            assert seconds is not None and seconds < 2, "ended %s s after SIGTERM" % seconds
            after = program.history()[before:]
            assert "Sonaris" not in after and "Erro ao Carregar Sonaris" not in after, after
            assert os.path.exists(program.autostart_path())
        finally:
            silent.close()


FLEET_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "fleet")


@contextlib.contextmanager
def fleet_broker():
    """Mosquitto as a chain runs it: MQTT for the shops on 1883, websockets for the page on 9001,
    which also serves the page (http_dir). The websockets listener takes every interface, so
    this runs only inside the scenario's own network namespace."""
    root = tempfile.mkdtemp(prefix="sonaris-fleet-")
    conf = os.path.join(root, "mosquitto.conf")
    with open(conf, "w") as f:
        f.write("user root\npersistence false\nallow_anonymous true\nlistener 1883 127.0.0.1\n"
                "listener 9001\nprotocol websockets\nhttp_dir %s\n" % os.path.abspath(FLEET_DIR))
    proc = subprocess.Popen(["/usr/sbin/mosquitto", "-c", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_until(lambda: subprocess.run(["curl", "-s", "-o", "/dev/null", "-m", "1", "http://127.0.0.1:9001/index.html"],
                                          capture_output=True).returncode == 0, 10, what="the broker's page")
        yield
    finally:
        proc.kill()
        proc.wait()
        shutil.rmtree(root, ignore_errors=True)


def shop_state(shop, agora, retain=True):
    state = {"online": True, "ativado": True, "agora": agora, "inicio": "08:00:00", "fim": "18:00:00",
             "estacao": "http://127.0.0.1:9500", "ultima_queda": None, "versao": "1.0.0",
             "desde": datetime.datetime.now().astimezone().isoformat(timespec="seconds")}
    subprocess.run(["mosquitto_pub", "-h", "127.0.0.1", "-p", "1883", "-q", "1"] + (["-r"] if retain else []) +
                   ["-t", "sonaris/%s/estado" % shop, "-m", json.dumps(state)], check=True, timeout=10)


def fleet_page(binary):
    """The fleet page in a real browser against a real broker: the real player, a shop gone
    silent, one whose process dies (offline through its last will), one that recovers, and the
    history lines of the shop opened on the page, from the moment it was opened."""
    with fleet_broker(), operator_session(
            binary, station=True, window=today_window(), autostart=True, music=[("LOCAL.WAV", LOCAL_HZ, 20)],
            files={"FROTA.INI": "SERVIDOR=mqtt://127.0.0.1:1883\r\nLOJA=loja-real\r\n"}) as (desktop, program, station):
        shop_state("loja-silenciosa", "silencio")
        shop_state("loja-recupera", "silencio")
        # A shop's process with its last will; killed, the broker announces it offline.
        dying = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", "1883", "-k", "10", "-t", "nada",
                                  "--will-topic", "sonaris/loja-morta/estado", "--will-payload", '{"online":false}',
                                  "--will-retain", "--will-qos", "1"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        profile = tempfile.mkdtemp(prefix="sonaris-chromium-")
        try:
            fleet_page_checks(program, desktop, station, dying, profile)
        finally:
            dying.kill()
            dying.wait()
            shutil.rmtree(profile, ignore_errors=True)


def fleet_page_checks(program, desktop, station, dying, profile):
    from selenium.webdriver.common.by import By

    shop_state("loja-morta", "stream")
    browser = headless_chromium(profile)
    try:
        browser.get("http://127.0.0.1:9001/index.html")
        # This lab broker takes anyone; the page asks all the same.
        fleet_login(browser, "escritorio.frota", "laboratorio")

        def row_state(shop):
            # Read in one call: the page replaces every row when it draws, so a row found by one
            # call may be gone by the next.
            return browser.execute_script(
                "const r = document.querySelector('tr[data-loja=\"' + arguments[0] + '\"]'); return r ? r.dataset.estado : null;",
                shop)

        program.start()
        wait_until(lambda: row_state("loja-silenciosa") == "silencio", 20, what="the silent shop's row")
        wait_until(lambda: row_state("loja-real") == "stream", 60,
                   what="the real player streaming (%r)" % row_state("loja-real"))
        order = [r.get_attribute("data-estado") for r in browser.find_elements(By.CSS_SELECTOR, "#lojas tr")]
        assert order == sorted(order, key=["silencio", "saida_perdida", "offline", "conectando", "local", "stream",
                                                  "fora_do_horario", "desativado"].index), "silent shops first: %r" % order

        t0 = time.monotonic()
        dying.kill()
        wait_until(lambda: row_state("loja-morta") == "offline", 45, what="the killed shop offline")
        print("[figure] killed_shop_offline_s=%.1f" % (time.monotonic() - t0))

        shop_state("loja-recupera", "stream")
        wait_until(lambda: row_state("loja-recupera") == "stream", 10, what="the recovered shop")
        counts = {e.get_attribute("data-estado"): e.text for e in browser.find_elements(By.CSS_SELECTOR, "#contagens span")}
        assert counts["stream"].endswith(": 2") and counts["offline"].endswith(": 1"), counts

        browser.find_element(By.ID, "filtro").send_keys("morta")
        wait_until(lambda: len(browser.find_elements(By.CSS_SELECTOR, "#lojas tr")) == 1, 5, what="the filter")
        browser.find_element(By.ID, "filtro").clear()
        browser.find_element(By.ID, "filtro").send_keys("real")
        wait_until(lambda: len(browser.find_elements(By.CSS_SELECTOR, "#lojas tr")) == 1, 5, what="the filter")
        browser.find_element(By.CSS_SELECTOR, 'tr[data-loja="loja-real"]').click()
        # The page takes a shop's lines only while it is open: the drop that comes now is there.
        station.kill_source()
        wait_until(lambda: any(line.endswith("STOP -  Sonaris") for line in
                               browser.find_element(By.ID, "historico-linhas").text.splitlines()), 40,
                   what="the real shop's history lines")
        browser.save_screenshot(os.path.join(program.root, "fleet.png"))

        # The player's clean end: the page shows it offline at once, not after its will.
        leave_through_tray(desktop, program)
        wait_until(lambda: row_state("loja-real") == "offline", 10, what="the real shop offline after its end")
    finally:
        browser.quit()


@contextlib.contextmanager
def chain_broker():
    """Mosquitto as a chain sets it up from fleet/broker/ (README): its own authority and a
    certificate for localhost, the users added with scripts/fleet-user, the ACL and the page as
    shipped, the listeners on their own ports 8883 (MQTT over TLS) and 8884 (the page over https
    and wss). Yields the folder, whose ca.crt the shop names as CA=."""
    top = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    root = tempfile.mkdtemp(prefix="sonaris-chain-") + "/"
    run = lambda *cmd, **kw: subprocess.run(list(cmd), check=True, capture_output=True, timeout=60, **kw)  # noqa: E731
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    with open(root + "ext.cnf", "w") as f:
        f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n")
    run("openssl", "req", "-x509", *ec, "-keyout", root + "ca.key", "-out", root + "ca.crt", "-days", "2",
        "-subj", "/CN=Rede de Teste")
    run("openssl", "req", *ec, "-keyout", root + "broker.key", "-out", root + "broker.csr", "-subj", "/CN=localhost")
    run("openssl", "x509", "-req", "-in", root + "broker.csr", "-CA", root + "ca.crt", "-CAkey", root + "ca.key",
        "-CAcreateserial", "-out", root + "broker.crt", "-days", "2", "-extfile", root + "ext.cnf")
    env = dict(os.environ, SONARIS_PASSWD=root + "passwd")
    run(os.path.join(top, "scripts", "fleet-user"), "loja-real", input=b"senha-da-loja\n", env=env)
    run(os.path.join(top, "scripts", "fleet-user"), "loja-dois", input=b"senha-da-loja-dois\n", env=env)
    run(os.path.join(top, "scripts", "fleet-user"), "--escritorio", input=b"senha-do-escritorio\n", env=env)
    shutil.copy(os.path.join(top, "fleet", "broker", "acl"), root + "acl")
    for rel in ("index.html", "fleet.css", "fleet.js", "node_modules/mqtt/dist/mqtt.min.js"):
        os.makedirs(os.path.dirname(root + "pagina/" + rel), exist_ok=True)
        shutil.copy(os.path.join(FLEET_DIR, rel), root + "pagina/" + rel)
    with open(os.path.join(top, "fleet", "broker", "sonaris.conf")) as f:
        conf = f.read().replace("/etc/mosquitto/sonaris/", root)
    with open(root + "mosquitto.conf", "w") as f:
        f.write("user root\n" + conf + "log_dest file %smosquitto.log\n" % root)
    proc = subprocess.Popen(["/usr/sbin/mosquitto", "-c", root + "mosquitto.conf"], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        wait_until(lambda: subprocess.run(["curl", "-s", "-o", "/dev/null", "-m", "1", "--http1.1", "--cacert", root + "ca.crt",
                                           "https://localhost:8884/index.html"]).returncode == 0, 10,
                   what="the broker's page over https")
        yield root
    finally:
        proc.kill()
        proc.wait()
        shutil.rmtree(root, ignore_errors=True)


@contextlib.contextmanager
def office_web_server(broker):
    """The fleet page as a chain serves it from a web server of its own over https (port 8443,
    the broker's certificate), as the README advises while Mosquitto's listener mishandles
    HTTP/2; the page is then told its broker with ?broker=."""
    script = ("import http.server, ssl, functools\n"
              "h = functools.partial(http.server.SimpleHTTPRequestHandler, directory=%r)\n"
              "s = http.server.ThreadingHTTPServer(('127.0.0.1', 8443), h)\n"
              "c = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER); c.load_cert_chain(%r, %r)\n"
              "s.socket = c.wrap_socket(s.socket, server_side=True)\n"
              "s.serve_forever()\n") % (broker + "pagina", broker + "broker.crt", broker + "broker.key")
    proc = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_until(lambda: subprocess.run(["curl", "-s", "-o", "/dev/null", "-m", "1", "--cacert", broker + "ca.crt",
                                           "https://localhost:8443/index.html"]).returncode == 0, 10,
                   what="the office's web server")
        yield "https://localhost:8443/index.html?broker=wss://localhost:8884"
    finally:
        proc.kill()
        proc.wait()


def fleet_office(binary):
    """A chain's office steers a shop: the real player on a broker configured from fleet/broker/
    over TLS, with REMOTO=1. The office logs in on the page (served by the chain's web server,
    in a Chromium with HTTP/2 on), moves today's stop to 20 s from now
    and the volume to 40; the page shows "aplicada", the shop's files hold what F11 and F10 write
    for those values, the history tells whose change it was, and the close comes at the new stop
    with its account. A second shop, offline when the change is sent to both, applies it when it
    comes back, and a later start of it applies nothing again. A document with an impossible time
    is refused and changes no file."""
    from selenium.webdriver.common.by import By

    start, stop = today_window()
    with contextlib.ExitStack() as stack, chain_broker() as broker, operator_session(
            binary, station=True, window=(start, stop), autostart=True, music=[("LOCAL.WAV", LOCAL_HZ, 20)],
            files={"FROTA.INI": "SERVIDOR=mqtts://localhost:8883\r\nLOJA=loja-real\r\nUSUARIO=loja-real\r\n"
                                "SENHA=senha-da-loja\r\nCA=%sca.crt\r\nREMOTO=1\r\n" % broker}) as (desktop, program, _):
        second = Sonaris(desktop, binary, window=(start, stop), autostart=True, name="loja-dois",
                         music=[("LOCAL.WAV", LOCAL_HZ, 20)],
                         files={"FROTA.INI": "SERVIDOR=mqtts://localhost:8883\r\nLOJA=loja-dois\r\nUSUARIO=loja-dois\r\n"
                                "SENHA=senha-da-loja-dois\r\nCA=%sca.crt\r\nREMOTO=1\r\n" % broker})
        profile = tempfile.mkdtemp(prefix="sonaris-chromium-")
        # The chain's own authority is not the browser's: this lab's certificate is let through.
        # Chromium as the office has it, HTTP/2 on: the page comes from the chain's web server.
        page = stack.enter_context(office_web_server(broker))
        browser = headless_chromium(profile, flags=("--ignore-certificate-errors",))
        try:
            browser.get(page)
            fleet_login(browser, "escritorio.frota", "senha-errada")
            wait_until(lambda: browser.find_element(By.ID, "entrada-erro").text == "Usuário ou senha inválidos", 10,
                       what="the wrong password refused (%r)" % browser.find_element(By.ID, "entrada-erro").text)
            fleet_login(browser, "escritorio.frota", "senha-do-escritorio")
            wait_until(lambda: browser.find_element(By.ID, "conexao").text == "Conectado como escritorio.frota", 10,
                       what="the office's login over wss (%r)" % browser.find_element(By.ID, "conexao").text)

            def row(what, shop="loja-real"):
                return browser.execute_script(
                    "const r = document.querySelector('tr[data-loja=\"' + arguments[1] + '\"]'); return r ? r.dataset[arguments[0]] : null;",
                    what, shop)

            # The second shop is seen once, then ends: it is offline when the change goes out.
            second.start(wait_window=False)
            wait_until(lambda: row("estado", "loja-dois") == "stream", 60, what="the second shop streaming")
            second.stop()
            wait_until(lambda: row("estado", "loja-dois") == "offline", 10, what="the second shop offline")
            program.start()
            wait_until(lambda: row("estado") == "stream", 60, what="the shop streaming (%r)" % row("estado"))
            browser.find_element(By.CSS_SELECTOR, 'tr[data-loja="loja-real"]').click()

            # The office's change: every day as the shop has it, today's stop 20 s from now.
            today = (datetime.date.today().weekday() + 1) % 7  # Sunday first
            new_stop = (datetime.datetime.now() + datetime.timedelta(seconds=20)).replace(microsecond=0)
            assert new_stop.date() == datetime.date.today(), "too close to midnight for this scenario"
            days = [(start, stop)] * 7
            days[today] = (start, new_stop.time())
            browser.find_element(By.ID, "alterar-horarios").click()
            for i, (a, b) in enumerate(days):
                for field, t in (("inicio", a), ("fim", b)):
                    box = browser.find_element(By.ID, "%s-%d" % (field, i))
                    box.clear()
                    box.send_keys(t.strftime("%H:%M:%S"))
            browser.find_element(By.ID, "alterar-volume").click()
            browser.find_element(By.ID, "volume").send_keys("40")
            browser.find_element(By.ID, "motivo").send_keys("Inventário")
            browser.find_element(By.ID, "aplicar-filtradas").click()
            browser.switch_to.alert.accept()  # "Enviar esta configuração às 2 lojas filtradas?"
            t0 = time.monotonic()
            wait_until(lambda: row("config") == "aplicada", 5, step=0.1, what="'aplicada' on the page (%r)" % row("config"))
            print("[figure] office_click_to_page_applied_s=%.2f" % (time.monotonic() - t0))
            assert row("config", "loja-dois") == "pendente", row("config", "loja-dois")

            # What F11 and F10 write for the same values.
            lines = ["|%s|%s|0|0" % (a.strftime("%H:%M:%S"), b.strftime("%H:%M:%S")) for a, b in days]
            with open(program.folder + "CFG.ACI", "rb") as f:
                assert f.read() == ("\r\n".join(lines) + "\r\n").encode("cp1252"), "CFG.ACI"
            with open(program.folder + "VOLUME.INI", "rb") as f:
                assert f.read() == b"VOLUME_NORMAL=40\r\n", "VOLUME.INI"
            applied = "CONFIGURAÇÃO REMOTA APLICADA - versão 1 - escritorio.frota: Inventário"
            program.wait_history(applied, 5)
            wait_until(lambda: applied in browser.find_element(By.ID, "historico-linhas").text, 5,
                       what="the line in the open shop's history on the page")

            # The offline shop back: the retained version is applied once, its files as the first's;
            # started again, it applies nothing twice.
            second.start(wait_window=False)
            wait_until(lambda: row("config", "loja-dois") == "aplicada", 30, what="the second shop's 'aplicada'")
            second.wait_history(applied, 5)
            for name in ("CFG.ACI", "VOLUME.INI"):
                with open(second.folder + name, "rb") as a, open(program.folder + name, "rb") as b:
                    assert a.read() == b.read(), name
            second.stop()
            second.start(wait_window=False)
            second.wait_history("** INICIADO O SISTEMA **", 20, count=3)
            wait_until(lambda: row("estado", "loja-dois") != "offline", 30, what="the second shop connected again")
            time.sleep(2)  # the retained document comes right after the subscription
            assert sum(1 for m in second.history() if m.startswith(applied)) == 1, second.history()[-8:]
            second.cleanup()

            # A time no clock has, sent as an office could by hand: refused whole, no file touched.
            files = {name: open(program.folder + name, "rb").read() for name in ("CFG.ACI", "VOLUME.INI")}
            bad = {"versao": 2, "volume": 10, "horarios": [{"inicio": "08:00:00", "fim": "25:00:00"}] + [None] * 6}
            subprocess.run(["mosquitto_pub", "-h", "localhost", "-p", "8883", "--cafile", broker + "ca.crt",
                            "-u", "escritorio.frota", "-P", "senha-do-escritorio", "-q", "1", "-r",
                            "-t", "sonaris/loja-real/config/desejada", "-m", json.dumps(bad)], check=True, timeout=10)
            wait_until(lambda: row("config") == "recusada", 5, what="'recusada' on the page (%r)" % row("config"))
            cell = browser.execute_script("return document.querySelector('tr[data-loja=\"loja-real\"] .config').textContent")
            assert cell == "recusada: horário inválido em Domingo", cell
            program.wait_history("CONFIGURAÇÃO REMOTA RECUSADA - versão 2 - horário inválido em Domingo", 5)
            assert all(open(program.folder + name, "rb").read() == data for name, data in files.items())

            # The close at the new stop, with its account.
            program.wait_history("Encerrando Conexão PROGRAMADA: ", 60)
            program.wait_history("RESUMO DO DIA - ", 5)
            raw = cp1252_lines(program.history_file())
            closed = next(line[:8] for line in raw if line[11:].startswith("Encerrando Conexão PROGRAMADA: "))
            late = (datetime.datetime.combine(new_stop.date(), datetime.time.fromisoformat(closed)) - new_stop).total_seconds()
            print("[figure] close_after_new_stop_s=%.0f" % late)
            assert 0 <= late <= 2, "closed at %s for a stop at %s" % (closed, new_stop.time())
            history = program.history()
            assert history.index(applied) < history.index(next(m for m in history if m.startswith("Encerrando Conexão PROGRAMADA: ")))
            browser.save_screenshot(os.path.join(program.root, "fleet-office.png"))
        finally:
            browser.quit()
            shutil.rmtree(profile, ignore_errors=True)
        # The close's last lines, then the tray's end, which writes none.
        seen = []
        wait_until(lambda: seen.append(program.history()) or (len(seen) > 1 and seen[-1] == seen[-2]), 20, step=2,
                   what="the history to settle after the close")
        leave_through_tray(desktop, program)


def second_instance(binary):
    with operator_session(binary) as (desktop, program, _):
        program.start()
        second = program.second_instance()
        box = desktop.wait_window("SONARIS já aberto", 15)
        desktop.key(box, "Return")
        assert second.wait(timeout=10) is not None
        assert program.alive(), "the running instance is untouched"
        # The X server lets the refused instance's windows go a moment after it has ended, and
        # the box's close hands the focus back meanwhile: the count settles, it is not read
        # at one instant.
        wait_until(lambda: len(desktop.windows(MAIN_TITLE)) == 1, 5,
                   what="one main window (%r)" % desktop.windows(MAIN_TITLE))
        leave_through_sair(desktop, program)


def close_while_active(binary):
    with operator_session(binary, window=today_window(),
                          music=[("LOCAL.WAV", LOCAL_HZ, 20)]) as (desktop, program, _):
        program.start()
        program.press("Ativar")
        wait_until(lambda: program.a11y.find("Desativar"), 10, what="the activation")
        lines = len(program.history())
        # The close box while active only minimises; the history gets no line.
        close_box(program)
        wait_until(lambda: not desktop.windows(MAIN_TITLE), 10, what="the window to be minimised")
        assert program.alive()
        time.sleep(1)
        assert all(not m.startswith(("*** SISTEMA", "ENCERRANDO")) for m in program.history()[lines:])
        # "Minimizar" and the tray's double click.
        desktop.click_tray_icon(repeat=2)
        program.window = desktop.wait_window(MAIN_TITLE, 10)
        program.press("Minimizar")
        wait_until(lambda: not desktop.windows(MAIN_TITLE), 10, what="Minimizar")
        desktop.click_tray_icon(repeat=2)
        program.window = desktop.wait_window(MAIN_TITLE, 10)
        # Minimised by the window manager, it goes to the tray as well: no taskbar entry is left.
        assert program.window in desktop.client_list()
        subprocess.run(["xdotool", "windowminimize", program.window], check=False)
        wait_until(lambda: program.window not in desktop.client_list(), 10, what="the window off the taskbar")
        desktop.click_tray_icon(repeat=2)
        program.window = desktop.wait_window(MAIN_TITLE, 10)
        deactivate(desktop, program)
        # Inactive, the close box asks; OK writes the two closing lines.
        close_box(program)
        confirm_box(desktop, program)
        wait_until(lambda: not program.alive(), 15, what="the program to end")
        assert program.history()[-2:] == ["*** SISTEMA DESLIGADO ***", "=" * 37]


SCENARIOS = {f.__name__: f for f in (first_start, stream_heard, station_down, drop_and_back, drop_back_and_stop,
                                      stop_time, autostart, autostart_without_focus, second_instance,
                                      close_while_active, output_lost, own_station, session_end, fleet_page,
                                      fleet_office, late_sound_server, past_midnight)}
CLOCK_SHIFT = None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sonaris", required=True)
    parser.add_argument("--clock-shift", help="wallclock_shift.so, for the scenarios that move the program's clock")
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    args = parser.parse_args()
    global CLOCK_SHIFT
    CLOCK_SHIFT = args.clock_shift
    t0 = time.monotonic()
    try:
        SCENARIOS[args.scenario](os.path.abspath(args.sonaris))
    except Exception:
        traceback.print_exc()
        print("%s: FAILED after %.0f s" % (args.scenario, time.monotonic() - t0))
        return 1
    print("%s: passed in %.0f s" % (args.scenario, time.monotonic() - t0))
    return 0


if __name__ == "__main__":
    sys.exit(main())
