#pragma once
// The regional format check run by the program entry before any window exists. The
// schedule file stores times at fixed positions and the history writes them, so a time must
// come out as "00:00:00" and a date as "01/01/2003". DATA.INI in the program folder switches
// the check off (only its existence counts).
#include "system/userformats.h"

// True when the program may go on; false when it must end (after the messages and questions
// the mismatches call for, and the corrections the user agreed to).
bool CheckRegionalFormats();
