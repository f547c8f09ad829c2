// Helpers shared by the test suites: generated media files, loading the system's media
// libraries, capturing the libraries' log, running programs.
#pragma once

#include <string>
#include <vector>

// Path of a generated test media file.
std::string MediaFile(const std::string &Name);

// Loads the media libraries from the system; fails the test when they do not load.
void LoadSystemLibraries();

// A fresh empty folder under the build folder, removed when the object goes.
class TTempFolder {
 public:
  explicit TTempFolder(const std::string &Name);
  ~TTempFolder();
  const std::string &Path() const { return FPath; }
  std::string File(const std::string &Name) const { return FPath + "/" + Name; }
  // The names of the folder's entries, sorted.
  std::vector<std::string> Names() const;

 private:
  std::string FPath;
};

struct TLogLine {
  int Level;
  std::string Text;
};

// Collects every message the media libraries' log receives while it exists.
class TLogCapture {
 public:
  TLogCapture();
  ~TLogCapture();
  const std::vector<TLogLine> &Lines() const;
  bool Contains(int Level, const std::string &Text) const;
};

struct TProcessResult {
  int ExitStatus;
  std::string Output;  // standard output
  std::string Errors;  // standard error
};

// A whole file's bytes; empty when it cannot be read.
std::string ReadFile(const std::string &Path);

// Starts a program (no shell) with its standard output and error written to the files named
// (the same file for both is fine; "/dev/null" discards); its process id, or -1.
int StartProgram(const std::vector<std::string> &Arguments, const std::string &OutputFile,
                 const std::string &ErrorFile);

// Runs a program with arguments (no shell) and waits for it.
TProcessResult RunProgram(const std::vector<std::string> &Arguments);
