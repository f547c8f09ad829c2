// Subtitle encoding, codec tags of copied streams and a start past the end, each converted and
// read back with ffprobe; copies are held against what the ffmpeg program writes.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>

#include "tests/engine/transcode_test_support.h"

namespace fs = std::filesystem;

namespace {

struct TPacketTimes {
  double Pts;
  double Duration;
  bool operator==(const TPacketTimes &) const = default;
};

std::ostream &operator<<(std::ostream &Out, const TPacketTimes &Times) {
  return Out << "{" << Times.Pts << ", " << Times.Duration << "}";
}

// Pts and duration of every packet of the first subtitle stream, in seconds.
std::vector<TPacketTimes> SubtitlePackets(const std::string &File) {
  const TProcessResult Result =
      RunProgram({"/usr/bin/ffprobe", "-v", "error", "-select_streams", "s:0", "-show_entries",
                  "packet=pts_time,duration_time", "-of", "csv=p=0", File});
  std::vector<TPacketTimes> Packets;
  std::istringstream Lines(Result.Output);
  std::string Line;
  while (std::getline(Lines, Line)) {
    const size_t Comma = Line.find(',');
    if (Comma == std::string::npos) continue;
    Packets.push_back({std::atof(Line.c_str()), std::atof(Line.c_str() + Comma + 1)});
  }
  return Packets;
}

// One ffprobe entry of the first stream of a type ("v", "a", "s").
std::string StreamEntry(const std::string &File, const std::string &Type,
                        const std::string &Entry) {
  const TProcessResult Result =
      RunProgram({"/usr/bin/ffprobe", "-v", "error", "-select_streams", Type + ":0",
                  "-show_entries", "stream=" + Entry, "-of", "csv=p=0", File});
  // A transport stream lists its streams twice, under the program too.
  return Result.Output.substr(0, Result.Output.find('\n'));
}

// Two DVD subtitles, 0.5 s to 1.5 s and 2 s to 2.5 s, in Matroska. Made with the libraries'
// encoder: the ffmpeg program cannot turn text into subtitle pictures.
void WriteBitmapSubtitles(const std::string &File) {
  const AVCodec *Codec = av::avcodec_find_encoder(AV_CODEC_ID_DVD_SUBTITLE);
  ASSERT_NE(Codec, nullptr);
  TCodecContextPtr Enc(av::avcodec_alloc_context3(Codec));
  ASSERT_TRUE(Enc);
  Enc->time_base = AV_TIME_BASE_Q;
  Enc->width = 176;
  Enc->height = 144;
  ASSERT_GE(av::avcodec_open2(Enc.get(), Codec, nullptr), 0);
  AVFormatContext *Made = nullptr;
  ASSERT_GE(av::avformat_alloc_output_context2(&Made, nullptr, "matroska", File.c_str()), 0);
  TOutputContextPtr Muxer(Made);
  AVStream *Stream = av::avformat_new_stream(Muxer.get(), nullptr);
  ASSERT_NE(Stream, nullptr);
  ASSERT_GE(av::avcodec_parameters_from_context(Stream->codecpar, Enc.get()), 0);
  Stream->time_base = AVRational{1, 1000};
  ASSERT_GE(av::avio_open(&Muxer->pb, File.c_str(), AVIO_FLAG_WRITE), 0);
  ASSERT_GE(av::avformat_write_header(Muxer.get(), nullptr), 0);

  // A 32 x 8 block of colour 1 on colour 0.
  uint8_t Pixels[32 * 8];
  std::memset(Pixels, 1, sizeof Pixels);
  uint32_t Palette[4] = {0x00000000, 0xffffffff, 0xff000000, 0xff808080};
  AVSubtitleRect Rect{};
  Rect.x = 16;
  Rect.y = 100;
  Rect.w = 32;
  Rect.h = 8;
  Rect.nb_colors = 4;
  Rect.type = SUBTITLE_BITMAP;
  Rect.data[0] = Pixels;
  Rect.linesize[0] = 32;
  Rect.data[1] = reinterpret_cast<uint8_t *>(Palette);
  AVSubtitleRect *Rects[] = {&Rect};
  const int64_t Starts[] = {500, 2000}, Ends[] = {1500, 2500};  // ms
  std::vector<uint8_t> Buffer(65536);
  for (int I = 0; I < 2; ++I) {
    AVSubtitle Sub{};
    Sub.num_rects = 1;
    Sub.rects = Rects;
    Sub.end_display_time = static_cast<uint32_t>(Ends[I] - Starts[I]);
    Sub.pts = Starts[I] * 1000;
    const int Size = av::avcodec_encode_subtitle(Enc.get(), Buffer.data(),
                                                 static_cast<int>(Buffer.size()), &Sub);
    ASSERT_GT(Size, 0);
    TPacketPtr Pkt(av::av_packet_alloc());
    ASSERT_TRUE(Pkt);
    // Not reference-counted: the muxer copies the data.
    Pkt->data = Buffer.data();
    Pkt->size = Size;
    Pkt->pts = Pkt->dts = Starts[I];
    Pkt->duration = Ends[I] - Starts[I];
    Pkt->flags = AV_PKT_FLAG_KEY;
    ASSERT_GE(av::av_interleaved_write_frame(Muxer.get(), Pkt.get()), 0);
  }
  ASSERT_GE(av::av_write_trailer(Muxer.get()), 0);
  av::avio_closep(&Muxer->pb);
}

class SubtitleCopyTest : public TConversionTest {
 protected:
  // The conversion's failure reason; empty when it finished.
  std::string Reason(const TArgs &Args) {
    TCustomFFmpeg Run;
    Run.Reset();
    if (!SetUpConversion(Run, Args)) return Run.FLastErrorText;
    Run.Start(false);
    EXPECT_TRUE(Run.FTerminated);
    if (Run.FExceptionRaised) return Run.FExceptionMessage;
    EXPECT_TRUE(Run.FFinished);
    return "";
  }

