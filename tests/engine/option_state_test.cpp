// The task's life cycle: defaults after Reset, the option holders, and releasing outputs,
// whose files are removed when nothing was written to them.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/binding/av_api.h"
#include "tests/engine/options_test_support.h"

namespace {

using TOptionStateTest = TTaskTest;

TEST_F(TOptionStateTest, ResetAllocatesOneHolderPerMediaType) {
  for (int Type = 0; Type < MediaTypeCount; ++Type) {
    ASSERT_TRUE(Task.FCodecOptions[Type]);
    EXPECT_EQ(Task.FCodecOptions[Type]->codec_type, Type);
  }
  EXPECT_TRUE(Task.FFormatOptions);
  EXPECT_TRUE(Task.FScaleOptions);
}

TEST_F(TOptionStateTest, ResetReturnsEveryOptionToItsDefault) {
  const std::pair<const char *, const char *> Options[] = {
      {"s", "352x288"},    {"croptop", "16"},
      {"padcolor", "255"}, {"r", "25"},
      {"vcodec", "copy"},  {"acodec", "mp2"},
      {"an", ""},          {"ar", "22050"},
      {"t", "10"},         {"map", "0.0"},
      {"itsscale", "0:2"}, {"b", "64000"},
      {"crf", "20"},       {"intra_matrix", "1,2,3"},
      {"vstats", ""},      {"qscale", "3"},
      {"aq", "5"},         {"title", "T"},
      {"programid", "4"},  {"alang", "eng"},
  };
  for (const auto &[Name, Value] : Options) {
    try {
      Task.SetOption(Name, Value);
    } catch (const FFMpegException &) {
      // A refused matrix still leaves its table behind, which Reset must free.
    }
  }
  Task.FExceptionRaised = true;
  Task.FLastErrorText = "earlier failure";
  Task.FFinished = true;
  Task.FProgressIntervalUs = 250000;
  Task.Reset();

  const TCustomFFmpeg Fresh;
  EXPECT_EQ(Task.Options().FFrameWidth, 0);
  EXPECT_EQ(Task.Options().FFrameHeight, 0);
  EXPECT_EQ(Task.Options().FFrameTopBand, 0);
  EXPECT_EQ(Task.Options().FPadColor, (std::array<int, 3>{16, 128, 128}));
  EXPECT_EQ(Task.Options().FFrameRate.den, 0);
  EXPECT_EQ(Task.Options().FVideoStreamCopy, 0);
  EXPECT_EQ(Task.Options().FAudioCodecName, "");
  EXPECT_EQ(Task.Options().FAudioDisable, 0);
  EXPECT_EQ(Task.Options().FAudioSampleRate, 44100);
  EXPECT_EQ(Task.Options().FRecordingTime, INT64_MAX);
  EXPECT_EQ(Task.Options().FOutputDurationMs, -1);
  EXPECT_EQ(Task.Options().FStreamMaps.size(), 0);
  EXPECT_EQ(Task.Options().FInputFilesTsScale[0][0], 0);
  EXPECT_TRUE(Task.FOptionNames.empty());
  EXPECT_EQ(Task.FCodecPrivateOptions[AVMEDIA_TYPE_VIDEO].Count(), 0);
  EXPECT_EQ(Task.FCodecOptions[AVMEDIA_TYPE_VIDEO]->bit_rate,
            Task.FCodecOptions[AVMEDIA_TYPE_AUDIO]->bit_rate);
  EXPECT_TRUE(Task.Options().FIntraMatrix.empty());
  EXPECT_EQ(Task.Options().FVStatsFileName, "");
  EXPECT_EQ(Task.Options().FVideoQScale, 0);
  EXPECT_EQ(Task.Options().FAudioQScale, NoAudioQScale);
  EXPECT_EQ(Task.Options().FTitle, "");
  EXPECT_EQ(Task.Options().FProgramId, 0);
  EXPECT_EQ(Task.Options().FAudioLanguage, "");
  EXPECT_FALSE(Task.FExceptionRaised);
  EXPECT_EQ(Task.FLastErrorText, "");
  EXPECT_FALSE(Task.FFinished);
  // The progress interval belongs to the task's owner.
  EXPECT_EQ(Task.FProgressIntervalUs, 250000);
  EXPECT_EQ(Fresh.FProgressIntervalUs, 500000);
  EXPECT_EQ(Fresh.Options().FVerbose, 1);
  EXPECT_EQ(Fresh.Options().FThreadCount, 0);
  EXPECT_EQ(Fresh.Options().FMaxFrames,
            (std::array<int, 4>{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}));
}

// Registers an output for FileName as output set-up does, opening the file when asked.
void AddOutput(TCustomFFmpeg &Task, const std::string &FileName, bool OpenFile) {
  AVFormatContext *Context = nullptr;
  ASSERT_GE(av::avformat_alloc_output_context2(&Context, nullptr, nullptr, FileName.c_str()), 0);
  auto Output = std::make_unique<TOutputFileContext>();
  Output->Context.reset(Context);
  AVStream *Stream = av::avformat_new_stream(Context, nullptr);
  ASSERT_TRUE(Stream);
  auto Settings = std::make_unique<TOutputStream>();
  Settings->Encoder.reset(
      av::avcodec_alloc_context3(av::avcodec_find_encoder_by_name("mpeg1video")));
  Settings->EncoderOptions.Set("crf", "20");
  Output->Streams.push_back(std::move(Settings));
  Output->MuxerOptions.Set("muxrate", "1411200");
  std::string Error;
  if (OpenFile) {
    ASSERT_TRUE(Output->OpenFile(FileName, false, Error)) << Error;
  }
  Task.FOutputFiles.push_back(std::move(Output));
}

// An output that never finished leaves neither its temporary file nor its final name, and a
// file it was to replace, or never opened, stays as it was.
TEST_F(TOptionStateTest, ReleasingRemovesUnfinishedOutputsOnly) {
  TTempFolder Folder("option-state");
  const std::string Opened = Folder.File("opened.mpg");
  const std::string Replaced = Folder.File("replaced.mpg");
  const std::string Empty = Folder.File("empty.mpg");
  std::ofstream(Empty).flush();
  std::ofstream(Replaced) << "some bytes";
  AddOutput(Task, Opened, true);
  AddOutput(Task, Replaced, true);
  AddOutput(Task, Empty, false);
  EXPECT_FALSE(std::filesystem::exists(Opened));
  ASSERT_EQ(Folder.Names().size(), 4u);  // two temporary files beside the two existing ones

  Task.ReleaseAll();
  EXPECT_TRUE(Task.FOutputFiles.empty());
  EXPECT_EQ(Folder.Names(), (std::vector<std::string>{"empty.mpg", "replaced.mpg"}));
  EXPECT_EQ(ReadFile(Replaced), "some bytes");
  EXPECT_FALSE(Task.FCodecOptions[0]);
}

TEST_F(TOptionStateTest, DestroyingATaskReleasesItsInputsAndOutputs) {
  TTempFolder Folder("option-state-destroy");
  const std::string Output = Folder.File("out.mp4");
  {
    TCustomFFmpeg Owner;
    Owner.Reset();
    AddOutput(Owner, Output, true);
    AVFormatContext *Input = nullptr;
    ASSERT_EQ(av::avformat_open_input(&Input, MediaFile("sample.mov").c_str(), nullptr, nullptr),
              0);
    auto Opened = std::make_unique<TInputFileContext>();
    Opened->Context.reset(Input);
    Opened->Streams.push_back(std::make_unique<TInputStream>());
    Opened->Streams.back()->Decoder.reset(av::avcodec_alloc_context3(nullptr));
    Owner.FInputFiles.push_back(std::move(Opened));
    std::string Matrix = "1";
    for (int I = 1; I < 64; ++I) Matrix += ",1";
    Owner.SetOption("intra_matrix", Matrix);
  }
  EXPECT_FALSE(std::filesystem::exists(Output));
}

TEST_F(TOptionStateTest, HooksAreAddedAndReleasedWithTheTask) {
  Task.SetOption("vhook", TARNWICK_TEST_HOOK_FULL);
  EXPECT_TRUE(Task.Options().FUsingVHook);
  EXPECT_EQ(Task.FHooks.Count(), 1);
  Task.ReleaseAll();
  EXPECT_TRUE(Task.FHooks.Empty());

  TCustomFFmpeg Other;
  const std::string Missing = "/no/such/hook.so with arguments";
  EXPECT_EQ(Refusal([&] { Other.SetOption("vhook", Missing); }),
            "Failed to add video hook function: " + Missing);
  EXPECT_FALSE(Other.Options().FUsingVHook);
  EXPECT_TRUE(Other.FHooks.Empty());
}

}  // namespace
