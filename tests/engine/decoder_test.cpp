// Decoding on its own: the asked start, the frames handed on and the packets counted as failed.

#include "engine/FFMPEG/decoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/FFMPEG/av_libs.h"
#include "tests/engine/transcode_test_support.h"

namespace {

TEST(BeforeStartTest, DataBeforeEitherStartOnlyLeadsUpToIt) {
  const struct {
    const char *Name;
    int64_t StartTime, FileStart, Pts;
    bool Before;
  } Cases[] = {
      {"no start", 0, NoTimestamp, 0, false},
      {"before the task's start", 500000, NoTimestamp, 499999, true},
      {"at the task's start", 500000, NoTimestamp, 500000, false},
      {"before the file's start", 0, 300000, 200000, true},
      {"after the file's start", 0, 300000, 300000, false},
      {"past the file's start, before the task's", 500000, 300000, 400000, true},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TInputStream Ist;
    Ist.Pts = Case.Pts;
    EXPECT_EQ(BeforeStart(Ist, {Case.StartTime, Case.FileStart, 1}), Case.Before);
  }
}

class TDecoderTest : public TTaskTest {};

// Every packet of the film clip through the video decoder: what the sink gets, what counts as
// decoded and what as failed.
TEST_F(TDecoderTest, HandsOnCheckedFramesFromTheStart) {
  const struct {
    const char *Name;
    int64_t StartTime;
    bool Accept;
    bool Whole, Failures;
  } Cases[] = {
      {"everything", 0, true, true, false},
      {"from one second on", 1000000, true, false, false},
      {"refused by the outputs", 0, false, true, true},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Task.Reset();
    ASSERT_TRUE(Task.OpenInputFile(MediaFile("film.mp4"))) << Task.FLastErrorText;
    TInputFileContext &Input = *Task.FInputFiles.at(0);
    TInputStream &Ist = *Input.Streams.at(0);
    TDecoder Decoder(Ist, {Case.StartTime, NoTimestamp, 1}, nullptr);
    ASSERT_EQ(Decoder.Open(CodecOpenLock), "");
    std::vector<int64_t> Times;
    const TDecoder::TFrameSink Sink = [&](AVFrame &Frame) {
      EXPECT_EQ(Decoder.Frame(), &Frame);
      Times.push_back(Ist.Pts);
      return Case.Accept;
    };
    TPacketPtr Packet(av::av_packet_alloc());
    int Packets = 0, Failed = 0;
    while (av::av_read_frame(Input.Context.get(), Packet.get()) >= 0) {
      if (Packet->stream_index == 0) {
        ++Packets;
        Failed += Decoder.Decode(Packet.get(), Sink) < 0;
      }
      av::av_packet_unref(Packet.get());
    }
    Decoder.Decode(nullptr, Sink);
    EXPECT_EQ(Decoder.Frame(), nullptr);
    EXPECT_EQ(Ist.DecodedPackets, Packets);
    EXPECT_EQ(Ist.DecodeErrors, Failed);
    EXPECT_EQ(Failed > 0, Case.Failures);
    EXPECT_EQ(Ist.DecodedFrames, Case.Accept ? static_cast<int64_t>(Times.size()) : 0);
    EXPECT_EQ(static_cast<int>(Times.size()) == Packets, Case.Whole);
    for (const int64_t Time : Times) EXPECT_GE(Time, Case.StartTime);
    Decoder.Close();
  }
}

}  // namespace
