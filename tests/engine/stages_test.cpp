// The session's stages on their own: the encoder hands every packet to its output file, which
// keeps each stream's end; the audio path holds samples short of a frame until its flush.

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

#include "engine/FFMPEG/audio_path.h"
#include "engine/FFMPEG/encoder.h"
#include "engine/FFMPEG/sample_converter.h"
#include "engine/FFMPEG/transcode_session.h"
#include "tests/engine/transcode_test_support.h"

namespace {

class TStageTest : public TTaskTest {
 protected:
  // The first stream of Output (44.1 kHz stereo, encoded with Codec) fed by the AAC clip, with
  // its audio path set up, its encoder open and the file's header written.
  TOutputStream &Open(const std::string &Codec, const std::string &Output) {
    Session.reset();
    Task.Reset();
    CodedBytes = 0;
    EXPECT_TRUE(SetUpConversion(Task, {{"i", MediaFile("audio.m4a")},
                                       {"acodec", Codec},
                                       {"ar", "44100"},
                                       {"ac", "2"},
                                       {"", Folder.File(Output)}}))
        << Task.FLastErrorText;
    TOutputStream &Ost = *Task.FOutputFiles.at(0)->Streams.at(0);
    TInputStream &Ist = Source();
    Session = std::make_unique<TTranscodeSession>(Task);
    Session->SetUpAudioOutput(Ost, Ist);
    Ost.Encoding = std::make_unique<TEncoder>(Ost, *Task.FOutputFiles[0], CodedBytes);
    Ost.Encoding->Open(Ost.Encoder->codec, Lock);
    av::avcodec_parameters_from_context(Ost.St->codecpar, Ost.Encoder.get());
    Ost.St->time_base = Ost.Encoder->time_base;
    Task.FOutputFiles[0]->WriteHeader(0);
    // The samples the tests send are 44.1 kHz stereo, as if the converter had given them.
    TFramePtr Stereo(av::av_frame_alloc());
    Stereo->format = AV_SAMPLE_FMT_S16;
    Stereo->sample_rate = 44100;
    av::av_channel_layout_default(&Stereo->ch_layout, 2);
    Ist.ToS16 = std::make_unique<TSampleConverter>(256);
    uint8_t *Data = nullptr;
    int Size = 0;
    EXPECT_TRUE(Ist.ToS16->Convert(*Stereo, Data, Size));
    return Ost;
  }
  TInputStream &Source() { return *Task.FInputFiles.at(0)->Streams.at(0); }
  // The stream's end in samples; -1 while it has none.
  static int64_t EndSamples(const TOutputStream &Ost) {
    return Ost.HasEndPts ? av::av_rescale_q(Ost.EndPts, Ost.St->time_base, {1, 44100}) : -1;
  }

  TTempFolder Folder{"stage-test"};
  // Holds what the audio path was set up by.
  std::unique_ptr<TTranscodeSession> Session;
  std::mutex Lock;
  int64_t CodedBytes = 0;
};

// Stereo 16-bit silence of Samples samples, as the encoder's frame.
TFramePtr SilentFrame(const AVCodecContext &Enc, int Samples, int64_t Pts) {
  TFramePtr Frame(av::av_frame_alloc());
  Frame->nb_samples = Samples;
  Frame->format = Enc.sample_fmt;
  Frame->sample_rate = Enc.sample_rate;
  Frame->pts = Pts;
  EXPECT_GE(av::av_channel_layout_copy(&Frame->ch_layout, &Enc.ch_layout), 0);
  EXPECT_GE(av::av_frame_get_buffer(Frame.get(), 0), 0);
  av::av_samples_set_silence(Frame->extended_data, 0, Samples, 2, Enc.sample_fmt);
  return Frame;
}

// What comes out of the encoder, drained included, is counted once and written: the stream's
// end is where its last frame ends, less the encoder's start-up delay.
TEST_F(TStageTest, EveryCodedPacketIsCountedAndWritten) {
  const struct {
    const char *Codec, *Output;
    int Frames, FrameSamples;
  } Cases[] = {
      {"pcm_s16le", "a.wav", 3, 1000},
      {"mp2", "a.mp2", 2, 1152},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Codec);
    TOutputStream &Ost = Open(Case.Codec, Case.Output);
    int Returned = 0;
    for (int N = 0; N < Case.Frames; ++N)
      Returned += Ost.Encoding->Send(
          SilentFrame(*Ost.Encoder, Case.FrameSamples, int64_t{N} * Case.FrameSamples).get(),
          "failed");
    Returned += Ost.Encoding->Send(nullptr, "failed");
    EXPECT_GT(Returned, 0);
    EXPECT_EQ(CodedBytes, Returned);
    EXPECT_EQ(Ost.Encoding->Send(nullptr, "failed"), 0);  // drained already
    EXPECT_EQ(EndSamples(Ost),
              int64_t{Case.Frames} * Case.FrameSamples - Ost.Encoder->initial_padding);
  }
}

