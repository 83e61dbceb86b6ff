#pragma once
// The service report behind Alt+I: the audio engine's program-wide counters, both players'
// state and the connection monitor's values, read at the moment of the key press. Its lines
// are parted by carriage returns, as the box shows them.
#include <QString>

class TZorvanBass;

QString ServiceReport(TZorvanBass* web, TZorvanBass* local, bool meterRunning);
