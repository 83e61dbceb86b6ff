// The default streaming server's base address comes from the build (SONARIS_DEFAULT_STREAM_BASE),
// so a shop build can point the station elsewhere without touching the code.
#include "app/usom.h"

#ifndef SONARIS_DEFAULT_STREAM_BASE
#error "SONARIS_DEFAULT_STREAM_BASE is set by app/CMakeLists.txt"
#endif

QString DefaultStreamBase() { return QStringLiteral(SONARIS_DEFAULT_STREAM_BASE); }
