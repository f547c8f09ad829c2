// Creating outputs: the muxer, which streams an output gets, the encoder settings each stream
// carries to the session, metadata, the opened file and the refusals.

#include <filesystem>
#include <fstream>
#include <utility>

#include "engine/FFMPEG/open_error.h"
#include "engine/binding/av_api.h"
#include "tests/engine/options_test_support.h"

namespace {

using TOptions = std::vector<std::pair<std::string, std::string>>;

class OutputTest : public TTaskTest {
 protected:
  void Set(const TOptions &Options) {
    for (const auto &[Name, Value] : Options) Task.SetOption(Name, Value);
  }
  // Opens the inputs (generated media), sets the options that follow them on a command line
  // and opens the output File in the test folder.
  bool Open(const std::vector<std::string> &Inputs, const TOptions &Options,
            const std::string &File) {
    for (const std::string &Input : Inputs)
      if (!Task.OpenInputFile(MediaFile(Input))) ADD_FAILURE() << Task.FLastErrorText;
    Set(Options);
    return Task.OpenOutputFile(Folder.File(File));
  }
  bool Open(const std::string &File) { return Open({}, {}, File); }
  const TOutputFileContext &Output(int Index) const { return *Task.FOutputFiles[Index]; }
  const AVCodecContext &Encoder(int Index, unsigned Stream) const {
    return *Output(Index).Streams.at(Stream)->Encoder;
  }
  // "type:encoder" of each stream of an output ("type:copy" for a copied stream).
  std::string StreamsOf(int Index) const {
    std::string Text;
    const TOutputFileContext &File = Output(Index);
    for (unsigned I = 0; I < File.Context->nb_streams; ++I) {
      const AVCodecContext *Enc = File.Streams[I]->Encoder.get();
      Text += Text.empty() ? "" : " ";
      Text += av::av_get_media_type_string(File.Context->streams[I]->codecpar->codec_type);
      Text += std::string(":") + (!Enc ? "copy" : Enc->codec ? Enc->codec->name : "none");
    }
    return Text;
  }

