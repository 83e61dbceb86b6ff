#include "audio/soundlib/errorcode.h"

namespace soundlib {

namespace {
thread_local int lastCode = 0;
}

void SetErrorCode(int code) { lastCode = code; }

int LastErrorCode() { return lastCode; }

}  // namespace soundlib