// The output file keeps the furthest end of a stream's packets; a packet without a time does
// not move it.
TEST_F(TStageTest, TheMuxerKeepsEachStreamsEnd) {
  const struct {
    std::vector<std::pair<int64_t, int64_t>> Packets;  // pts, duration (samples)
    int64_t End;
  } Cases[] = {
      {{}, -1},
      {{{AV_NOPTS_VALUE, 100}}, -1},
      {{{0, 100}, {100, 100}}, 200},
      {{{0, 300}, {300, 0}}, 300},
  };
  for (const auto &Case : Cases) {
    TOutputStream &Ost = Open("pcm_s16le", "raw.wav");
    TOutputFileContext &File = *Task.FOutputFiles[0];
    std::vector<uint8_t> Data(4 * 300);
    for (const auto &[Pts, Duration] : Case.Packets) {
      TPacketPtr Pkt(av::av_packet_alloc());
      Pkt->data = Data.data();
      Pkt->size = static_cast<int>(4 * std::max<int64_t>(Duration, 1));
      Pkt->pts = Pkt->dts =
          Pts == AV_NOPTS_VALUE ? Pts : av::av_rescale_q(Pts, {1, 44100}, Ost.St->time_base);
      Pkt->duration = av::av_rescale_q(Duration, {1, 44100}, Ost.St->time_base);
      File.WritePacket(*Pkt, Ost);
    }
    EXPECT_EQ(EndSamples(Ost), Case.End) << Case.Packets.size();
  }
}

// Samples short of the encoder's frame wait in the FIFO and count as queued; the flush encodes
// them as one last frame, silence-padded where the encoder takes only whole frames.
TEST_F(TStageTest, TheAudioPathHoldsAShortRestUntilItsFlush) {
  const struct {
    const char *Codec, *Output;
    int Samples, QueuedAfterSend;
    int64_t EndAfterSend, EndAfterFlush;
  } Cases[] = {
      {"pcm_s16le", "a.wav", 1000, 0, 1000, 1000},  // takes any number of samples
      {"mp2", "a.mp2", 1000, 1000, -1, 1152},
      {"mp2", "b.mp2", 2500, 2500 - 2 * 1152, 2 * 1152, 3 * 1152},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Output);
    TOutputStream &Ost = Open(Case.Codec, Case.Output);
    std::vector<int16_t> Samples(2 * Case.Samples, 1000);
    Ost.Audio->Send(reinterpret_cast<uint8_t *>(Samples.data()),
                    static_cast<int>(Samples.size() * 2), Source());
    EXPECT_EQ(Ost.Audio->Queued(), Case.QueuedAfterSend);
    // Encoders that start late shift every packet back by their delay.
    const int Delay = Ost.Encoder->initial_padding;
    EXPECT_EQ(EndSamples(Ost), Case.EndAfterSend < 0 ? -1 : Case.EndAfterSend - Delay);
    Ost.Audio->Flush();
    Ost.Encoding->Send(nullptr, "failed");
    EXPECT_EQ(Ost.Audio->Queued(), 0);
    EXPECT_EQ(EndSamples(Ost), Case.EndAfterFlush - Delay);
  }
}

}  // namespace
