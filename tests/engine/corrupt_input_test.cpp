// Damaged inputs made at test time from small generated clips: truncated headers, zeroed sample
// tables, headers put onto another file's data, flipped bytes, headers without data, a stream
// header given twice, a time scale that makes pictures last for minutes and pictures the decoder
// refuses. Each either converts or fails with its reason; none may end the
// process, and a batch goes on after one.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>

#include "engine/FFMPEG/decode_checks.h"
#include "tests/engine/transcode_test_support.h"

namespace {

namespace fs = std::filesystem;
using TBytes = std::string;

TBytes ContentsOf(const std::string &Path) {
  std::ifstream File(Path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string &Path, const TBytes &Bytes) {
  std::ofstream(Path, std::ios::binary) << Bytes;
}

// Offsets of every occurrence of Tag.
std::vector<size_t> Find(const TBytes &Bytes, const TBytes &Tag) {
  std::vector<size_t> Found;
  for (size_t At = Bytes.find(Tag); At != TBytes::npos; At = Bytes.find(Tag, At + 1))
    Found.push_back(At);
  return Found;
}

// The 32-bit count that follows a table box's name by Skip bytes, set to 0 in every such box.
TBytes ZeroTableCount(TBytes Bytes, const char *Box, size_t Skip) {
  for (size_t At : Find(Bytes, Box)) std::fill_n(Bytes.begin() + At + 4 + Skip, 4, '\0');
  return Bytes;
}

// Everything up to and including the first Tag (its size field too, when Tail is 4).
TBytes UpTo(const TBytes &Bytes, const TBytes &Tag, size_t Tail = 0) {
  const size_t At = Bytes.find(Tag);
  return Bytes.substr(0, At == TBytes::npos ? Bytes.size() : At + Tag.size() + Tail);
}

TBytes FlipBytes(TBytes Bytes, unsigned Seed, int Count) {
  std::mt19937 Random(Seed);
  std::uniform_int_distribution<size_t> Where(Bytes.size() / 4, Bytes.size() * 3 / 4);
  std::uniform_int_distribution<int> Value(0, 255);
  for (int I = 0; I < Count; ++I) Bytes[Where(Random)] = static_cast<char>(Value(Random));
  return Bytes;
}

// The first Count PNG pictures without their header chunk: the decoder refuses them, and the
// packets keep their bounds (a broken signature would merge them in the demuxer's parser).
TBytes BreakPictures(TBytes Bytes, int Count) {
  const std::vector<size_t> Headers = Find(Bytes, "IHDR");
  for (int I = 0; I < Count && I < static_cast<int>(Headers.size()); ++I)
    std::fill_n(Bytes.begin() + Headers[I], 4, 'X');
  return Bytes;
}

void PutWord(TBytes &Bytes, size_t At, uint32_t Value, bool BigEndian) {
  for (int I = 0; I < 4; ++I)
    Bytes[At + I] = static_cast<char>(Value >> (BigEndian ? 24 - 8 * I : 8 * I));
}

// Every entry of the first sample-size table set to Value.
TBytes SampleSizes(TBytes Bytes, uint32_t Value) {
  const size_t At = Bytes.find("stsz");
  uint32_t Count = 0;
  for (int K = 12; K < 16; ++K) Count = Count << 8 | static_cast<uint8_t>(Bytes[At + K]);
  for (uint32_t K = 0; K < Count; ++K) PutWord(Bytes, At + 16 + 4 * K, Value, true);
  return Bytes;
}

// The first ASF stream header twice: the second takes the first one's packets.
TBytes DuplicateAsfStream(const TBytes &Bytes) {
  const TBytes Guid("\x91\x07\xDC\xB7\xB7\xA9\xCF\x11\x8E\xE6\x00\xC0\x0C\x20\x53\x65", 16);
  const size_t At = Bytes.find(Guid);
  uint64_t Size = 0, HeaderSize = 0;
  std::memcpy(&Size, Bytes.data() + At + 16, 8);
  std::memcpy(&HeaderSize, Bytes.data() + 16, 8);
  TBytes Out = Bytes.substr(0, At + Size) + Bytes.substr(At, Size) + Bytes.substr(At + Size);
  HeaderSize += Size;
  std::memcpy(Out.data() + 16, &HeaderSize, 8);
  PutWord(Out, 24, static_cast<uint8_t>(Out[24]) + 1, false);
  return Out;
}

// The first AVI stream's time scale and rate.
TBytes AviRate(TBytes Bytes, uint32_t Scale, uint32_t Rate) {
  const size_t At = Bytes.find("strh");
  PutWord(Bytes, At + 28, Scale, false);
  PutWord(Bytes, At + 32, Rate, false);
  return Bytes;
}

// Clips generated once for the suite.
class CorruptInputTest : public TConversionTest {
 protected:
  static void SetUpTestSuite() {
    Clips = std::make_unique<TTempFolder>("corrupt-input-clips");
    const std::string Video = "testsrc=size=160x120:rate=25:duration=1";
    const std::string Tone = "sine=frequency=440:sample_rate=44100:duration=1";
    const std::vector<std::vector<std::string>> Commands = {
        {"-f", "lavfi", "-i", Video, "-f", "lavfi", "-i", Tone, "-c:v", "mpeg4", "-c:a", "mp3",
         Clips->File("clip.avi")},
        {"-f", "lavfi", "-i", Video, "-f", "lavfi", "-i", Tone, "-c:v", "mpeg4", "-c:a", "aac",
         "-movflags", "+faststart", Clips->File("clip.mp4")},
        {"-f", "lavfi", "-i", Video, "-f", "lavfi", "-i", Tone, "-c:v", "libx264", "-preset",
         "ultrafast", "-c:a", "aac", Clips->File("clip.mov")},
        {"-f", "lavfi", "-i", Video, "-f", "lavfi", "-i", Tone, "-c:v", "wmv2", "-c:a", "wmav2",
         Clips->File("clip.wmv")},
        // Ten pictures of ten packets: each a PNG the test can break on its own.
        {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=0.4", "-c:v", "png",
         Clips->File("pictures.mkv")},
    };
    for (std::vector<std::string> Command : Commands) {
      Command.insert(Command.begin(), {"/usr/bin/ffmpeg", "-nostdin", "-hide_banner", "-loglevel",
                                       "error", "-y", "-fflags", "+bitexact"});
      ASSERT_EQ(RunProgram(Command).ExitStatus, 0) << Command.back();
    }
  }
  static void TearDownTestSuite() { Clips.reset(); }

  static TBytes Clip(const std::string &Name) { return ContentsOf(Clips->File(Name)); }
  std::string Damaged(const std::string &Name, const TBytes &Bytes) const {
    WriteFile(Folder.File(Name), Bytes);
    return Folder.File(Name);
  }

  // Converts Input to MPEG-4 video at 25 fps and AAC audio in an MP4 file, as a profile would.
  // Empty when it converted, else the reason it failed (the opening's or the session's).
  std::string ConvertOrReason(const std::string &Input, const std::string &Output) {
    TCustomFFmpeg Run;
    Run.Reset();
    if (!SetUpConversion(
            Run, {{"i", Input}, {"r", "25"}, {"vcodec", "mpeg4"}, {"acodec", "aac"}, {"", Output}}))
      return Run.FLastErrorText.empty() ? "(no reason)" : Run.FLastErrorText;
    Run.Start(false);
    EXPECT_TRUE(Run.FTerminated);
    if (Run.FExceptionRaised)
      return Run.FExceptionMessage.empty() ? "(no reason)" : Run.FExceptionMessage;
    EXPECT_TRUE(Run.FFinished);
    return "";
  }

  static std::unique_ptr<TTempFolder> Clips;
  TTempFolder Folder{"corrupt-input"};
};

std::unique_ptr<TTempFolder> CorruptInputTest::Clips;

struct TCase {
  const char *Name;  // also the damaged file's name
  std::function<TBytes()> Make;
  const char *Reason;  // how the failure begins, with the file's path for %s; null: converts
};

std::string Expanded(const char *Reason, const std::string &Path) {
  std::string Text = Reason;
  if (const size_t At = Text.find("%s"); At != std::string::npos) Text.replace(At, 2, Path);
  return Text;
}

// Frames as a decoder might hand them over, each with one thing missing.
TEST_F(CorruptInputTest, AFrameWithoutFormatSizeRateChannelsOrDataIsRefused) {
  struct TFrameCase {
    const char *Name;
    AVMediaType Type;
    std::function<void(AVFrame &)> Spoil;  // after a complete frame was made
    const char *Defect;
  };
  const TFrameCase Cases[] = {
      {"picture", AVMEDIA_TYPE_VIDEO, [](AVFrame &) {}, ""},
      {"no pixel format", AVMEDIA_TYPE_VIDEO, [](AVFrame &F) { F.format = AV_PIX_FMT_NONE; },
       "no pixel format"},
      {"unknown pixel format", AVMEDIA_TYPE_VIDEO, [](AVFrame &F) { F.format = 100000; },
       "no pixel format"},
      {"no width", AVMEDIA_TYPE_VIDEO, [](AVFrame &F) { F.width = 0; }, "no picture size (0x48)"},
      {"too large", AVMEDIA_TYPE_VIDEO, [](AVFrame &F) { F.width = F.height = 100000; },
       "picture size 100000x100000 is too large"},
      {"no chroma plane", AVMEDIA_TYPE_VIDEO, [](AVFrame &F) { F.data[2] = nullptr; },
       "no data in picture plane 2"},
      {"samples", AVMEDIA_TYPE_AUDIO, [](AVFrame &) {}, ""},
      {"no sample format", AVMEDIA_TYPE_AUDIO, [](AVFrame &F) { F.format = AV_SAMPLE_FMT_NONE; },
       "no sample format"},
      {"no sample rate", AVMEDIA_TYPE_AUDIO, [](AVFrame &F) { F.sample_rate = 0; },
       "no sample rate"},
      {"no channels", AVMEDIA_TYPE_AUDIO, [](AVFrame &F) { F.ch_layout.nb_channels = 0; },
       "no channels"},
      {"too many channels", AVMEDIA_TYPE_AUDIO, [](AVFrame &F) { F.ch_layout.nb_channels = 65; },
       "65 channels are too many"},
      {"no samples", AVMEDIA_TYPE_AUDIO, [](AVFrame &F) { F.nb_samples = 0; }, "no samples"},
      {"second channel missing", AVMEDIA_TYPE_AUDIO,
       [](AVFrame &F) { F.extended_data[1] = nullptr; }, "no data for channel 1"},
  };
  for (const TFrameCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TFramePtr Frame(av::av_frame_alloc());
    ASSERT_TRUE(Frame);
    if (Case.Type == AVMEDIA_TYPE_VIDEO) {
      Frame->format = AV_PIX_FMT_YUV420P;
      Frame->width = 64;
      Frame->height = 48;
    } else {
      Frame->format = AV_SAMPLE_FMT_FLTP;
      Frame->sample_rate = 44100;
      Frame->nb_samples = 1024;
      av::av_channel_layout_default(&Frame->ch_layout, 2);
    }
    ASSERT_GE(av::av_frame_get_buffer(Frame.get(), 0), 0);
    Case.Spoil(*Frame);
    EXPECT_EQ(DecodedFrameDefect(Case.Type, *Frame), Case.Defect);
  }
}

TEST_F(CorruptInputTest, EachDamagedInputConvertsOrFailsWithItsReason) {
  const std::string NothingDecoded = "no frame or sample could be decoded from '%s'";
  const TCase Cases[] = {
      {"cut-in-header.avi", [] { return Clip("clip.avi").substr(0, 300); }, "%s: "},
      {"header-only.avi", [] { return UpTo(Clip("clip.avi"), "movi"); }, NothingDecoded.c_str()},
      {"no-sizes.mp4", [] { return ZeroTableCount(Clip("clip.mp4"), "stsz", 8); },
       NothingDecoded.c_str()},
      {"no-chunks.mp4", [] { return ZeroTableCount(Clip("clip.mp4"), "stco", 4); },
       NothingDecoded.c_str()},
      {"no-sizes.mov", [] { return ZeroTableCount(Clip("clip.mov"), "stsz", 8); },
       NothingDecoded.c_str()},
      {"no-chunks.mov", [] { return ZeroTableCount(Clip("clip.mov"), "stco", 4); },
       NothingDecoded.c_str()},
      {"avi-header-on-mkv.avi",
       [] { return UpTo(Clip("clip.avi"), "movi") + Clip("pictures.mkv").substr(600); },
       NothingDecoded.c_str()},
      {"mp4-header-on-avi.mp4",
       [] {
         const TBytes Avi = Clip("clip.avi");
         return UpTo(Clip("clip.mp4"), "mdat") + Avi.substr(UpTo(Avi, "movi").size());
       },
       "too many decoding errors in stream #0.1 of '%s'"},
      {"header-only.mp4", [] { return UpTo(Clip("clip.mp4"), "mdat"); },
       "Cannot set up the encoder of output stream #0.0 from input stream #0.0 of '%s': no "
       "picture size (0x0)"},
      {"sizes-all-ones.mov", [] { return SampleSizes(Clip("clip.mov"), 0xffffffff); },
       "%s: Error while parsing header"},
      {"sizes-all-zero.mov", [] { return SampleSizes(Clip("clip.mov"), 0); },
       "output stream #0.0 got nothing from input stream #0.0 of '%s'"},
      {"huge-time-scale.avi", [] { return AviRate(Clip("clip.avi"), 34049, 25); },
       "the pictures of input stream #0.0 of '%s' would last until 0:22:41.9, past the input's "
       "end at 0:00:01: its timing is damaged"},
      {"duplicated-stream.wmv", [] { return DuplicateAsfStream(Clip("clip.wmv")); }, nullptr},
      {"flipped-1.mp4", [] { return FlipBytes(Clip("clip.mp4"), 1, 40); }, nullptr},
      {"flipped-2.mov", [] { return FlipBytes(Clip("clip.mov"), 2, 40); }, nullptr},
      {"flipped-3.avi", [] { return FlipBytes(Clip("clip.avi"), 3, 40); }, nullptr},
  };
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string Input = Damaged(Case.Name, Case.Make());
    const std::string Output = Folder.File(std::string("out-") + Case.Name + ".mp4");
    const std::string Reason = ConvertOrReason(Input, Output);
    if (!Case.Reason) {
      EXPECT_EQ(Reason, "");
      // Every stream holds media, and none runs far past the clip's one second.
      const TProbedFile Probed = Probe(Output);
      ASSERT_EQ(Probed.Streams.size(), 2u);
      for (const TProbedStream &Stream : Probed.Streams)
        EXPECT_GT(std::stoi(Stream.at("nb_read_frames")), 0) << Stream.at("codec_type");
      EXPECT_LT(Probed.Duration, 1.5);
    } else {
      EXPECT_TRUE(Reason.starts_with(Expanded(Case.Reason, Input))) << Reason;
    }
  }
}

TEST_F(CorruptInputTest, PicturesTheDecoderRefusesCountAgainstTheStream) {
  const struct {
    int Broken;  // of ten
    const char *Reason;
  } Cases[] = {
      {0, nullptr},
      {6, nullptr},
      {7, "too many decoding errors in stream #0.0 of '%s' (7 of 10 packets)"},
      {10, "no frame or sample could be decoded from '%s'"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Broken);
    const std::string Input = Damaged("broken-" + std::to_string(Case.Broken) + ".mkv",
                                      BreakPictures(Clip("pictures.mkv"), Case.Broken));
    const std::string Reason =
        ConvertOrReason(Input, Folder.File("broken-" + std::to_string(Case.Broken) + ".mp4"));
    EXPECT_EQ(Reason, Case.Reason ? Expanded(Case.Reason, Input) : "");
  }
}

TEST_F(CorruptInputTest, AStoppedSessionIsNotJudgedByWhatItDecoded) {
  const std::string Input = Damaged("broken.mkv", BreakPictures(Clip("pictures.mkv"), 10));
  TCustomFFmpeg Run;
  Run.Reset();
  ASSERT_TRUE(SetUpConversion(Run, {{"i", Input}, {"vcodec", "mpeg4"}, {"", Folder.File("o.avi")}}))
      << Run.FLastErrorText;
  // Stopped at the first packet that fails.
  Run.FOnLog = [&Run](TCustomFFmpeg *, int, const std::string &Text) {
    if (Text.starts_with("Error while decoding")) Run.SignalStop();
  };
  Run.Start(false);
  EXPECT_FALSE(Run.FExceptionRaised) << Run.FExceptionMessage;
  EXPECT_FALSE(Run.FFinished);
}

TEST_F(CorruptInputTest, TheCommandLineBatchGoesOnAfterADamagedFile) {
  const std::string Bad = Damaged("no-sizes.mp4", ZeroTableCount(Clip("clip.mp4"), "stsz", 8));
  const std::string Good = Damaged("good.mov", Clip("clip.mov"));
  TTempFolder Out("corrupt-input-cli");
  const TProcessResult Result = RunProgram(
      {TARNWICK_CLI, "convert", "MP4 - MPEG4 Video (*.mp4)", Bad, Good, "--output", Out.Path()});
  EXPECT_EQ(Result.ExitStatus, 1) << Result.Errors;
  EXPECT_EQ(Result.Output, Bad + "\tFail\tno frame or sample could be decoded from '" + Bad +
                               "'\n" + Good + "\tDone\t" + Out.File("good.mp4") + "\n");
  EXPECT_GT(fs::file_size(Out.File("good.mp4")), 1000u);
}

TEST_F(CorruptInputTest, AFailedConversionLeavesNoOutput) {
  const std::string Input = Damaged("broken.mkv", BreakPictures(Clip("pictures.mkv"), 10));
  const std::string Output = Folder.File("broken.mp4");
  EXPECT_NE(ConvertOrReason(Input, Output), "");
  for (const std::string &Name : Folder.Names()) EXPECT_NE(Name.rfind("broken.mp4", 0), 0u) << Name;
}

}  // namespace
