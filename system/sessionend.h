#pragma once
// The end of the user's session as the program learns it: on Linux a logout or shutdown sends
// SIGTERM (SIGHUP when the terminal goes, SIGINT from a terminal's Ctrl+C). The signal is
// turned into a call on the user-interface thread, where the program can end in order. SIGHUP
// and SIGINT that the program was started ignoring (nohup) stay ignored.
#include <functional>

class QObject;

// Installs the handlers once; `ended` runs on `context`'s thread, once per signal received.
void OnSessionEnd(QObject* context, std::function<void()> ended);
