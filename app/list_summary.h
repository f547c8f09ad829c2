// What the status bar tells about the list while no batch runs: how many files are listed and
// how long they play together.
#pragma once

#include <string>

class TJobList;

// "3 files listed, 01:02:03 in all"; files whose "Duration" is not known are named apart
// ("..., 2 of unknown length"). Empty for an empty list.
std::string ListedFilesNote(const TJobList &Rows);
