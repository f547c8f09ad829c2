// Inputs that must be files on a disk, named exactly as given. The batch and the probe open
// nothing else: no name is read as a protocol ("concat:a|b.mp4" is a file name), and nothing
// that could block the open (a FIFO, a terminal) is opened at all.
#pragma once

#include <string>

struct AVDictionary;

// Empty when FileName is a regular file or a block device, or cannot be looked at (the open
// then reports that in its usual words); otherwise why it is refused. Looks only, never opens.
std::string PlainFileRefusal(const std::string &FileName);

// FileName as a URL only the file protocol reads and that still names the same file: a
// relative name gets "./", so that nothing before a colon is taken for a protocol.
std::string PlainFileUrl(const std::string &FileName);

// Restricts an open, and every open a demuxer makes from it, to the file protocol.
void AllowFileProtocolOnly(AVDictionary **Options);