  TTempFolder Folder{"subtitle-copy"};
  const std::string Subtitled = MediaFile("subtitled.mkv");  // text: 0-1 s, 1-2 s
};

TEST_F(SubtitleCopyTest, TextSubtitlesAreEncoded) {
  struct TCase {
    const char *Codec;  // empty: the muxer's own
    const char *Output;
    const char *Written;
  };
  const TCase Cases[] = {
      {"", "default.mkv", "ass"},
      {"ass", "ass.mkv", "ass"},
      {"srt", "srt.mkv", "subrip"},
      {"srt", "srt.srt", "subrip"},
  };
  const std::vector<TPacketTimes> Events = {{0, 1}, {1, 1}};
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(Case.Output);
    const std::string Output = Folder.File(Case.Output);
    TArgs Args = {{"i", Subtitled}};
    if (*Case.Codec) Args.push_back({"scodec", Case.Codec});
    Args.push_back({"", Output});
    ASSERT_EQ(Reason(Args), "");
    EXPECT_EQ(StreamEntry(Output, "s", "codec_name"), Case.Written);
    EXPECT_EQ(SubtitlePackets(Output), Events);
    const TProcessResult Text =
        RunProgram({"/usr/bin/ffmpeg", "-v", "error", "-i", Output, "-f", "srt", "-"});
    EXPECT_NE(Text.Output.find("Hello"), std::string::npos) << Text.Output;
    EXPECT_NE(Text.Output.find("World"), std::string::npos) << Text.Output;
  }
}

// Shown at the start, cleared at the end: two packets for each subtitle, timed as the ffmpeg
// program times them.
TEST_F(SubtitleCopyTest, DvbSubtitlesAreShownAndCleared) {
  const std::string Source = Folder.File("bitmaps.mkv");
  WriteBitmapSubtitles(Source);
  ASSERT_EQ(StreamEntry(Source, "s", "codec_name"), "dvd_subtitle");
  // The DVD format counts display times in steps of 1024/90000 s: the decoded times are
  // shorter than the packets'.
  const std::vector<TPacketTimes> Events = SubtitlePackets(Source);
  ASSERT_EQ(Events.size(), 2u);
  for (const char *Output : {"dvb.mkv", "dvb.ts"}) {
    SCOPED_TRACE(Output);
    const std::string Ours = Folder.File(Output);
    const std::string Reference = Folder.File(std::string("ffmpeg-") + Output);
    ASSERT_EQ(
        RunProgram({"/usr/bin/ffmpeg", "-v", "error", "-i", Source, "-c:s", "dvbsub", Reference})
            .ExitStatus,
        0);
    ASSERT_EQ(Reason({{"i", Source}, {"scodec", "dvbsub"}, {"", Ours}}), "");
    EXPECT_EQ(StreamEntry(Ours, "s", "codec_name"), "dvb_subtitle");
    const std::vector<TPacketTimes> Packets = SubtitlePackets(Ours);
    EXPECT_EQ(Packets, SubtitlePackets(Reference));
    ASSERT_EQ(Packets.size(), 2 * Events.size());
    // Each clearing packet comes one display time after its subtitle, to within a step.
    for (size_t I = 0; I < Events.size(); ++I)
      EXPECT_NEAR(Packets[2 * I + 1].Pts - Packets[2 * I].Pts, Events[I].Duration, 1024 / 90000.0)
          << I;
  }
}

