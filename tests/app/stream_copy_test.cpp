// Streams that already fit a job's entry go into the output as they are: the batch driver's
// decisions for real sources, the packets of a copy, the switch that turns copying off, and the
// progress of a copied job.

#include <gtest/gtest.h>

#include <QSettings>
#include <filesystem>

#include "engine/binding/av_api.h"
#include "engine/binding/av_owners.h"
#include "tests/app/model_test_support.h"

namespace fs = std::filesystem;

namespace {

using TTexts = std::vector<std::string>;

constexpr char Mp3Entry[] = "MP3 - Mpeg Layer3 Audio (*.mp3)";
constexpr char WavEntry[] = "WAV - Waveform Audio (*.wav)";

struct TPick {
  TChoiceList TFormatSettings::*List;
  const char *Text;
};

class TStreamCopyTest : public testing::Test, protected TStartedForm {
 protected:
  // Converts Source to Entry with the picks and the volume bar at Volume; the job log's lines.
  TTexts Convert(const std::string &Source, const char *Entry, const std::vector<TPick> &Picks = {},
                 int Volume = 5) {
    EXPECT_TRUE(Form.ComboOutputFormat.SelectText(Entry)) << Entry;
    Form.ComboOutputFormatChange();
    for (const TPick &Pick : Picks) EXPECT_TRUE((Form.*Pick.List).SelectText(Pick.Text));
    Form.SetTrackBar1(Volume);
    Form.ClearAllItems1Click();
    Form.AddFilesToList({Source});
    TTexts Lines;
    Form.OnJobLog = [&Lines](int, const std::string &Line) { Lines.push_back(Line); };
    Form.EditOutputFolder = Out.Path();
    Form.ButtonConvertClick();
    EXPECT_TRUE(RunEventsUntil([this] { return Form.Idle(); })) << "the batch did not end";
    Form.OnJobLog = nullptr;
    return Lines;
  }

