#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "engine/FFMPEG/av_libs.h"
#include "engine/binding/av_api.h"

std::string MediaFile(const std::string &Name) {
  return std::string(TARNWICK_TEST_MEDIA) + "/" + Name;
}

void LoadSystemLibraries() {
  ASSERT_TRUE(LoadAVLibs("", true)) << AVLibsLoadError();
}

TTempFolder::TTempFolder(const std::string &Name) {
  FPath = std::string(TARNWICK_BINARY_DIR) + "/test-tmp/" + Name + "-" + std::to_string(getpid());
  std::filesystem::remove_all(FPath);
  std::filesystem::create_directories(FPath);
}

TTempFolder::~TTempFolder() {
  std::error_code Ignored;
  std::filesystem::remove_all(FPath, Ignored);
}

std::vector<std::string> TTempFolder::Names() const {
  std::vector<std::string> Entries;
  for (const auto &Entry : std::filesystem::directory_iterator(FPath))
    Entries.push_back(Entry.path().filename().string());
  std::sort(Entries.begin(), Entries.end());
  return Entries;
}

std::string ReadFile(const std::string &Path) {
  std::ifstream File(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(File), {});
}

namespace {

std::mutex LogMutex;
std::vector<TLogLine> CapturedLines;

void CaptureCallback(void *, int Level, const char *Format, va_list Args) {
  char Buffer[2048];
  std::vsnprintf(Buffer, sizeof Buffer, Format, Args);
  std::lock_guard Lock(LogMutex);
  CapturedLines.push_back({Level, Buffer});
}

}  // namespace

TLogCapture::TLogCapture() {
  CapturedLines.clear();
  av::av_log_set_callback(CaptureCallback);
}

TLogCapture::~TLogCapture() {
  av::av_log_set_callback(av::av_log_default_callback);
}

const std::vector<TLogLine> &TLogCapture::Lines() const {
  return CapturedLines;
}

bool TLogCapture::Contains(int Level, const std::string &Text) const {
  std::lock_guard Lock(LogMutex);
  for (const TLogLine &Line : CapturedLines)
    if (Line.Level == Level && Line.Text == Text) return true;
  return false;
}

namespace {

std::string ReadAll(int Descriptor) {
  std::string Text;
  char Buffer[4096];
  ssize_t Count;
  while ((Count = read(Descriptor, Buffer, sizeof Buffer)) > 0) Text.append(Buffer, Count);
  return Text;
}

}  // namespace

int StartProgram(const std::vector<std::string> &Arguments, const std::string &OutputFile,
                 const std::string &ErrorFile) {
  const pid_t Child = fork();
  if (Child != 0) return Child;
  const int Output = open(OutputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int Errors = ErrorFile == OutputFile
                         ? Output
                         : open(ErrorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (Output < 0 || Errors < 0) _exit(126);
  dup2(Output, STDOUT_FILENO);
  dup2(Errors, STDERR_FILENO);
  std::vector<char *> Argv;
  for (const std::string &Word : Arguments) Argv.push_back(const_cast<char *>(Word.c_str()));
  Argv.push_back(nullptr);
  execv(Argv[0], Argv.data());
  _exit(127);
}

TProcessResult RunProgram(const std::vector<std::string> &Arguments) {
  // Standard error goes to a file so neither pipe can fill up while the other is read.
  const std::string ErrorsFile =
      std::string(TARNWICK_BINARY_DIR) + "/test-tmp/stderr-" + std::to_string(getpid()) + ".txt";
  std::filesystem::create_directories(std::string(TARNWICK_BINARY_DIR) + "/test-tmp");
  int Pipe[2];
  if (pipe(Pipe) != 0) return {-1, "", "pipe failed"};
  const pid_t Child = fork();
  if (Child == 0) {
    dup2(Pipe[1], STDOUT_FILENO);
    FILE *Errors = std::fopen(ErrorsFile.c_str(), "w");
    if (Errors) dup2(fileno(Errors), STDERR_FILENO);
    close(Pipe[0]);
    close(Pipe[1]);
    std::vector<char *> Argv;
    for (const std::string &Word : Arguments) Argv.push_back(const_cast<char *>(Word.c_str()));
    Argv.push_back(nullptr);
    execv(Argv[0], Argv.data());
    _exit(127);
  }
  close(Pipe[1]);
  TProcessResult Result{-1, ReadAll(Pipe[0]), ""};
  close(Pipe[0]);
  int Status = 0;
  waitpid(Child, &Status, 0);
  Result.ExitStatus = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  std::ifstream Errors(ErrorsFile);
  std::stringstream Text;
  Text << Errors.rdbuf();
  Result.Errors = Text.str();
  std::filesystem::remove(ErrorsFile);
  return Result;
}