  TTempFolder Folder{"output-test"};
};

TEST_F(OutputTest, MuxerAndStreamsFollowTheNameAndTheInputs) {
  const struct {
    std::vector<std::string> Inputs;
    TOptions Options;
    const char *File;
    const char *Muxer;
    const char *Streams;
  } Cases[] = {
      {{}, {}, "a.mp4", "mp4", "video:libx264 audio:aac"},
      {{}, {}, "a.avi", "avi", "video:mpeg4 audio:libmp3lame"},
      {{}, {}, "a.mpg", "mpeg", "video:mpeg1video audio:mp2"},
      {{}, {}, "a.wav", "wav", "audio:pcm_s16le"},
      {{}, {{"f", "mp4"}}, "a.xyz", "mp4", "video:libx264 audio:aac"},
      // A type that no input has is not wanted.
      {{"audio.m4a"}, {}, "a.mp4", "mp4", "audio:aac"},
      {{"film.mp4"}, {}, "a.m4a", "ipod", "video:libx264"},
      {{"subtitled.mkv"}, {}, "a.mkv", "matroska", "video:libx264 subtitle:ssa"},
      {{"subtitled.mkv"}, {{"sn", ""}}, "a.mkv", "matroska", "video:libx264"},
      // Named codecs and copies make a stream wanted even where the muxer has no default.
      {{"sample.mov"},
       {{"vcodec", "copy"}, {"acodec", "copy"}},
       "a.mov",
       "mov",
       "video:copy audio:copy"},
      {{"sample.mov"},
       {{"vcodec", "libxvid"}, {"acodec", "libfaac"}},
       "a.mov",
       "mov",
       "video:libxvid audio:aac"},
      {{"sample.mov"}, {{"an", ""}}, "a.avi", "avi", "video:mpeg4"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.File);
    Task.Reset();
    ASSERT_TRUE(Open(Case.Inputs, Case.Options, Case.File)) << Task.FLastErrorText;
    ASSERT_EQ(Task.OutputFileCount(), 1);
    EXPECT_STREQ(Output(0).Context->oformat->name, Case.Muxer);
    EXPECT_EQ(StreamsOf(0), Case.Streams);
    EXPECT_EQ(Output(0).Streams.size(), Output(0).Context->nb_streams);
    EXPECT_EQ(Task.Options().FOutputFormat, nullptr);
    EXPECT_EQ(Task.Options().FVideoStreamCopy + Task.Options().FAudioStreamCopy, 0);
    // Written beside its name until complete.
    EXPECT_FALSE(std::filesystem::exists(Folder.File(Case.File)));
    EXPECT_TRUE(std::filesystem::exists(Output(0).TemporaryName()));
  }
}

TEST_F(OutputTest, RefusedOutputsSayWhyAndLeaveNoFile) {
  const struct {
    std::vector<std::string> Inputs;
    TOptions Options;
    std::string File;
    std::string Message;  // %s: the output's path
  } Cases[] = {
      {{}, {}, "a.xyz", "Unable to find a suitable output format for '%s'"},
      {{},
       {{"vcodec", "nosuchcodec"}},
       "a.avi",
       "new_video_stream fail: Unknown encoder 'nosuchcodec'"},
      {{}, {{"acodec", "mpeg4"}}, "a.avi", "new_audio_stream fail: Invalid encoder type 'mpeg4'"},
      {{"subtitled.mkv"},
       {{"scodec", "nosuchcodec"}},
       "a.mkv",
       "new_subtitle_stream fail: Unknown encoder 'nosuchcodec'"},
      {{}, {{"rc_override", "0,100"}}, "a.avi", "new_video_stream fail: error parsing rc_override"},
      {{}, {}, "no-such-folder/a.avi", "Could not open '%s'"},
      // The only muxer that still needs an image number in the name.
      {{}, {{"f", "webm_chunk"}}, "a.webm", FormatOpenError("%s", -33)},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.File);
    Task.Reset();
    EXPECT_FALSE(Open(Case.Inputs, Case.Options, Case.File));
    std::string Expected = Case.Message;
    if (const size_t Name = Expected.find("%s"); Name != std::string::npos)
      Expected.replace(Name, 2, Folder.File(Case.File));
    EXPECT_EQ(Task.FLastErrorText, Expected);
    EXPECT_EQ(Task.OutputFileCount(), 0);
    EXPECT_EQ(Task.Options().FOutputFormat, nullptr);
    EXPECT_EQ(Task.Options().FVideoCodecName, "");
    EXPECT_FALSE(std::filesystem::exists(Folder.File(Case.File)));
  }
}

TEST_F(OutputTest, VideoOffStaysOffUntilAVideoStreamIsAdded) {
  ASSERT_TRUE(Open({"sample.mov"}, {{"vn", ""}, {"vcodec", "mpeg4"}}, "a.avi"))
      << Task.FLastErrorText;
  ASSERT_TRUE(Open("b.avi")) << Task.FLastErrorText;
  EXPECT_EQ(StreamsOf(0), "audio:libmp3lame");
  EXPECT_EQ(StreamsOf(1), "audio:libmp3lame");
  EXPECT_EQ(Task.Options().FVideoDisable, 1);
  // Adding a stream does not look at the flag, and clears it.
  Task.NewVideoStream(*Task.FOutputFiles[1]);
  EXPECT_EQ(StreamsOf(1), "audio:libmp3lame video:mpeg4");
  EXPECT_EQ(Task.Options().FVideoDisable, 0);
  EXPECT_EQ(Task.Options().FVideoCodecName, "");
}

