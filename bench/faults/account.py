"""Reading the recording against the faults and the days: how long each fault kept the shop
without sound, the silence inside the windows that no fault or specified hand-over explains,
and whether each window's close was followed by silence."""

# What the player may take by design before sound comes back, in seconds.
EMPTY_BUFFER_GIVE_UP_S = 3.6 + 1.0 + 0.5   # the monitor's 3.6 s, its 1000 ms fade, the local start
STREAM_BUFFER_S = 10.0                     # what the player holds of the stream ahead of the speakers
OUTPUT_RETRY_S = 2.0 + 1.0                 # the output is tried again every 2 s
RECORDER_START_S = 2.0                     # parec delivers a new monitor's sound about 2 s late
FIRST_ATTEMPT_OF_DAY_S = 60.5 + 20.0 + 2.0  # the day's first attempt, its deadline, the pre-fill
RETURN_HANDOVER_S = 0.2                     # a local track's end to the stream's first ramp step
CLOSE_FADE_S = 8.0                          # the first tick after the stop time, then the fades


def allowance(kind, duration):
    """The fault's own time plus the hand-over the player is allowed after it."""
    if kind == "source_kill":
        return STREAM_BUFFER_S + EMPTY_BUFFER_GIVE_UP_S
    if kind in ("source_pause", "source_silence"):
        return duration + STREAM_BUFFER_S + EMPTY_BUFFER_GIVE_UP_S
    if kind == "stream_garbage":
        return 1.0
    return duration + OUTPUT_RETRY_S + RECORDER_START_S   # server_restart, sink_unload


def recovery_s(blocks, t_fault, horizon):
    """From the fault to sound again: the end of the first stretch without sound (a silent block,
    or no block at all for more than 0.3 s) that begins within `horizon` seconds of the fault;
    0 when the sound never stopped."""
    previous = t_fault
    quiet = False
    for t, label in blocks:
        if t < t_fault:
            continue
        inaudible = label == "-" or t - previous > 0.3
        if inaudible and not quiet:
            if t - t_fault > horizon:
                return 0.0
            quiet = True
        elif quiet and not inaudible:
            return t - t_fault
        previous = t
    return horizon if quiet else 0.0


def unexplained_silence(blocks, opens, length, faults):
    """The stretches (start, end) of silent blocks inside an open window that neither the day's
    first attempt nor a fault's allowance explains."""
    excused = [(o, o + FIRST_ATTEMPT_OF_DAY_S) for o in opens]
    excused += [(f["at"], f["at"] + allowance(f["kind"], f["duration"])) for f in faults]
    stretches = []  # [start, end, label before, label after]
    previous = None
    for t, label in blocks:
        if stretches and stretches[-1][3] is None and label != "-":
            stretches[-1][3] = label
        if label != "-" or not any(o <= t <= o + length for o in opens) or any(a <= t <= b for a, b in excused):
            previous = label
            continue
        if stretches and t - stretches[-1][1] <= 0.15:
            stretches[-1][1] = t
        else:
            stretches.append([t - 0.1, t, previous, None])
        previous = label
    # The stream's return at the end of a local track: the track ends, and the stream fades in
    # from nothing at the ramp's next tick; a block may fall between the two.
    return [(a, b) for a, b, before, after in stretches
            if not (before == "L" and after == "S" and b - a <= RETURN_HANDOVER_S + 1e-6)]


def silent_inside_windows(stretches):
    return sum(round((end - start) * 10) for start, end in stretches) * 0.1


def silent_after_close(blocks, close, next_open):
    """True when the recording from the close's fades to the next window holds blocks, all silent."""
    span = [label for t, label in blocks if close + CLOSE_FADE_S <= t <= next_open - 1.0]
    expected = (next_open - 1.0 - close - CLOSE_FADE_S) * 10
    return len(span) >= expected * 0.5 and all(label == "-" for label in span)
