// A progress line that a terminal shows on one row: its width taken from the terminal as it is
// now, and file names shortened by whole characters and the columns they take (UTF-8).
#pragma once

#include <cstddef>
#include <string>

// The columns of the terminal on Fd now: its window size, else COLUMNS, else 80.
std::size_t TerminalColumns(int Fd);

// The columns Text takes on a terminal. A byte that starts no valid UTF-8 character counts one
// column (it is shown as "?").
std::size_t DisplayWidth(const std::string &Text);

// The start of Text that takes at most Width columns, cut between characters; invalid bytes
// become "?".
std::string FittedText(const std::string &Text, std::size_t Width);

// Name in at most Width columns: whole when it fits, else "..." and its end (the end tells
// files apart better than the start); invalid bytes become "?".
std::string ShortenedName(const std::string &Name, std::size_t Width);

// Line for a terminal of Columns columns: Name shortened to what the rest leaves (at least a
// third of the line, at most NameWidth columns), Before and After around it, the whole fitted to
// one column less than the terminal has, so that the cursor never reaches the last column and the
// line never wraps.
std::string TerminalLine(const std::string &Before, const std::string &Name,
                         const std::string &After, std::size_t Columns, std::size_t NameWidth);