TEST_F(OutputTest, PictureSizeRateAspectAndPixelFormat) {
  const struct {
    TOptions Options;
    int Width, Height;
    AVRational TimeBase;
    AVPixelFormat PixFmt;
    AVRational Sar;
  } Cases[] = {
      // clang-format off
      {{{"vcodec", "mpeg4"}, {"s", "352x288"}, {"padtop", "16"}, {"padbottom", "16"}},
       352, 320, {1, 25}, AV_PIX_FMT_YUV420P, {0, 1}},
      {{{"vcodec", "mpeg4"}, {"s", "352x288"}, {"padleft", "8"}, {"padright", "24"}},
       384, 288, {1, 25}, AV_PIX_FMT_YUV420P, {0, 1}},
      // Pads past the int range give the largest size, for the encoder to refuse.
      {{{"vcodec", "mpeg4"}, {"s", "352x288"}, {"padtop", "2147483646"}, {"padbottom", "2"}},
       352, INT32_MAX, {1, 25}, AV_PIX_FMT_YUV420P, {0, 1}},
      // The encoder's listed rate nearest to the one asked for.
      {{{"vcodec", "mpeg1video"}, {"s", "352x288"}, {"r", "20"}},
       352, 288, {1001, 24000}, AV_PIX_FMT_YUV420P, {0, 1}},
      {{{"vcodec", "mpeg2video"}, {"s", "352x288"}, {"r", "29.97"}},
       352, 288, {1001, 30000}, AV_PIX_FMT_YUV420P, {0, 1}},
      // Equally near: the first listed wins (200 before 240).
      {{{"vcodec", "mpeg2video"}, {"s", "352x288"}, {"r", "220"}},
       352, 288, {1, 200}, AV_PIX_FMT_YUV420P, {0, 1}},
      {{{"vcodec", "mpeg4"}, {"s", "352x288"}, {"r", "15"}},
       352, 288, {1, 15}, AV_PIX_FMT_YUV420P, {0, 1}},
      // A format the encoder lacks falls back to its first.
      {{{"vcodec", "mpeg4"}, {"s", "64x64"}, {"pix_fmt", "rgb24"}},
       64, 64, {1, 25}, AV_PIX_FMT_YUV420P, {0, 1}},
      {{{"vcodec", "mpeg2video"}, {"s", "64x64"}, {"pix_fmt", "yuv422p"}},
       64, 64, {1, 25}, AV_PIX_FMT_YUV422P, {0, 1}},
      // The pixel shape that gives the display aspect on the padded picture.
      {{{"vcodec", "mpeg2video"}, {"s", "720x576"}, {"aspect", "16:9"}},
       720, 576, {1, 25}, AV_PIX_FMT_YUV420P, {64, 45}},
      {{{"vcodec", "mpeg2video"}, {"s", "720x480"}, {"aspect", "4:3"}},
       720, 480, {1, 25}, AV_PIX_FMT_YUV420P, {8, 9}},
      // clang-format on
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Options[1].second + " " + Case.Options.back().second);
    Task.Reset();
    ASSERT_TRUE(Open({}, Case.Options, "a.mkv")) << Task.FLastErrorText;
    const AVCodecContext &Enc = Encoder(0, 0);
    EXPECT_EQ(Enc.width, Case.Width);
    EXPECT_EQ(Enc.height, Case.Height);
    EXPECT_EQ(av_cmp_q(Enc.time_base, Case.TimeBase), 0)
        << Enc.time_base.num << "/" << Enc.time_base.den;
    EXPECT_EQ(Enc.pix_fmt, Case.PixFmt);
    EXPECT_EQ(av_cmp_q(Enc.sample_aspect_ratio, Case.Sar), 0)
        << Enc.sample_aspect_ratio.num << "/" << Enc.sample_aspect_ratio.den;
    // The stream carries the same parameters until the session opens the encoder.
    const AVCodecParameters *Parameters = Output(0).Context->streams[0]->codecpar;
    EXPECT_EQ(Parameters->width, Case.Width);
    EXPECT_EQ(Parameters->codec_id, Enc.codec_id);
  }
}

