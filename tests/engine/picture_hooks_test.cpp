// The picture hooks and the sample converter on their own: which pictures the hook modules and
// the custom hook receive and what they change, and decoded audio of several formats to 16-bit
// samples with the volume applied.

#include "engine/FFMPEG/picture_hooks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "engine/FFMPEG/frame_hook.h"
#include "engine/FFMPEG/picture.h"
#include "engine/FFMPEG/sample_converter.h"
#include "engine/FFMPEG/tbitmap.h"
#include "engine/binding/av_api.h"
#include "tests/support/test_support.h"

namespace {

constexpr int Width = 32, Height = 16;
constexpr int64_t PictureUs = 40000;  // 25 pictures a second

// One decoded picture of a generated clip: every sample of every plane is Fill.
class TSourcePicture {
 public:
  TSourcePicture(AVPixelFormat Format, uint8_t Fill) : Geometry{Format, Width, Height} {
    const int Size = PictureBufferSize(Format, Width, Height);
    Buffer.assign(static_cast<size_t>(Size), Fill);
    FillPicture(Picture, Buffer.data(), Format, Width, Height);
  }
  TGeometry Geometry;
  std::vector<uint8_t> Buffer;
  TPicture Picture{};
};

class PictureHooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSystemLibraries();
    ASSERT_FALSE(HasFatalFailure());
  }
  void TearDown() override { ReleaseFrameHooks(Modules); }
  // The test hook library as the only module: it adds 1 to every luma sample it is given.
  void AddCountingModule() {
    AddFrameHookCommandLine(Modules, std::string(TARNWICK_TEST_HOOK_FULL) + " r");
  }
  TPictureHooks::TLog LogInto() {
    return [this](int, const std::string &Message) { Log.push_back(Message); };
  }
  // Runs Count pictures (luma 100) at 40 ms apart through Hooks: "+" where the picture handed
  // on was changed by a module, "." where it was not; the source pictures stay as decoded.
  std::string RunModules(TPictureHooks &Hooks, int Count) {
    std::string Seen;
    for (int N = 0; N < Count; ++N) {
      TSourcePicture Source(AV_PIX_FMT_YUV420P, 100);
      TPicture Picture = Source.Picture;
      Hooks.Process(Picture, Source.Geometry, N * PictureUs);
      Seen += Picture.data[0][0] == 101 ? '+' : '.';
      EXPECT_EQ(Source.Buffer[0], 100) << "picture " << N;
    }
    return Seen;
  }

  TFrameHooks Modules;
  bool UsingModules = true;
  std::vector<std::string> Log;
};

// Without a before-hook the ranges decide; the modules stop for good past the last range.
TEST_F(PictureHooksTest, RangesChooseThePicturesTheModulesReceive) {
  const std::vector<THookRange> Two{{80000, 160000}, {400000, 480000}};
  const struct {
    const char *Name;
    std::vector<THookRange> Ranges;
    int Count, Index;
    const char *Seen;
    bool StillUsing;
  } Cases[] = {
      {"no ranges", {}, 0, 0, "+++++++++++++++", true},
      {"two ranges", Two, 2, 0, "..+++.....+++..", false},
      {"from the second", Two, 2, 1, "..........+++..", false},
      {"only the first counts", Two, 1, 0, "..+++..........", false},
      {"a single picture", {{200000, 200000}}, 1, 0, ".....+.........", false},
  };
  AddCountingModule();
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    UsingModules = true;
    TPictureHookSettings Settings;
    Settings.Ranges = Case.Ranges;
    Settings.RangeCount = Case.Count;
    Settings.RangeIndex = Case.Index;
    TPictureHooks Hooks(Settings, Modules, UsingModules, nullptr, nullptr, LogInto());
    EXPECT_EQ(RunModules(Hooks, 15), Case.Seen);
    EXPECT_EQ(UsingModules, Case.StillUsing);
  }
  EXPECT_TRUE(Log.empty());
}

