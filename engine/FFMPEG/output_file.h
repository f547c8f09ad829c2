// One output file's whole life: the muxer context, a temporary name beside the final one, the
// header, every packet, the trailer, the close and the move to the final name, or the removal
// of the temporary file when the task does not end well. Every write is checked and a failure
// raises FFMpegException naming the file and the system's reason, so a task is never counted as
// finished with an incomplete file. A temporary file is locked while it is written, so that a
// later conversion into its folder can tell a killed run's leftover from a live one. Runs on the
// task's thread; opened on the controlling one.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/binding/av_owners.h"

struct AVPacket;
struct TOutputStream;

// Leftover temporary outputs (a killed process) end with this, after the final name and a tag.
inline constexpr const char *TemporaryOutputSuffix = ".tarnwick-part";

// What the commit of a stopped task leaves: the playable part written, under a name that never
// replaces an existing file, or nothing.
enum class TStoppedOutput { Keep, Remove };

// Removes the leftover temporary outputs in Folder that no process holds, once per folder and
// process; only on local file systems, where the lock is known to tell. Log as OnLog.
void RemoveLeftoverOutputs(const std::string &Folder,
                           const std::function<void(int Level, const std::string &)> &Log);

class TOutputFileContext {
 public:
  TOutputFileContext();
  // Not committed: closes the file and removes the temporary file this output created.
  ~TOutputFileContext();
  TOutputFileContext(const TOutputFileContext &) = delete;
  TOutputFileContext &operator=(const TOutputFileContext &) = delete;

  TOutputContextPtr Context;  // its url stays the final name, so muxers and reports see that
  std::vector<std::unique_ptr<TOutputStream>> Streams;  // indexed like Context->streams
  TDictionary MuxerOptions;                             // for avformat_write_header

  // Opens the file for writing. A plain local name that is free or a regular file is written
  // under a temporary name in the same folder; anything else (a device, a FIFO, a protocol) is
  // written directly. KeepExisting: a file of the final name is never replaced; the move takes
  // the next free name "name-1.ext", "name-2.ext", ... instead. False with Error on failure,
  // and OpenFailureCause() the system's reason.
  bool OpenFile(const std::string &FileName, bool KeepExisting, std::string &Error);
  const std::string &OpenFailureCause() const { return FOpenFailureCause; }
  void WriteHeader(int FileIndex);
  // Every packet of stream Ost passes here; its end becomes the stream's end position.
  void WritePacket(AVPacket &Pkt, TOutputStream &Ost);
  // The trailer and a flush; the file stays open so that its size can still be reported.
  void WriteTrailer();
  // Closes the file, makes it durable and moves it to its final name. When StopFlag is set the
  // part written is kept under a free name, or removed, as WhenStopped says.
  void Commit();

  // The task's stop request, read at the commit; none: never stopped.
  const std::atomic<bool> *StopFlag = nullptr;
  TStoppedOutput WhenStopped = TStoppedOutput::Keep;

  // The write position in bytes; 0 while the file is not open.
  int64_t Position() const;
  // The session description of Files when every one of them is an RTP output.
  static std::optional<std::string> SessionDescription(
      const std::vector<std::unique_ptr<TOutputFileContext>> &Files);

  // A file whose modification time the committed file takes; empty for none.
  std::string TimeSource;

  // Runs on the task's thread; Level as the task's log.
  std::function<void(int Level, const std::string &Message)> OnLog;

  bool HeaderWritten() const { return FHeaderWritten; }
  int64_t PacketsWritten() const { return FPacketsWritten; }
  bool Committed() const { return FCommitted; }
  // The name given, or after Commit the name actually written; empty when a stopped output
  // was removed.
  std::string FileName() const;
  const std::string &TemporaryName() const { return FTemporaryName; }

 private:
  [[noreturn]] void Fail(const char *What, int LibraryResult) const;
  void CheckWrite(const char *What, int LibraryResult) const;
  void CloseFile();
  void MoveIntoPlace(bool KeepExisting);
  void ReleaseTemporaryFile(bool Remove);
  void TakeModificationTime() const;

  std::string FFinalName;
  std::string FTemporaryName;  // empty: written directly under the final name
  int FTemporaryLock = -1;     // holds the temporary file's lock until it is moved or removed
  std::string FOpenFailureCause;
  bool FRemoved = false;
  bool FKeepExisting = false;
  bool FFileOpened = false;
  bool FHeaderWritten = false;
  bool FCommitted = false;
  int64_t FPacketsWritten = 0;
};
