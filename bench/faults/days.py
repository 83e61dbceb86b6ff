"""The run's days on the program's wall clock. Every weekday has the same window, 08:00:00 for
`length` seconds; window k opens `k * (length + gap)` seconds after the first one opens. Between
two windows the program's clock is moved forward into the next date, `lead` seconds before its
window opens, by rewriting the shift file that wallclock_shift.so reads."""

import datetime
import os
import threading
import time

OPENS_AT = datetime.time(8, 0, 0)


class Days:
    def __init__(self, shift_file, first_date, length, gap, count, lead=15.0):
        self.shift_file = shift_file
        self.first_date = first_date
        self.length = length
        self.gap = gap
        self.count = count
        self.lead = lead
        self.opens = []  # monotonic time each window opens
        self.thread = None

    def window_times(self):
        stop = (datetime.datetime.combine(self.first_date, OPENS_AT) + datetime.timedelta(seconds=self.length)).time()
        return OPENS_AT, stop

    def date(self, k):
        return self.first_date + datetime.timedelta(days=k)

    def closes(self):
        return [o + self.length for o in self.opens]

    def _write_shift(self, k, open_mono):
        fake_open = datetime.datetime.combine(self.date(k), OPENS_AT).timestamp()
        wall_open = time.time() + (open_mono - time.monotonic())
        tmp = self.shift_file + ".new"
        with open(tmp, "w") as f:
            f.write("%.3f\n" % (fake_open - wall_open))
        os.replace(tmp, self.shift_file)

    def begin(self, first_open_in):
        """Sets the program's clock so that the first window opens `first_open_in` seconds from
        now, and moves it into each next date on time, from a thread of its own."""
        first = time.monotonic() + first_open_in
        self.opens = [first + k * (self.length + self.gap) for k in range(self.count)]
        self._write_shift(0, self.opens[0])
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        for k in range(1, self.count):
            time.sleep(max(0.0, self.opens[k] - self.lead - time.monotonic()))
            self._write_shift(k, self.opens[k])

    def window_of(self, t):
        """The index of the window open at monotonic time t, or None."""
        for k, o in enumerate(self.opens):
            if o <= t <= o + self.length:
                return k
        return None