// The before-hook's action for each picture: C continue, I ignore, S stop, ! throws, - leaves
// the action it is given.
TEST_F(PictureHooksTest, BeforeHookDecidesEachPictureUntilItStops) {
  const struct {
    const char *Script, *Seen;
    int Calls;
    bool StillUsing;
    const char *Logged;
  } Cases[] = {
      {"CICSC", "+.+..", 4, false, nullptr},
      {"-----", "+++++", 5, true, nullptr},
      {"I----", ".....", 5, true, nullptr},
      {"C!CCC", "+....", 2, false, "Error occurs OnBeforeHook: boom"},
  };
  AddCountingModule();
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Script);
    UsingModules = true;
    Log.clear();
    int Calls = 0;
    std::vector<int64_t> Times;
    auto BeforeHook = [&](THookAction &Action, int64_t Pts) {
      Times.push_back(Pts);
      switch (Case.Script[Calls++]) {
        case 'C':
          Action = THookAction::haContinue;
          break;
        case 'I':
          Action = THookAction::haIgnore;
          break;
        case 'S':
          Action = THookAction::haStop;
          break;
        case '!':
          throw std::runtime_error("boom");
      }
    };
    // Ranges are ignored when a before-hook decides.
    TPictureHookSettings Settings;
    Settings.Ranges = {{0, 0}};
    Settings.RangeCount = 1;
    TPictureHooks Hooks(Settings, Modules, UsingModules, BeforeHook, nullptr, LogInto());
    EXPECT_EQ(RunModules(Hooks, 5), Case.Seen);
    EXPECT_EQ(Calls, Case.Calls);
    EXPECT_EQ(Times.back(), (Case.Calls - 1) * PictureUs);
    EXPECT_EQ(UsingModules, Case.StillUsing);
    EXPECT_EQ(Hooks.Action() == THookAction::haStop, !Case.StillUsing);
    if (Case.Logged)
      EXPECT_EQ(Log, std::vector<std::string>{Case.Logged});
    else
      EXPECT_TRUE(Log.empty());
  }
}

// The custom hook sees every picture in the bitmap's format and paints it white; what it
// paints comes back into the picture handed on when it updates.
TEST_F(PictureHooksTest, CustomHookPaintsPicturesUntilItStops) {
  const struct {
    const char *Name;
    AVPixelFormat Format;
    int StopAt;  // the call that asks to stop, 0: none
    bool Update, Throw;
    int Calls, Painted;
  } Cases[] = {
      {"converted", AV_PIX_FMT_YUV420P, 0, true, false, 4, 4},
      {"in the bitmap's format", AV_PIX_FMT_BGR24, 0, true, false, 4, 4},
      {"stops on the second", AV_PIX_FMT_YUV420P, 2, true, false, 2, 2},
      {"no update", AV_PIX_FMT_YUV420P, 0, false, false, 4, 0},
      {"throws", AV_PIX_FMT_YUV420P, 0, true, true, 4, 0},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    UsingModules = true;
    Log.clear();
    std::vector<int> Numbers;
    auto CustomHook = [&](TBitmap *Bitmap, int FrameNumber, int64_t, bool &Update, bool &Stop) {
      Numbers.push_back(FrameNumber);
      EXPECT_EQ(Bitmap->Width(), Width);
      EXPECT_EQ(Bitmap->Height(), Height);
      EXPECT_EQ(Bitmap->ScanLine(0)[0], 0);  // black, in the bitmap's format
      for (int Row = 0; Row < Height; ++Row) std::fill_n(Bitmap->ScanLine(Row), 3 * Width, 255);
      Update = Case.Update;
      Stop = static_cast<int>(Numbers.size()) == Case.StopAt;
      if (Case.Throw) throw std::runtime_error("boom");
    };
    TPictureHooks Hooks({}, Modules, UsingModules, nullptr, CustomHook, LogInto());
    int Painted = 0;
    for (int N = 0; N < 4; ++N) {
      // Black: luma 16 with neutral chroma, or zero in every colour.
      const bool Yuv = Case.Format == AV_PIX_FMT_YUV420P;
      TSourcePicture Source(Case.Format, Yuv ? 16 : 0);
      if (Yuv) std::fill(Source.Picture.data[1], Source.Buffer.data() + Source.Buffer.size(), 128);
      TPicture Picture = Source.Picture;
      Hooks.Process(Picture, Source.Geometry, N * PictureUs);
      Painted += Picture.data[0][0] >= 200;
      EXPECT_EQ(Source.Buffer[0], Yuv ? 16 : 0);
    }
    EXPECT_EQ(static_cast<int>(Numbers.size()), Case.Calls);
    EXPECT_EQ(Numbers.front(), 1);
    EXPECT_EQ(Numbers.back(), Case.Calls);
    EXPECT_EQ(Painted, Case.Painted);
    EXPECT_EQ(Hooks.CustomHookRunning(), Case.StopAt == 0);
    EXPECT_EQ(UsingModules, Case.StopAt == 0);
    EXPECT_EQ(Log.size(), Case.Throw ? 4u : 0u);
  }
}

// Deinterlacing alone hands on a copy; a size the filter refuses is copied as it is, logged.
TEST_F(PictureHooksTest, DeinterlacingHandsOnACopy) {
  const struct {
    int Width, Height;
    bool Refused;
  } Cases[] = {{Width, Height, false}, {30, 14, true}};
  for (const auto &Case : Cases) {
    Log.clear();
    TPictureHookSettings Settings;
    Settings.Deinterlace = true;
    bool NoModules = false;
    TPictureHooks Hooks(Settings, Modules, NoModules, nullptr, nullptr, LogInto());
    TSourcePicture Source(AV_PIX_FMT_YUV420P, 60);
    TPicture Picture = Source.Picture;
    Hooks.Process(Picture, {AV_PIX_FMT_YUV420P, Case.Width, Case.Height}, 0);
    EXPECT_NE(Picture.data[0], Source.Picture.data[0]);
    EXPECT_EQ(Picture.data[0][Picture.linesize[0] + 1], 60);
    EXPECT_EQ(Log, Case.Refused ? std::vector<std::string>{"deinterlace error."}
                                : std::vector<std::string>{});
  }
}