TEST_F(OutputTest, InputPictureIsTheDefault) {
  ASSERT_TRUE(Open({"ntsc.mp4"}, {}, "a.mp4")) << Task.FLastErrorText;
  const AVCodecContext &Enc = Encoder(0, 0);
  EXPECT_EQ(Enc.width, 320);
  EXPECT_EQ(Enc.height, 240);
  EXPECT_EQ(av_cmp_q(Enc.time_base, AVRational{1001, 30000}), 0);
  EXPECT_EQ(av_cmp_q(Enc.sample_aspect_ratio, AVRational{1, 1}), 0);
  const AVCodecContext &Audio = Encoder(0, 1);
  EXPECT_EQ(Audio.sample_rate, 48000);
  EXPECT_EQ(Audio.ch_layout.nb_channels, 1);
}

TEST_F(OutputTest, QualityPassesAndEncoderFlags) {
  const struct {
    TOptions Options;
    const char *File;
    int Flags;  // all of these are set
    int NotFlags;
    int Flags2;
    int GlobalQuality;
  } Cases[] = {
      {{{"qscale", "4"}}, "a.avi", AV_CODEC_FLAG_QSCALE, AV_CODEC_FLAG_GLOBAL_HEADER, 0, 472},
      {{{"pass", "1"}, {"psnr", ""}},
       "a.avi",
       AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PSNR,
       AV_CODEC_FLAG_PASS2 | AV_CODEC_FLAG_QSCALE,
       0,
       0},
      {{{"pass", "2"}}, "a.avi", AV_CODEC_FLAG_PASS2, AV_CODEC_FLAG_PASS1, 0, 0},
      // Global headers where the muxer wants them, or where asked for.
      {{}, "a.mp4", AV_CODEC_FLAG_GLOBAL_HEADER, 0, 0, 0},
      {{{"vglobal", "1"}}, "a.avi", AV_CODEC_FLAG_GLOBAL_HEADER, 0, 0, 0},
      {{{"vglobal", "2"}}, "a.mp4", 0, AV_CODEC_FLAG_GLOBAL_HEADER, AV_CODEC_FLAG2_LOCAL_HEADER, 0},
      // The flags of a generic option do not wipe the engine's own.
      {{{"flags", "+psnr"}, {"qscale", "2"}},
       "a.mp4",
       AV_CODEC_FLAG_PSNR | AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_GLOBAL_HEADER,
       0,
       0,
       236},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.File + std::string(" ") +
                 (Case.Options.empty() ? "" : Case.Options[0].first));
    Task.Reset();
    Set(Case.Options);
    Task.SetOption("vcodec", "mpeg4");
    ASSERT_TRUE(Open(Case.File)) << Task.FLastErrorText;
    const AVCodecContext &Enc = Encoder(0, 0);
    EXPECT_EQ(Enc.flags & Case.Flags, Case.Flags);
    EXPECT_EQ(Enc.flags & Case.NotFlags, 0);
    EXPECT_EQ(Enc.flags2 & AV_CODEC_FLAG2_LOCAL_HEADER, Case.Flags2);
    EXPECT_EQ(Enc.global_quality, Case.GlobalQuality);
    EXPECT_EQ(Output(0).Streams[0]->Quality, Case.GlobalQuality);
  }
}

