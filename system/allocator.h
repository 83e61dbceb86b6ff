#pragma once
// The memory allocator's settings for a process that runs for months.

// Keeps freed buffers from staying with the process: called once, first thing in main.
void KeepFreedMemoryReturnable();
