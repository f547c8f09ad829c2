// The library log callback and its line assembly. Runs on whatever thread calls the
// libraries: task workers, the main thread, the libraries' own threads.

#include "engine/component/engine_log.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "engine/FFMPEG/av_libs.h"
#include "engine/binding/av_api.h"
#include "engine/component/convert_engine.h"
#include "text/format_text.h"

namespace {

constexpr size_t MaxLineText = 2048;

std::recursive_mutex RegistryLock;
std::vector<TCustomConvertEngine *> Registry;

std::mutex LineLock;
std::unordered_map<std::thread::id, std::string> Lines;  // each thread's unfinished line

std::string TakeLine(std::thread::id Thread) {
  std::lock_guard Lock(LineLock);
  auto Found = Lines.find(Thread);
  if (Found == Lines.end()) return "";
  std::string Text = std::move(Found->second);
  Found->second.clear();
  return Text;
}

void StoreLine(std::thread::id Thread, std::string Text) {
  std::lock_guard Lock(LineLock);
  Lines[Thread] = std::move(Text);
}

// "[name @ ADDRESS]" of a library object.
std::string ObjectPrefix(void *Object) {
  if (!Object) return "";
  const AVClass *Class = *static_cast<const AVClass **>(Object);
  if (!Class || !Class->item_name) return "";
  return FormatText("[%s @ %08" PRIXPTR "]", Class->item_name(Object),
                    reinterpret_cast<uintptr_t>(Object));
}

void LogCallback(void *Object, int Level, const char *Format, va_list Arguments) {
  if (Level > AVLogLevel.load()) return;
  char Message[MaxLineText];
  std::vsnprintf(Message, sizeof Message, Format, Arguments);
  AssembleLogText(Object, Level, Message);
}

}  // namespace

void AssembleLogText(void *Object, int LibraryLevel, const std::string &Message) {
  std::lock_guard Lock(RegistryLock);
  const std::thread::id Thread = std::this_thread::get_id();
  std::string Text = TakeLine(Thread);
  if (Text.empty()) Text = ObjectPrefix(Object);
  Text += Message;
  if (Text.size() > MaxLineText) Text.resize(MaxLineText);
  const int Level = EngineLevelOfLibraryLevel(LibraryLevel);
  for (size_t End; (End = Text.find('\n')) != std::string::npos;) {
    const std::string Line = Text.substr(0, End);
    Text.erase(0, End + 1);
    for (TCustomConvertEngine *Component : Registry)
      DeliverLogLine(*Component, Thread, Level, Line);
  }
  StoreLine(Thread, std::move(Text));
}

void DeliverLogLine(TCustomConvertEngine &Component, std::thread::id Thread, int Level,
                    const std::string &Line) {
  std::lock_guard Lock(Component.FLock);
  Component.DoLog(Component.FTasks.FindByThreadID(Thread), Level, Line);
}

void RegisterComponent(TCustomConvertEngine *Component) {
  std::lock_guard Lock(RegistryLock);
  Registry.push_back(Component);
}

void UnregisterComponent(TCustomConvertEngine *Component) {
  std::lock_guard Lock(RegistryLock);
  Registry.erase(std::remove(Registry.begin(), Registry.end(), Component), Registry.end());
}

std::vector<TCustomConvertEngine *> TCustomConvertEngine::RegisteredComponents() {
  std::lock_guard Lock(RegistryLock);
  return Registry;
}

void InstallEngineLogCallback() {
  av::av_log_set_callback(LogCallback);
}

void ClearLogLines() {
  std::lock_guard Lock(LineLock);
  Lines.clear();
}

int EngineLevelOfLibraryLevel(int LibraryLevel) {
  if (LibraryLevel <= AV_LOG_ERROR) return 0;
  if (LibraryLevel <= AV_LOG_INFO) return 1;
  if (LibraryLevel <= AV_LOG_DEBUG) return 2;
  return 3;
}
