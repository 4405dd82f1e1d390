#pragma once

// Faults the system will not make on demand, put in front of the file primitives' system
// calls: armed, the next call does its work and then reports an I/O error, as a network share
// past its quota does.
namespace faults {

void failNextSync();
// Only a file open for writing: closing what was read cannot lose data.
void failNextCloseOfWrittenFile();
// Puts every call back.
void disarm();

} // namespace faults
