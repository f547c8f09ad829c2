// Whole small files written so that a crash never leaves half of one: the batch journal and the
// presets. Both write the bytes to a temporary file beside the target, sync it, then move it into
// place; the folder is synced so that the move itself survives a power loss.
#pragma once

#include <string>

// Replaces Path (or creates it); false with the system's reason, Path's last copy kept. For the
// program's own files, one writer at a time (Path + ".new" is its temporary file).
bool WriteFileAtomically(const std::string &Path, const std::string &Bytes, std::string &Error);
// Creates Path whole; false with the reason when it could not be written or already exists,
// which is then left exactly as it was.
bool WriteNewFileAtomically(const std::string &Path, const std::string &Bytes, std::string &Error);