  TTempFolder Out{"stream-copy"};
};

TEST_F(TStreamCopyTest, OnlyStreamsWithEverySettingOfTheEntryAreCopied) {
  const struct {
    const char *Source;
    const char *Entry;
    std::vector<TPick> Picks;
    int Volume;
    TTexts Lines;  // the start of each line
  } Cases[] = {
      // clang-format off
      {"fit.mp3", Mp3Entry, {}, 5,
       {"stream #0:0 copied: already mp3 48000 Hz 2 channels 192 kb/s"}},
      {"fit.mp3", Mp3Entry, {{&TFormatSettings::ComboAudioBitrate, "256 Kbps"}}, 5,
       {"stream #0:0 copied: already mp3 48000 Hz 2 channels 192 kb/s"}},
      {"rich.mp3", Mp3Entry, {}, 5,
       {"stream #0:0 re-encoded: bit rate 256 kb/s, the entry asks 192 kb/s"}},
      {"cd.mp3", Mp3Entry, {}, 5,
       {"stream #0:0 re-encoded: sample rate 44100 Hz, the entry asks 48000 Hz"}},
      {"fit.mp3", Mp3Entry, {}, 7,
       {"stream #0:0 re-encoded: the entry changes the volume"}},
      {"fit.wav", WavEntry, {}, 5,
       {"stream #0:0 copied: already pcm_s16le 44100 Hz 2 channels 1411 kb/s"}},
      {"fit.mp4", Mp4Entry, {}, 5,
       {"stream #0:0 copied: already mpeg4 320x240 25 fps yuv420p ",
        "stream #0:1 copied: already aac 44100 Hz 2 channels "}},
      {"fit.mp4", Mp4Entry, {{&TFormatSettings::ComboVideoSize, "176 x 144 (QCIF)"}}, 5,
       {"stream #0:0 re-encoded: frame size 320x240, the entry asks 176x144",
        "stream #0:1 copied: "}},
      {"fit.mp4", Mp4Entry, {{&TFormatSettings::ComboVideoFramerate, "30.0 fps"}}, 5,
       {"stream #0:0 re-encoded: frame rate 25, the entry asks 30.0", "stream #0:1 copied: "}},
      {"fit.mp4", Mp4Entry, {{&TFormatSettings::ComboAspectRatio, "16:9 (Wide Screen)"}}, 5,
       {"stream #0:0 re-encoded: display aspect 1.333, the entry asks 16:9",
        "stream #0:1 copied: "}},
      {"fit.mkv", Mp4Entry, {}, 5,
       {"stream #0:0 re-encoded: bit rate unknown", "stream #0:1 re-encoded: bit rate unknown"}},
      {"h264.mp4", Mp4Entry, {}, 5,
       {"stream #0:0 re-encoded: codec h264, the entry asks mpeg4", "stream #0:1 copied: "}},
      {"h264.mp4", Mp4Entry, {{&TFormatSettings::ComboVideoCodec, "H264"}}, 5,
       {"stream #0:0 copied: already h264 320x240 25 fps yuv420p ", "stream #0:1 copied: "}},
      {"gaps.mp4", Mp4Entry, {}, 5,
       {"stream #0:0 re-encoded: variable frame rate"}},
      {"adts.aac", Mp4Entry, {}, 5,
       {"stream #0:0 re-encoded: ADTS headers would need a bitstream filter"}},
      {"noduration.mkv", Mp4Entry, {}, 5,
       {"stream #0:0 re-encoded: the entry limits the length"}},
      // clang-format on
  };
  for (const auto &Case : Cases) {
    const TTexts Lines = Convert(MediaFile(Case.Source), Case.Entry, Case.Picks, Case.Volume);
    const std::string Label = std::string(Case.Source) + " to " + Case.Entry;
    ASSERT_EQ(Lines.size(), Case.Lines.size()) << Label;
    for (size_t I = 0; I < Lines.size(); ++I)
      EXPECT_TRUE(Lines[I].starts_with(Case.Lines[I])) << Label << ": " << Lines[I];
    EXPECT_EQ(Form.ListView1.Cell(0, jcProgress), "Done")
        << Label << ": " << Form.ListView1.Row(0).FailReason;
  }
}

TEST_F(TStreamCopyTest, ACopiedJobStillShowsItsProgressAndFrames) {
  const struct {
    const char *Source;
    const char *Entry;
    const char *Frames;  // the row's cell at the end; blank without video
  } Cases[] = {{"fit.mp4", Mp4Entry, "50"}, {"fit.mp3", Mp3Entry, " "}};
  for (const auto &Case : Cases) {
    int Highest = 0;
    Form.OnViewChange = [this, &Highest](TViewPart Part) {
      if (Part == TViewPart::ProgressBar) Highest = std::max(Highest, Form.ProgressBar1);
    };
    const TTexts Lines = Convert(MediaFile(Case.Source), Case.Entry);
    Form.OnViewChange = nullptr;
    ASSERT_FALSE(Lines.empty());
    EXPECT_NE(Lines[0].find(" copied: "), std::string::npos) << Lines[0];
    EXPECT_EQ(Form.ListView1.Cell(0, jcProgress), "Done") << Case.Source;
    EXPECT_EQ(Form.ListView1.Cell(0, jcFrames), Case.Frames) << Case.Source;
    EXPECT_GE(Highest, 99) << Case.Source;
  }
}

TEST_F(TStreamCopyTest, TheSwitchIsOnByDefaultAndStoredWithTheSettings) {
  TTempFolder Folder("stream-copy-settings");
  const std::string File = Folder.File("Tarnwick.ini");
  const struct {
    const char *Stored;  // null: a file written before the switch existed
    bool Want;
  } Cases[] = {{nullptr, true}, {"false", false}, {"true", true}};
  for (const auto &Case : Cases) {
    WriteSettingsFile(File, Folder.Path(), 30, 0, "CopyStreams",
                      Case.Stored ? QVariant(Case.Stored) : QVariant());
    TQSettingsStore Store(File), Stored(File);
    TStartedForm Started(&Store);
    const std::string Label = Case.Stored ? Case.Stored : "not stored";
    EXPECT_EQ(Started.Options.CheckBoxCopyStreams, Case.Want) << Label;
    EXPECT_TRUE(Started.Options.CheckBoxOverWrite) << Label;
    Started.Options.SetCheckBoxCopyStreams(!Case.Want);
    ASSERT_TRUE(Started.Form.FormCloseQuery());
    Started.Form.FormClose();
    EXPECT_EQ(Stored.ReadBool("CopyStreams"), !Case.Want) << Label;
  }
}

// The payloads of the first audio stream's packets, in file order.
TTexts AudioPayloads(const std::string &File) {
  TTexts Payloads;
  AVFormatContext *Opened = nullptr;
  if (av::avformat_open_input(&Opened, File.c_str(), nullptr, nullptr) < 0) return Payloads;
  TInputContextPtr Context(Opened);
  if (av::avformat_find_stream_info(Context.get(), nullptr) < 0) return Payloads;
  int Audio = -1;
  for (unsigned I = 0; I < Context->nb_streams && Audio < 0; ++I)
    if (Context->streams[I]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) Audio = int(I);
  TPacketPtr Packet(av::av_packet_alloc());
  while (Packet && av::av_read_frame(Context.get(), Packet.get()) >= 0) {
    if (Packet->stream_index == Audio)
      Payloads.emplace_back(reinterpret_cast<const char *>(Packet->data), Packet->size);
    av::av_packet_unref(Packet.get());
  }
  return Payloads;
}

TEST(StreamCopyCliTest, CopiedPacketsAreTheSourcesAndNoCopyReEncodes) {
  LoadSystemLibraries();
  const std::string Source = MediaFile("fit.mp3");
  const TTexts SourcePayloads = AudioPayloads(Source);
  ASSERT_GT(SourcePayloads.size(), 100u);
  const struct {
    std::vector<std::string> Switches;
    std::string Log;  // standard error before the counts
    bool Copied;
  } Cases[] = {
      {{"-v"}, Source + ": stream #0:0 copied: already mp3 48000 Hz 2 channels 192 kb/s\n", true},
      {{"--no-copy", "-v"}, "", false},
  };
  for (const auto &Case : Cases) {
    TTempFolder Folder("stream-copy-cli");
    std::vector<std::string> Arguments = {TARNWICK_CLI, "convert",  "mp3",
                                          Source,       "--output", Folder.Path()};
    Arguments.insert(Arguments.end(), Case.Switches.begin(), Case.Switches.end());
    const TProcessResult Result = RunProgram(Arguments);
    const std::string Output = Folder.File("fit.mp3");
    EXPECT_EQ(Result.ExitStatus, 0) << Result.Errors;
    EXPECT_EQ(Result.Output, Source + "\tDone\t" + Output + "\n");
    EXPECT_EQ(Result.Errors, Case.Log + "All Conversions Completed\n1 Done\n");
    EXPECT_EQ(AudioPayloads(Output) == SourcePayloads, Case.Copied) << Case.Log;
    // Playable: every packet decodes without a complaint.
    const TProcessResult Decoded =
        RunProgram({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", Output, "-f", "null", "-"});
    EXPECT_EQ(Decoded.ExitStatus, 0);
    EXPECT_EQ(Decoded.Errors, "");
  }
}

}  // namespace