// Samples samples of each channel holding one value (full scale = 1).
TFramePtr AudioFrame(AVSampleFormat Format, int Rate, const std::vector<double> &Values,
                     int Samples = 8) {
  TFramePtr Frame(av::av_frame_alloc());
  const int Channels = static_cast<int>(Values.size());
  Frame->nb_samples = Samples;
  Frame->format = Format;
  Frame->sample_rate = Rate;
  av::av_channel_layout_default(&Frame->ch_layout, Channels);
  EXPECT_GE(av::av_frame_get_buffer(Frame.get(), 0), 0);
  const bool Planar = av::av_sample_fmt_is_planar(Format);
  const int Bytes = av::av_get_bytes_per_sample(Format);
  for (int Channel = 0; Channel < Channels; ++Channel) {
    const double Value = Values[Channel];
    const float Float = static_cast<float>(Value);
    const auto Whole =
        static_cast<int32_t>(std::clamp(Value * 2147483648.0, -2147483648.0, 2147483647.0));
    const int16_t Short = static_cast<int16_t>(Value * 32768);
    const uint8_t Byte = static_cast<uint8_t>(128 + Value * 128);
    const AVSampleFormat Packed = av::av_get_packed_sample_fmt(Format);
    const void *Data = Packed == AV_SAMPLE_FMT_FLT   ? static_cast<const void *>(&Float)
                       : Packed == AV_SAMPLE_FMT_S32 ? static_cast<const void *>(&Whole)
                       : Packed == AV_SAMPLE_FMT_S16 ? static_cast<const void *>(&Short)
                                                     : &Byte;
    for (int Sample = 0; Sample < Samples; ++Sample)
      std::memcpy(Planar ? Frame->extended_data[Channel] + Sample * Bytes
                         : Frame->extended_data[0] + (Sample * Channels + Channel) * Bytes,
                  Data, Bytes);
  }
  return Frame;
}

TEST_F(PictureHooksTest, SampleConverterAppliesTheVolumeAfterConverting) {
  const struct {
    AVSampleFormat Format;
    std::vector<double> Values;
    int Volume;
    std::vector<int16_t> Expected;  // one sample of each channel
  } Cases[] = {
      {AV_SAMPLE_FMT_FLTP, {0.25, -0.5}, 512, {16384, -32768}},
      {AV_SAMPLE_FMT_FLTP, {-1.0, 0.5}, 384, {-32768, 24576}},
      {AV_SAMPLE_FMT_S32P, {0.75}, 512, {32767}},
      {AV_SAMPLE_FMT_S32P, {0.75, -0.75}, 64, {6144, -6144}},
      {AV_SAMPLE_FMT_U8, {0.25, -0.25}, 128, {4096, -4096}},
      {AV_SAMPLE_FMT_S16, {0.5}, 0, {0}},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(std::string(av::av_get_sample_fmt_name(Case.Format)) + " at " +
                 std::to_string(Case.Volume));
    TSampleConverter Converter(Case.Volume);
    uint8_t *Data = nullptr;
    int Size = 0;
    ASSERT_TRUE(Converter.Convert(*AudioFrame(Case.Format, 48000, Case.Values), Data, Size));
    const int Channels = static_cast<int>(Case.Values.size());
    ASSERT_EQ(Size, 8 * Channels * 2);
    std::vector<int16_t> Samples(Size / 2);
    std::memcpy(Samples.data(), Data, Size);
    for (size_t I = 0; I < Samples.size(); ++I)
      EXPECT_EQ(Samples[I], Case.Expected[I % Channels]) << "sample " << I;
  }
}

// The audio paths read the facts of the samples last converted: a frame that cannot be
// converted leaves them as they were.
TEST_F(PictureHooksTest, SampleConverterKeepsItsFactsOverARefusedFrame) {
  TSampleConverter Converter(256);
  EXPECT_EQ(Converter.Rate(), 0);
  uint8_t *Data = nullptr;
  int Size = 0;
  ASSERT_TRUE(Converter.Convert(*AudioFrame(AV_SAMPLE_FMT_FLTP, 32000, {0.1, 0.2}), Data, Size));
  TFramePtr NoRate = AudioFrame(AV_SAMPLE_FMT_S32P, 32000, {0.1});
  NoRate->sample_rate = 0;
  EXPECT_FALSE(Converter.Convert(*NoRate, Data, Size));
  EXPECT_EQ(Converter.Rate(), 32000);
  EXPECT_EQ(Converter.Channels(), 2);
  EXPECT_EQ(Converter.Layout(), uint64_t{AV_CH_LAYOUT_STEREO});
}

}  // namespace
