// The video path on its own: when it scales, what it takes over from the task's scaler
// options, and how synchronisation drops, duplicates and re-stamps pictures.

#include "engine/FFMPEG/video_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/FFMPEG/encoder.h"
#include "engine/FFMPEG/picture.h"
#include "engine/FFMPEG/transcode_session.h"
#include "tests/engine/transcode_test_support.h"

namespace {

class TVideoPathTest : public TTaskTest {
 protected:
  // The first stream of a raw-video output fed by the film clip, with its video path set up.
  TOutputStream &SetUp(const TArgs &Options) {
    Session.reset();
    Task.Reset();
    TArgs Args{{"i", MediaFile("film.mp4")}, {"vcodec", "rawvideo"}, {"r", "25"}};
    Args.insert(Args.end(), Options.begin(), Options.end());
    Args.push_back({"", Folder.File("v.nut")});
    EXPECT_TRUE(SetUpConversion(Task, Args)) << Task.FLastErrorText;
    TOutputStream &Ost = *Task.FOutputFiles.at(0)->Streams.at(0);
    Session = std::make_unique<TTranscodeSession>(Task);
    Session->SetUpVideoOutput(Ost, Source());
    return Ost;
  }
  // The same with its encoder open and the file's header written.
  TOutputStream &Open(const TArgs &Options) {
    TOutputStream &Ost = SetUp(Options);
    Ost.Encoding = std::make_unique<TEncoder>(Ost, *Task.FOutputFiles[0], CodedBytes);
    Ost.Encoding->Open(Ost.Encoder->codec, Lock);
    av::avcodec_parameters_from_context(Ost.St->codecpar, Ost.Encoder.get());
    Ost.St->time_base = Ost.Encoder->time_base;
    Task.FOutputFiles[0]->WriteHeader(0);
    return Ost;
  }
  TInputStream &Source() { return *Task.FInputFiles.at(0)->Streams.at(0); }

  TTempFolder Folder{"video-path-test"};
  // Holds the counters and the scaler flags the video path writes to.
  std::unique_ptr<TTranscodeSession> Session;
  std::mutex Lock;
  int64_t CodedBytes = 0;
};

// A grey picture in the encoder's format and size.
TFramePtr GreyPicture(const AVCodecContext &Enc) {
  TFramePtr Frame(av::av_frame_alloc());
  Frame->format = Enc.pix_fmt;
  Frame->width = Enc.width;
  Frame->height = Enc.height;
  EXPECT_GE(av::av_frame_get_buffer(Frame.get(), 0), 0);
  for (AVBufferRef *Buffer : Frame->buf)
    if (Buffer) std::memset(Buffer->data, 128, Buffer->size);
  return Frame;
}

// Only a picture that changes size or format goes through the scaler, and only then are the
// scaler options' flags taken over by the task.
TEST_F(TVideoPathTest, ScalesOnlyAChangedPicture) {
  const struct {
    const char *Name;
    TArgs Options;
    bool Resampling;
  } Cases[] = {
      {"same picture", {{"sws_flags", "neighbor"}}, false},
      {"cropped and padded back", {{"croptop", "16"}, {"padtop", "16"}}, false},
      {"smaller", {{"s", "88x72"}, {"sws_flags", "neighbor"}}, true},
      {"other pixel format", {{"pix_fmt", "yuv444p"}, {"sws_flags", "neighbor"}}, true},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const TOutputStream &Ost = SetUp(Case.Options);
    ASSERT_TRUE(Ost.Video);
    EXPECT_EQ(Ost.Video->Resampling(), Case.Resampling);
    EXPECT_EQ(Session->SwsFlags() == SWS_POINT, Case.Resampling);
  }
}

// Pictures at the given source times (ms) on a 25 fps output: the frames written, the
// duplicates and drops counted, and the frames the held last picture adds up to HeldUntil.
TEST_F(TVideoPathTest, SynchronisationDropsDuplicatesAndHolds) {
  const struct {
    const char *Name;
    const char *Method;
    std::vector<int64_t> Times;
    int64_t HeldUntil;  // ms
    int Written, Dup, Drop, AfterHold;
    int64_t Clock;  // the stream's clock at the end, in frames
  } Cases[] = {
      {"gap duplicated, step back dropped", "1", {0, 40, 160, 40}, 240, 4, 1, 1, 6, 6},
      {"a slight step back is kept", "1", {0, 40, 40}, 120, 3, 0, 0, 3, 3},
      {"variable rate re-stamps the gap", "2", {0, 40, 160, 40}, 240, 3, 0, 1, 3, 5},
      {"variable rate drops a picture stamped earlier", "2", {0, 40, 40}, 120, 2, 0, 1, 2, 2},
      {"re-stamping drops a picture stamped earlier", "0", {0, 40, 40}, 120, 2, 0, 1, 2, 2},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TOutputStream &Ost = Open({{"vsync", Case.Method}});
    ASSERT_EQ(av_q2d(Ost.Encoder->time_base), 1.0 / 25);
    TInputStream &Ist = Source();
    const TFramePtr Picture = GreyPicture(*Ost.Encoder);
    for (const int64_t Ms : Case.Times) {
      Ist.Pts = Ms * 1000;
      Ist.NextPts = Case.HeldUntil * 1000;
      Ost.Video->Send(*Picture, PictureOf(*Picture), Ist);
    }
    EXPECT_EQ(Ost.FrameNumber, Case.Written);
    EXPECT_EQ(Session->FramesDup(), Case.Dup);
    EXPECT_EQ(Session->FramesDrop(), Case.Drop);
    Ost.Video->ShowHeldPicture(Ist);
    EXPECT_EQ(Ost.FrameNumber, Case.AfterHold);
    EXPECT_EQ(Ost.SyncOpts, Case.Clock);
  }
}

}  // namespace
