// Progress reports and the video statistics file, on the state a session leaves in a task:
// a created output, its stream records in the session table and the counters.

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <tuple>

#include "engine/FFMPEG/transcode_session.h"
#include "tests/engine/options_test_support.h"

// What a run would have left in a session: its output table, its clock and its counters.
class TSessionProbe {
 public:
  explicit TSessionProbe(TTranscodeSession &Session) : FSession(Session) {}
  std::vector<TOutputStream *> &OutputStreams() { return FSession.FOutputStreams; }
  int64_t &TimerStart() { return FSession.FTimerStart; }
  int64_t &VideoSize() { return FSession.FVideoSize; }
  int64_t &AudioSize() { return FSession.FAudioSize; }
  int &FramesDup() { return FSession.FFramesDup; }
  int &FramesDrop() { return FSession.FFramesDrop; }
  TFilePtr &VStatsFile() { return FSession.FVStatsFile; }

 private:
  TTranscodeSession &FSession;
};

namespace {

// Frame number, fps, milliseconds, quantiser, size.
using TProgress = std::tuple<int, int, int, float, int64_t>;

class ReportTest : public TTaskTest {
 protected:
  // Creates File (written Bytes long) after Inputs, with the session's stream table; every
  // stream has written up to 2 s and the first stream has Frames frames.
  void Open(const char *File, std::vector<std::string> Inputs = {}, int Frames = 50,
            int64_t Bytes = 5120) {
    Session.reset();
    Task.Reset();
    Task.FOnProgress = nullptr;
    for (const std::string &Input : Inputs) ASSERT_TRUE(Task.OpenInputFile(MediaFile(Input)));
    if (Inputs.size()) Task.SetOption("vcodec", "copy");
    ASSERT_TRUE(Task.OpenOutputFile(Folder.File(File))) << Task.FLastErrorText;
    std::ofstream(Task.FOutputFiles[0]->TemporaryName()) << std::string(Bytes, 'x');
    Session = std::make_unique<TTranscodeSession>(Task);
    for (auto &Ost : Task.FOutputFiles[0]->Streams) {
      Ost->St->time_base = {1, 1000};
      Ost->EndPts = 2000;
      Ost->HasEndPts = true;
      Ost->CodedQuality = 2 * FF_QP2LAMBDA;
      Probe().OutputStreams().push_back(Ost.get());
    }
    Stream(0).FrameNumber = Frames;
    Probe().TimerStart() = av::av_gettime();
    Log.clear();
  }
  void CaptureProgress() {
    Task.FOnProgress = [this](TCustomFFmpeg *, const TProgressInfo &P) {
      Progress.push_back({P.FrameNumber, P.FPS, P.CurrentDuration, P.Quality, P.CurrentSize});
    };
  }
  TOutputStream &Stream(int Index) { return *Session->OutputStreams()[Index]; }

  TSessionProbe Probe() { return TSessionProbe(*Session); }

