#pragma once
// The library's error code is per calling thread: each call leaves its result for the thread
// that made it, so a reader on the user-interface thread never sees a code set by a worker.

namespace soundlib {

void SetErrorCode(int code);
int LastErrorCode();

}  // namespace soundlib
