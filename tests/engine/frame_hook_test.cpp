// Frame hooks: loading real hook libraries built by the tests, the command-line splitting,
// the library cache, the order of Configure/Process/Release calls, and every failure path.

#include "engine/FFMPEG/frame_hook.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "engine/FFMPEG/ffmpeg_exception.h"
#include "engine/binding/av_api.h"
#include "tests/support/test_support.h"

namespace {

const std::string FullHook = TARNWICK_TEST_HOOK_FULL;
const std::string HookWithoutConfigure = TARNWICK_TEST_HOOK_NO_CONFIGURE;
const std::string HookWithoutProcess = TARNWICK_TEST_HOOK_NO_PROCESS;
const std::string HookWithoutRelease = TARNWICK_TEST_HOOK_NO_RELEASE;

// The inspection functions of one loaded copy of the test hook library.
class THookProbe {
 public:
  explicit THookProbe(const std::string &Path) : FHandle(dlopen(Path.c_str(), RTLD_NOW)) {}
  ~THookProbe() {
    if (FHandle) dlclose(FHandle);
  }
  bool Loaded() const { return FHandle != nullptr; }
  std::string Trace() const { return Call<const char *(*)()>("TestHookTrace")(); }
  void ResetTrace() const { Call<void (*)()>("TestHookResetTrace")(); }
  std::string LastArguments() const { return Call<const char *(*)()>("TestHookLastArguments")(); }
  bool LastArgumentsTerminated() const {
    return Call<int (*)()>("TestHookLastArgumentsTerminated")() != 0;
  }
  int Loads() const { return Call<int (*)()>("TestHookLoads")(); }
  int LiveContexts() const { return Call<int (*)()>("TestHookLiveContexts")(); }
  struct TProcessCall {
    void *Picture;
    int PixFmt, Width, Height;
    int64_t Pts;
  };
  TProcessCall LastProcess() const {
    TProcessCall C{};
    Call<void (*)(void **, int *, int *, int *, int64_t *)>("TestHookLastProcess")(
        &C.Picture, &C.PixFmt, &C.Width, &C.Height, &C.Pts);
    return C;
  }

 private:
  template <typename T>
  T Call(const char *Name) const {
    return reinterpret_cast<T>(dlsym(FHandle, Name));
  }
  void *FHandle;
};

std::string Upper(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(),
                 [](unsigned char C) { return static_cast<char>(std::toupper(C)); });
  return Text;
}

std::string ExceptionText(TFrameHooks &Hooks, const std::string &CommandLine) {
  try {
    AddFrameHookCommandLine(Hooks, CommandLine);
  } catch (const FFMpegException &E) {
    return E.what();
  }
  return "(no exception)";
}

class FrameHookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSystemLibraries();
    ASSERT_FALSE(HasFatalFailure());
  }
};