TEST_F(OutputTest, EncoderDetailsFromTheOptions) {
  Set({{"vcodec", "mpeg2video"},
       {"intra", ""},
       {"dc", "10"},
       {"vtag", "DX50"},
       {"rc_override", "0,100,5/101,200,-50"},
       {"b", "1000000"},
       {"bufsize", "800000"},
       {"scan_offset", "1"}});
  std::string Matrix;
  for (int I = 1; I <= 64; ++I) Matrix += std::to_string(I) + (I < 64 ? "," : "");
  Task.SetOption("intra_matrix", Matrix);
  ASSERT_TRUE(Open("a.mpg")) << Task.FLastErrorText;
  const AVCodecContext &Enc = Encoder(0, 0);
  EXPECT_EQ(Enc.gop_size, 0);
  EXPECT_EQ(Enc.intra_dc_precision, 2);
  EXPECT_EQ(Enc.codec_tag, MKTAG('D', 'X', '5', '0'));
  EXPECT_EQ(Enc.bit_rate, 1000000);
  EXPECT_EQ(Enc.rc_buffer_size, 800000);
  EXPECT_EQ(Enc.rc_initial_buffer_occupancy, 600000);
  ASSERT_EQ(Enc.rc_override_count, 2);
  EXPECT_EQ(Enc.rc_override[0].start_frame, 0);
  EXPECT_EQ(Enc.rc_override[0].end_frame, 100);
  EXPECT_EQ(Enc.rc_override[0].qscale, 5);
  EXPECT_EQ(Enc.rc_override[0].quality_factor, 1.0f);
  EXPECT_EQ(Enc.rc_override[1].start_frame, 101);
  EXPECT_EQ(Enc.rc_override[1].end_frame, 200);
  EXPECT_EQ(Enc.rc_override[1].qscale, 0);
  EXPECT_EQ(Enc.rc_override[1].quality_factor, 0.5f);
  // The encoder frees its matrix, so it has its own copy.
  ASSERT_NE(Enc.intra_matrix, nullptr);
  EXPECT_NE(Enc.intra_matrix, Task.Options().FIntraMatrix.data());
  EXPECT_EQ(Enc.intra_matrix[0], 1);
  EXPECT_EQ(Enc.intra_matrix[63], 64);
  EXPECT_EQ(Enc.inter_matrix, nullptr);
  // Options private to the encoder wait for its opening.
  const AVDictionaryEntry *Private =
      av::av_dict_get(Output(0).Streams[0]->EncoderOptions.Get(), "scan_offset", nullptr, 0);
  ASSERT_NE(Private, nullptr);
  EXPECT_STREQ(Private->value, "1");
  // A second output gets the same settings from the state, in its own copies.
  Task.SetOption("vcodec", "mpeg2video");
  ASSERT_TRUE(Open("b.mpg")) << Task.FLastErrorText;
  EXPECT_NE(Encoder(1, 0).intra_matrix, Enc.intra_matrix);
  EXPECT_NE(Encoder(1, 0).rc_override, Enc.rc_override);
}

TEST_F(OutputTest, AudioStreamSettings) {
  Set({{"ar", "22050"},
       {"ac", "1"},
       {"acodec", "mp2"},
       {"ab", "64000"},
       {"aq", "2"},
       {"alang", "english"}});
  ASSERT_TRUE(Open("a.mpg")) << Task.FLastErrorText;
  const AVCodecContext &Enc = Encoder(0, 1);
  EXPECT_EQ(Enc.sample_rate, 22050);
  EXPECT_EQ(Enc.ch_layout.nb_channels, 1);
  EXPECT_EQ(av_cmp_q(Enc.time_base, AVRational{1, 22050}), 0);
  EXPECT_EQ(Enc.sample_fmt, AV_SAMPLE_FMT_S16);
  EXPECT_EQ(Enc.bit_rate, 64000);
  EXPECT_EQ(Enc.flags & AV_CODEC_FLAG_QSCALE, AV_CODEC_FLAG_QSCALE);
  EXPECT_EQ(Enc.global_quality, 236);
  const AVDictionaryEntry *Language =
      av::av_dict_get(Output(0).Context->streams[1]->metadata, "language", nullptr, 0);
  ASSERT_NE(Language, nullptr);
  EXPECT_STREQ(Language->value, "eng");
  // The language and the codec were for that stream; rate and channels stay.
  EXPECT_EQ(Task.Options().FAudioLanguage, "");
  EXPECT_EQ(Task.Options().FAudioCodecName, "");
  ASSERT_TRUE(Open("b.mpg")) << Task.FLastErrorText;
  EXPECT_EQ(av::av_dict_get(Output(1).Context->streams[1]->metadata, "language", nullptr, 0),
            nullptr);
  EXPECT_EQ(Encoder(1, 1).sample_rate, 22050);
  // An encoder without 16-bit samples gets its own first format.
  Task.SetOption("acodec", "aac");
  ASSERT_TRUE(Open("c.mp4")) << Task.FLastErrorText;
  EXPECT_EQ(Encoder(2, 1).sample_fmt, AV_SAMPLE_FMT_FLTP);
}