  TTempFolder Folder{"report-test"};
  std::unique_ptr<TTranscodeSession> Session;
  std::vector<TProgress> Progress;
};

TEST_F(ReportTest, ProgressCarriesTheFirstVideoStreamsFigures) {
  const struct {
    const char *File;
    std::vector<std::string> Inputs;
    int64_t SecondsRunning, EndPts;
    TProgress Expected;
  } Cases[] = {
      {"a.wav", {}, 10, 2000, {-1, -1, 2000, -1.0f, 5120}},
      {"a.mp4", {}, 0, 2000, {50, 0, 2000, 2.0f, 5120}},                // first second: fps 0
      {"a.mp4", {}, 10, 5, {50, 5, 10, 2.0f, 5120}},                    // at least 10 ms
      {"a.mp4", {}, 10, 0, {50, 5, 0, 2.0f, 5120}},                     // no position yet
      {"a.mov", {"sample.mov"}, 10, 2000, {50, 5, 2000, -1.0f, 5120}},  // stream copy
  };
  for (const auto &Case : Cases) {
    Open(Case.File, Case.Inputs);
    for (TOutputStream *Ost : Session->OutputStreams()) Ost->EndPts = Case.EndPts;
    Probe().TimerStart() -= Case.SecondsRunning * 1000000;
    CaptureProgress();
    Session->PrintReport(false);
    EXPECT_EQ(Progress, std::vector{Case.Expected});
    EXPECT_TRUE(Log.empty());
    Progress.clear();
  }
}

// Nothing at all while the first video stream has no frame; the status line only without a
// progress handler, and at level 0 only at the end; the summary after the last one.
TEST_F(ReportTest, LogLines) {
  const std::string Line = "size=       5kB time=2.00 bitrate=  20.5kbits/s";
  const std::string Frame = "frame=   50 fps=  0 q=2.0 ";
  const std::string Sizes = "video:3kB audio:1kB global headers:0kB muxing overhead ";
  const struct {
    bool Handler;
    int Verbose, Frames, Bytes;
    bool IsLast;
    std::vector<std::string> Expected;
  } Cases[] = {
      {false, 1, 50, 5120, false, {Frame + Line}},
      {false, 2, 50, 5120, false, {Frame + Line + " dup=3 drop=4"}},
      {false, 0, 50, 5120, false, {}},
      {false, 0, 50, 5120, true, {Frame + "L" + Line, Sizes + "25.00%\r\n"}},
      {false, -1, 50, 5120, true, {}},
      {true, 1, 50, 5120, true, {Sizes + "25.00%\r\n"}},
      {true, 1, 0, 5120, false, {}},
      {false, 1, 0, 5120, true, {}},
      {true, 1, 50, 0, true, {"video:0kB audio:0kB global headers:0kB muxing overhead nan%\r\n"}},
  };
  for (const auto &Case : Cases) {
    Open("a.mp4", {}, Case.Frames, Case.Bytes);
    Task.SetOption("v", std::to_string(Case.Verbose));
    if (Case.Bytes) Probe().VideoSize() = 3072, Probe().AudioSize() = 1024;
    Probe().FramesDup() = 3, Probe().FramesDrop() = 4;
    if (Case.Handler) CaptureProgress();
    Session->PrintReport(Case.IsLast);
    std::vector<std::string> Texts(Log.size());
    std::transform(Log.begin(), Log.end(), Texts.begin(), [](auto &Line) { return Line.Text; });
    EXPECT_EQ(Texts, Case.Expected) << Case.Verbose << Case.Frames << Case.IsLast;
    EXPECT_EQ(Progress.size(), Case.Handler && Case.Frames ? 1u : 0u);
    Progress.clear();
  }
}

TEST_F(ReportTest, PsnrAndQuantiserHistogramInTheStatusLine) {
  Open("a.mp4");
  AVCodecContext &Enc = *Stream(0).Encoder;
  Enc.flags |= AV_CODEC_FLAG_PSNR, Enc.width = 16, Enc.height = 16;
  const double Scale = 16 * 16 * 255.0 * 255.0;
  Stream(0).CodedError[0] = static_cast<uint64_t>(Scale / 100);
  Stream(0).CodedError[1] = Stream(0).CodedError[2] = static_cast<uint64_t>(Scale / 4000);
  Task.SetOption("qphist", "");
  Session->PrintReport(false);
  ASSERT_EQ(Log.size(), 1u);
  const std::string &Text = Log[0].Text;
  EXPECT_EQ(Text.find("frame=   50 fps=  0 q=2.0 "), 0u) << Text;
  EXPECT_NE(Text.at(26 + 2), '0') << Text;  // qp 2 was counted
  EXPECT_EQ(Text.substr(26 + 32, 37), "PSNR=Y:20.00 U:30.00 V:30.00 *:21.55 ") << Text;
  // The last report: the encoder's totals over all 50 frames.
  for (int J = 0; J < 3; ++J) Enc.error[J] = Stream(0).CodedError[J] * 50;
  Session->PrintReport(true);
  EXPECT_EQ(Log.at(1).Text.substr(27 + 32, 37), "PSNR=Y:20.00 U:30.00 V:30.00 *:21.55 ");
}

TEST_F(ReportTest, StatisticsFileGetsOneLinePerVideoFrame) {
  Open("a.mp4");
  Task.SetOption("vstats_file", Folder.File("vstats.log"));
  Stream(0).Encoder->time_base = {1, 25};
  Stream(0).SyncOpts = 50;
  Stream(0).CodedPictType = AV_PICTURE_TYPE_P;
  Probe().VideoSize() = 20480;
  Session->DoVideoStats(*Task.FOutputFiles[0], Stream(0), 1000);
  Session->DoVideoStats(*Task.FOutputFiles[0], Stream(1), 1000);  // audio: nothing
  Probe().VStatsFile().reset();
  std::stringstream Text;
  Text << std::ifstream(Task.Options().FVStatsFileName).rdbuf();
  EXPECT_EQ(Text.str(),
            "frame=    50 q= 2.0 f_size=   1000 s_size=       20kB time= 2.000 br=   200.0kbits/s "
            "avg_br=    81.9kbits/s type= P\n");

  Task.SetOption("vstats_file", Folder.File("no-such-folder/vstats.log"));
  EXPECT_EQ(Refusal([&] { Session->DoVideoStats(*Task.FOutputFiles[0], Stream(0), 1); }),
            "fopen fail: " + Task.Options().FVStatsFileName);
}

}  // namespace