TEST_F(FrameHookTest, HooksAreConfiguredRunInOrderAndReleasedOnce) {
  THookProbe Probe(FullHook);
  ASSERT_TRUE(Probe.Loaded());
  Probe.ResetTrace();
  const int LiveBefore = Probe.LiveContexts();
  {
    TFrameHooks Hooks;
    AddFrameHookCommandLine(Hooks, FullHook + " a x");
    AddFrameHookCommandLine(Hooks, FullHook + " b");
    ASSERT_EQ(Hooks.Count(), 2);
    EXPECT_EQ(Probe.Trace(), "C:a:3 C:b:2");
    EXPECT_EQ(Probe.LastArguments(), "[" + FullHook + "][b]");
    EXPECT_TRUE(Probe.LastArgumentsTerminated());

    // A real picture with padded rows: the hooks see exactly the arguments given.
    TFramePtr Frame(av::av_frame_alloc());
    Frame->format = AV_PIX_FMT_YUV420P;
    Frame->width = 50;
    Frame->height = 30;
    ASSERT_EQ(av::av_frame_get_buffer(Frame.get(), 64), 0);
    ASSERT_GT(Frame->linesize[0], 50);
    std::fill_n(Frame->data[0], Frame->linesize[0] * 30, uint8_t{100});
    TFrameHookPicture Picture{};
    for (int Plane = 0; Plane < 4; ++Plane) {
      Picture.data[Plane] = Frame->data[Plane];
      Picture.linesize[Plane] = Frame->linesize[Plane];
    }
    const int64_t Pts = (int64_t{1} << 40) + 7;
    ProcessFrameHooks(Hooks.First(), &Picture, AV_PIX_FMT_YUV420P, 50, 30, Pts);
    EXPECT_EQ(Probe.Trace(), "C:a:3 C:b:2 P:a P:b");
    const THookProbe::TProcessCall Call = Probe.LastProcess();
    EXPECT_EQ(Call.Picture, &Picture);
    EXPECT_EQ(Call.PixFmt, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(Call.Width, 50);
    EXPECT_EQ(Call.Height, 30);
    EXPECT_EQ(Call.Pts, Pts);
    // Each hook added 1 inside the picture; the row padding is untouched.
    EXPECT_EQ(Frame->data[0][0], 102);
    EXPECT_EQ(Frame->data[0][29 * Frame->linesize[0] + 49], 102);
    EXPECT_EQ(Frame->data[0][29 * Frame->linesize[0] + 50], 100);

    // Starting further down the list runs only the rest.
    ProcessFrameHooks(Hooks.First()->Next, &Picture, AV_PIX_FMT_YUV420P, 50, 30, Pts);
    EXPECT_EQ(Probe.Trace(), "C:a:3 C:b:2 P:a P:b P:b");

    ReleaseFrameHooks(Hooks);
    EXPECT_TRUE(Hooks.Empty());
    EXPECT_EQ(Hooks.First(), nullptr);
    EXPECT_EQ(Probe.Trace(), "C:a:3 C:b:2 P:a P:b P:b R:a R:b");
    EXPECT_EQ(Probe.LiveContexts(), LiveBefore);
    ReleaseFrameHooks(Hooks);

    // The list takes new hooks after a release; Configure runs even without arguments.
    AddFrameHookCommandLine(Hooks, FullHook);
    EXPECT_EQ(Hooks.Count(), 1);
  }
  // The destructor releases what is left, once.
  EXPECT_EQ(Probe.Trace(), "C:a:3 C:b:2 P:a P:b P:b R:a R:b C:-:1 R:-");
  EXPECT_EQ(Probe.LiveContexts(), LiveBefore);
}

TEST_F(FrameHookTest, EntriesWithoutReleaseAreJustFreed) {
  THookProbe Full(FullHook);
  THookProbe NoRelease(HookWithoutRelease);
  Full.ResetTrace();
  NoRelease.ResetTrace();
  {
    TFrameHooks Hooks;
    AddFrameHookCommandLine(Hooks, HookWithoutRelease + " n1");
    AddFrameHookCommandLine(Hooks, FullHook + " f");
    AddFrameHookCommandLine(Hooks, HookWithoutRelease + " n2");
    EXPECT_EQ(Hooks.First()->Release, nullptr);
    EXPECT_NE(Hooks.First()->Next->Release, nullptr);
    TFrameHookPicture Empty{};
    ProcessFrameHooks(Hooks.First(), &Empty, AV_PIX_FMT_GRAY8, 0, 0, 0);
  }
  EXPECT_EQ(NoRelease.Trace(), "C:n1:2 C:n2:2 P:n1 P:n2");
  EXPECT_EQ(Full.Trace(), "C:f:2 P:f R:f");
}

TEST_F(FrameHookTest, OneLibraryLoadForAnyLetterCase) {
  TFrameHooks Hooks;
  AddFrameHookCommandLine(Hooks, FullHook + " one");
  THookProbe Probe(FullHook);
  Probe.ResetTrace();
  // No file has the upper-cased name: only the cache can resolve it.
  std::string Shouted = Upper(FullHook);
  ASSERT_NE(Shouted, FullHook);
  EXPECT_EQ(dlopen(Shouted.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
  char Tag[] = "two";
  std::vector<char *> Args = {Shouted.data(), Tag, nullptr};
  EXPECT_EQ(AddFrameHook(Hooks, 2, Args.data()), 0);
  AddFrameHookCommandLine(Hooks, Shouted + " three");
  EXPECT_EQ(Hooks.Count(), 3);
  EXPECT_EQ(Probe.Trace(), "C:two:2 C:three:2");
  EXPECT_EQ(Probe.Loads(), 1);
  EXPECT_NE(Hooks.First()->Context, Hooks.First()->Next->Context);
  ReleaseFrameHooks(Hooks);
  EXPECT_EQ(Probe.Trace(), "C:two:2 C:three:2 R:one R:two R:three");
}

TEST_F(FrameHookTest, LibrariesStayLoadedAfterTheirHooksAreReleased) {
  {
    TFrameHooks Hooks;
    AddFrameHookCommandLine(Hooks, HookWithoutRelease);
  }
  void *StillLoaded = dlopen(HookWithoutRelease.c_str(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(StillLoaded, nullptr);
  if (StillLoaded) dlclose(StillLoaded);
}

TEST_F(FrameHookTest, WithoutConfigureOnlyTheLibraryNameIsAccepted) {
  THookProbe Probe(HookWithoutConfigure);
  Probe.ResetTrace();
  TFrameHooks Hooks;
  AddFrameHookCommandLine(Hooks, HookWithoutConfigure);
  ASSERT_EQ(Hooks.Count(), 1);
  EXPECT_EQ(Hooks.First()->Configure, nullptr);
  EXPECT_EQ(Hooks.First()->Context, nullptr);
  TFrameHookPicture Empty{};
  ProcessFrameHooks(Hooks.First(), &Empty, AV_PIX_FMT_GRAY8, 0, 0, 0);
  EXPECT_EQ(Probe.Trace(), "P:-");

  TLogCapture Log;
  EXPECT_EQ(ExceptionText(Hooks, HookWithoutConfigure + " arg"),
            "Failed to add video hook function: " + HookWithoutConfigure + " arg");
  EXPECT_TRUE(Log.Contains(
      AV_LOG_ERROR, "Failed to find Configure entrypoint in " + HookWithoutConfigure + "\n"));
  EXPECT_EQ(Hooks.Count(), 1);
}

TEST_F(FrameHookTest, CommandLinesSplitAtBarsOrElseAtBlanks) {
  // A copy of the hook in a folder with blanks: a separate library with its own trace.
  TTempFolder Folder("frame hook");
  const std::string Spaced = Folder.File("Test Hook.so");
  std::filesystem::copy_file(FullHook, Spaced);
  const struct {
    std::string CommandLine;
    std::string Arguments;
  } Cases[] = {
      {FullHook + " a b", "[" + FullHook + "][a][b]"},
      {FullHook + "   a  b ", "[" + FullHook + "][a][b]"},
      {Spaced + "|first arg|second", "[" + Spaced + "][first arg][second]"},
      {Spaced + "||x y||", "[" + Spaced + "][x y]"},
      {Spaced + "| padded ", "[" + Spaced + "][ padded ]"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.CommandLine);
    TFrameHooks Hooks;
    AddFrameHookCommandLine(Hooks, Case.CommandLine);
    THookProbe Probe(Case.CommandLine.starts_with(Spaced) ? Spaced : FullHook);
    EXPECT_EQ(Probe.LastArguments(), Case.Arguments);
    EXPECT_TRUE(Probe.LastArgumentsTerminated());
  }

  // Without "|" the spaced path is cut at its blank; with one anywhere, blanks stay inside
  // the arguments, so here the library name keeps " a" and does not load.
  TFrameHooks Hooks;
  for (const std::string &CommandLine : {Spaced + " arg", FullHook + " a|b"})
    EXPECT_EQ(ExceptionText(Hooks, CommandLine),
              "Failed to add video hook function: " + CommandLine);
  EXPECT_TRUE(Hooks.Empty());
}

TEST_F(FrameHookTest, FailuresAreLoggedAndAddNothing) {
  const std::string Missing = std::string(TARNWICK_BINARY_DIR) + "/no-such-hook.so";
  const struct {
    std::vector<std::string> Args;
    int Result;
    std::string Logged;  // empty: the loader's own text, which starts with the name
  } Cases[] = {
      {{Missing}, -1, ""},
      {{HookWithoutProcess}, -2, "Failed to find Process entrypoint in " + HookWithoutProcess},
      {{HookWithoutConfigure, "x"},
       -2,
       "Failed to find Configure entrypoint in " + HookWithoutConfigure},
      {{FullHook, "fail"}, -22, "Failed to Configure " + FullHook},
  };
  for (const auto &Case : Cases) {
    std::string CommandLine = Case.Args[0];
    for (size_t I = 1; I < Case.Args.size(); ++I) CommandLine += " " + Case.Args[I];
    SCOPED_TRACE(CommandLine);
    TFrameHooks Hooks;
    {
      TLogCapture Log;
      std::vector<std::string> Words = Case.Args;
      std::vector<char *> Args;
      for (std::string &Word : Words) Args.push_back(Word.data());
      Args.push_back(nullptr);
      EXPECT_EQ(AddFrameHook(Hooks, static_cast<int>(Words.size()), Args.data()), Case.Result);
      ASSERT_EQ(Log.Lines().size(), 1u);
      const TLogLine &Line = Log.Lines()[0];
      EXPECT_EQ(Line.Level, AV_LOG_ERROR);
      if (Case.Logged.empty()) {
        EXPECT_TRUE(Line.Text.starts_with(Missing + ": ")) << Line.Text;
        EXPECT_TRUE(Line.Text.ends_with("\n"));
      } else {
        EXPECT_EQ(Line.Text, Case.Logged + "\n");
      }
    }
    EXPECT_TRUE(Hooks.Empty());
    EXPECT_EQ(ExceptionText(Hooks, CommandLine),
              "Failed to add video hook function: " + CommandLine);
    EXPECT_TRUE(Hooks.Empty());
  }

  TFrameHooks Hooks;
  EXPECT_EQ(AddFrameHook(Hooks, 0, nullptr), -2);
  for (const std::string Blank : {"", " ", "|", " | "})
    EXPECT_EQ(ExceptionText(Hooks, Blank), "Failed to add video hook function: " + Blank);
  EXPECT_TRUE(Hooks.Empty());
}

TEST_F(FrameHookTest, AtMost64ArgumentsReachTheHook) {
  THookProbe Probe(FullHook);
  std::string CommandLine = FullHook;
  for (int I = 1; I < MaxFrameHookArgs; ++I) CommandLine += " a" + std::to_string(I);
  TFrameHooks Hooks;
  Probe.ResetTrace();
  AddFrameHookCommandLine(Hooks, CommandLine);
  EXPECT_EQ(Probe.Trace(), "C:a1:64");
  EXPECT_TRUE(Probe.LastArguments().ends_with("[a62][a63]"));
  EXPECT_TRUE(Probe.LastArgumentsTerminated());

  // One more is refused as a whole rather than cut short.
  CommandLine += " a64";
  TLogCapture Log;
  EXPECT_EQ(ExceptionText(Hooks, CommandLine), "Failed to add video hook function: " + CommandLine);
  EXPECT_TRUE(
      Log.Contains(AV_LOG_ERROR, "Too many arguments (more than 64) for " + FullHook + "\n"));
  EXPECT_EQ(Probe.Trace(), "C:a1:64");
  EXPECT_EQ(Hooks.Count(), 1);
}

}  // namespace