TEST_F(OutputTest, MetadataOfTheOutput) {
  Set({{"title", "T"},
       {"author", "A"},
       {"copyright", "C"},
       {"comment", "N"},
       {"album", "L"},
       {"genre", "G"},
       {"timestamp", "2008-03-01T12:34:56Z"}});
  Task.SetYear(2008);
  Task.SetTrack(3);
  ASSERT_TRUE(Open("a.mp4")) << Task.FLastErrorText;
  ASSERT_TRUE(Open("a.rm")) << Task.FLastErrorText;
  const std::pair<const char *, const char *> Expected[] = {
      {"title", "T"},   {"artist", "A"}, {"copyright", "C"},
      {"comment", "N"}, {"album", "L"},  {"genre", "G"},
      {"date", "2008"}, {"track", "3"},  {"creation_time", "2008-03-01T12:34:56.000000Z"},
  };
  for (int File = 0; File < 2; ++File)
    for (const auto &[Key, Value] : Expected) {
      SCOPED_TRACE(Key);
      const AVDictionaryEntry *Entry =
          av::av_dict_get(Output(File).Context->metadata, Key, nullptr, 0);
      ASSERT_NE(Entry, nullptr);
      EXPECT_STREQ(Entry->value, Value);
    }
  // The RealMedia muxer still reads the author under its old key.
  EXPECT_EQ(av::av_dict_get(Output(0).Context->metadata, "author", nullptr, 0), nullptr);
  EXPECT_NE(av::av_dict_get(Output(1).Context->metadata, "author", nullptr, 0), nullptr);
}

TEST_F(OutputTest, MuxingParameters) {
  Set({{"muxpreload", "0.25"},
       {"muxdelay", "0.4"},
       {"packetsize", "2048"},
       {"muxrate", "1411200"}});
  ASSERT_TRUE(Open("a.mpg")) << Task.FLastErrorText;
  AVFormatContext *Context = Task.FOutputFiles[0]->Context.get();
  int64_t Preload = 0;
  ASSERT_GE(av::av_opt_get_int(Context, "preload", AV_OPT_SEARCH_CHILDREN, &Preload), 0);
  EXPECT_EQ(Preload, 250000);
  EXPECT_EQ(Context->max_delay, 400000);
  EXPECT_EQ(Context->packet_size, 2048u);
  const AVDictionaryEntry *MuxRate =
      av::av_dict_get(Output(0).MuxerOptions.Get(), "muxrate", nullptr, 0);
  ASSERT_NE(MuxRate, nullptr);
  EXPECT_STREQ(MuxRate->value, "1411200");

  // A delay no muxer field can hold is held at the field's limit, not wrapped.
  Set({{"muxdelay", "1e9"}});
  ASSERT_TRUE(Open("b.mpg")) << Task.FLastErrorText;
  EXPECT_EQ(Task.FOutputFiles[1]->Context->max_delay, std::numeric_limits<int>::max());
}

TEST_F(OutputTest, AnExistingFileStaysAsItWasWhenTheOutputNeverCompletes) {
  const std::string Path = Folder.File("a.avi");
  std::ofstream(Path) << "an older file of the same name";
  ASSERT_TRUE(Open("a.avi")) << Task.FLastErrorText;
  std::ofstream(Output(0).TemporaryName(), std::ios::app) << "written";
  Task.ReleaseAll();
  EXPECT_EQ(Task.OutputFileCount(), 0);
  EXPECT_EQ(ReadFile(Path), "an older file of the same name");
  EXPECT_EQ(Folder.Names(), std::vector<std::string>{"a.avi"});
}

}  // namespace