TEST_F(SubtitleCopyTest, TextIsNotTurnedIntoPictures) {
  EXPECT_EQ(Reason({{"i", Subtitled}, {"scodec", "dvbsub"}, {"", Folder.File("text.mkv")}}),
            "Subtitle encoding currently only possible from text to text or bitmap to bitmap");
}

// A copied stream keeps the input's codec tag only where the output reads it as the same codec;
// the ffmpeg program's copies are the reference.
TEST_F(SubtitleCopyTest, CopiedStreamsGetTagsTheOutputReads) {
  struct TCase {
    const char *Input;
    const char *Output;
  };
  const TCase Cases[] = {
      {"programs.ts", "ts.mkv"}, {"programs.ts", "ts.avi"}, {"programs.ts", "ts.mov"},
      {"sample.mov", "mov.mp4"}, {"sample.mov", "mov.mkv"}, {"raw.avi", "raw.mov"},
  };
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(Case.Output);
    const std::string Input = MediaFile(Case.Input);
    const std::string Output = Folder.File(Case.Output);
    const std::string Reference = Folder.File(std::string("ffmpeg-") + Case.Output);
    ASSERT_EQ(RunProgram({"/usr/bin/ffmpeg", "-v", "error", "-i", Input, "-map", "0:v:0", "-c",
                          "copy", Reference})
                  .ExitStatus,
              0);
    ASSERT_EQ(Reason({{"i", Input}, {"an", ""}, {"vcodec", "copy"}, {"", Output}}), "");
    EXPECT_EQ(StreamEntry(Output, "v", "codec_name,codec_tag_string"),
              StreamEntry(Reference, "v", "codec_name,codec_tag_string"));
  }
}

// Nothing lies at or after the start: nothing is written and the task says why.
TEST_F(SubtitleCopyTest, StartPastTheEndWritesNothing) {
  struct TCase {
    const char *Name;
    const char *Input;
    bool StartBeforeInput;
    TArgs Codecs;
  };
  const TCase Cases[] = {
      {"seek, encode", "sample.mov", true, {}},
      {"seek, audio only", "audio.m4a", true, {}},
      {"output start, encode", "sample.mov", false, {}},
      {"output start, audio only", "audio.m4a", false, {}},
      {"seek, copy", "sample.mov", true, {{"vcodec", "copy"}, {"acodec", "copy"}}},
  };
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string Input = MediaFile(Case.Input);
    const std::string Output = Folder.File(std::string(Case.Name) + ".mp4");
    TArgs Args;
    if (Case.StartBeforeInput) Args.push_back({"ss", "10"});
    Args.push_back({"i", Input});
    if (!Case.StartBeforeInput) Args.push_back({"ss", "10"});
    Args.insert(Args.end(), Case.Codecs.begin(), Case.Codecs.end());
    Args.push_back({"", Output});
    EXPECT_EQ(Reason(Args), "no frame or sample could be decoded from '" + Input + "'");
    EXPECT_FALSE(fs::exists(Output));
  }
}

// A start inside the input still converts what follows it.
TEST_F(SubtitleCopyTest, StartInsideTheInputKeepsTheRest) {
  struct TCase {
    const char *Name;
    TArgs Args;
    double Duration;
  };
  const std::string Sample = MediaFile("sample.mov");  // 2 s
  const TCase Cases[] = {
      {"seek", {{"ss", "1"}, {"i", Sample}}, 1.0},
      {"output start", {{"i", Sample}, {"ss", "1.5"}}, 0.5},
  };
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string Output = Folder.File(std::string(Case.Name) + ".mp4");
    TArgs Args = Case.Args;
    Args.push_back({"", Output});
    ASSERT_EQ(Reason(Args), "");
    EXPECT_NEAR(Probe(Output).Duration, Case.Duration, 0.1);
  }
}

}  // namespace
