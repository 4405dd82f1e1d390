#pragma once

// Faults the kernel will not make on demand. Linked into a test program, FaultInjection.cpp
// puts its own fdatasync and close in front of the C library's; armed, the next call does
// its work and then reports EIO, as a network share past its quota does.
namespace faults {

void failNextSync();
// Only a descriptor open for writing: closing what was read cannot lose data.
void failNextCloseOfWrittenFile();
void disarm();

} // namespace faults
