#pragma once

// Faults the system will not make on demand, put in front of the file primitives' system
// calls: armed, the next call does its work and then reports an I/O error, as a network share
// past its quota does.
namespace faults {

void failNextSync();
// Only a file open for writing: closing what was read cannot lose data.
void failNextCloseOfWrittenFile();
#ifndef _WIN32
// Every folder listing fails with an I/O error until disarmed.
void failListings();
// The file system keeps no locks (ENOLCK, as some network ones) until disarmed.
void noLocks();
// The next open for reading and writing fails with an I/O error, as a brief network fault does.
void failNextOpenForReadWrite();
#endif
// Puts every call back.
void disarm();

} // namespace faults
