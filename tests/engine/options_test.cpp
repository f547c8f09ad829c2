// The option vocabulary and its handlers: which names are ignored, refused or handled, the
// checks of each handler and their exact messages, and what each stores.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "engine/FFMPEG/log_levels.h"
#include "engine/binding/av_api.h"
#include "tests/engine/options_test_support.h"
#include "text/format_text.h"

namespace {

// The refusal of a time or date text, as the option handlers word it.
std::string InvalidTime(const char *Kind, const char *Option, const char *Text) {
  return FormatText("Invalid %s specification for %s: %s", Kind, Option, Text);
}

using TOptionsTest = TTaskTest;

TEST_F(TOptionsTest, CompatibilityNamesOnlyLog) {
  for (const char *Name :
       {"L", "h", "version", "formats", "i", "y", "benchmark", "apre", "vpre", "spre"}) {
    Log.clear();
    Task.SetOption(Name, "x");
    EXPECT_EQ(Log, (std::vector<TTaskLogLine>{{1, std::string("Do nothing: option - ") + Name}}));
  }
  EXPECT_TRUE(Task.FOptionNames.empty());
  Task.FOnLog = nullptr;
  EXPECT_NO_THROW(Task.SetOption("version", ""));
}

TEST_F(TOptionsTest, UnsupportedNamesAreRefused) {
  for (const char *Name : {"threads", "absf", "vbsf", "sbsf"})
    EXPECT_EQ(Refusal(Name, "1"), std::string("TODO: option - ") + Name);
}

TEST_F(TOptionsTest, NamesAreCaseSensitiveAndUnknownOnesAreDropped) {
  EXPECT_EQ(Refusal("VCODEC", "mpeg4"), "");
  EXPECT_EQ(Refusal("no_such_option", "1"), "");
  EXPECT_TRUE(Task.Options().FVideoCodecName.empty());
  EXPECT_TRUE(Task.FOptionNames.empty());
  EXPECT_TRUE(Log.empty());
}

TEST_F(TOptionsTest, ValuesThatDoNotConvertAreRefused) {
  EXPECT_EQ(Refusal("vol", "abc"), "'abc' is not a valid integer value");
  EXPECT_EQ(Refusal("croptop", "1.5"), "'1.5' is not a valid integer value");
  EXPECT_EQ(Refusal("fs", "99999999999999999999"),
            "'99999999999999999999' is not a valid integer value");
  EXPECT_EQ(Refusal("aq", "loud"), "'loud' is not a valid floating point value");
  EXPECT_EQ(Refusal("vol", " 512 "), "");
  EXPECT_EQ(Task.Options().FAudioVolume, 512);
  EXPECT_EQ(Refusal("fs", "5000000000"), "");
  EXPECT_EQ(Task.Options().FLimitFileSize, 5000000000);
}

// Switches that take no value, each with the field it turns on.
TEST_F(TOptionsTest, SwitchesTurnOnTheirField) {
  const struct {
    const char *Name;
    int TFFmpegOptionState::*Field;
  } Switches[] = {
      {"dump", &TFFmpegOptionState::FDoPktDump},
      {"hex", &TFFmpegOptionState::FDoHexDump},
      {"re", &TFFmpegOptionState::FRateEmu},
      {"loop_input", &TFFmpegOptionState::FLoopInput},
      {"shortest", &TFFmpegOptionState::FShortest},
      {"intra", &TFFmpegOptionState::FIntraOnly},
      {"vn", &TFFmpegOptionState::FVideoDisable},
      {"sameq", &TFFmpegOptionState::FSameQuality},
      {"deinterlace", &TFFmpegOptionState::FDoDeinterlace},
      {"psnr", &TFFmpegOptionState::FDoPsnr},
      {"qphist", &TFFmpegOptionState::FQpHist},
      {"an", &TFFmpegOptionState::FAudioDisable},
      {"sn", &TFFmpegOptionState::FSubtitleDisable},
      {"isync", &TFFmpegOptionState::FInputSync},
  };
  for (const auto &Switch : Switches) {
    TCustomFFmpeg Fresh;
    Fresh.SetOption(Switch.Name, "");
    EXPECT_EQ(Fresh.Options().*Switch.Field, 1) << Switch.Name;
  }
  Task.SetOption("copyts", "");
  EXPECT_TRUE(Task.Options().FCopyTs);
}

TEST_F(TOptionsTest, TextOptionsAreKeptAsGiven) {
  const struct {
    const char *Name;
    const char *Value;
    std::string TFFmpegOptionState::*Field;
  } Texts[] = {
      {"rc_override", "0,100,5/101,200,-50", &TFFmpegOptionState::FVideoRcOverride},
      {"tvstd", "PAL-B", &TFFmpegOptionState::FVideoStandard},
      {"passlogfile", "/tmp/two pass", &TFFmpegOptionState::FPassLogFileName},
      {"alang", "eng", &TFFmpegOptionState::FAudioLanguage},
      {"slang", "fre", &TFFmpegOptionState::FSubtitleLanguage},
      {"title", "A Title", &TFFmpegOptionState::FTitle},
      {"author", "Someone", &TFFmpegOptionState::FAuthor},
      {"copyright", "(c) 2008", &TFFmpegOptionState::FCopyright},
      {"comment", "none", &TFFmpegOptionState::FComment},
      {"genre", "Rock", &TFFmpegOptionState::FGenre},
      {"album", "First", &TFFmpegOptionState::FAlbum},
  };
  for (const auto &Text : Texts) {
    Task.SetOption(Text.Name, Text.Value);
    EXPECT_EQ(Task.Options().*Text.Field, Text.Value) << Text.Name;
  }
  Task.SetOption("title", "");  // an empty metadata text leaves the earlier one
  EXPECT_EQ(Task.Options().FTitle, "A Title");
  Task.SetOption("rc_override", "1,2,3");
  EXPECT_EQ(Task.Options().FVideoRcOverride, "1,2,3");
}

TEST_F(TOptionsTest, FrameLimitsGoToTheirMediaType) {
  Task.SetOption("vframes", "10");
  Task.SetOption("aframes", "20");
  Task.SetOption("dframes", "30");
  EXPECT_EQ(Task.Options().FMaxFrames, (std::array<int, 4>{10, 20, 30, INT32_MAX}));
}

TEST_F(TOptionsTest, CropsAreCutFromTheFrameSize) {
  Task.SetOption("s", "352x288");
  Task.SetOption("croptop", "16");
  EXPECT_EQ(Task.Options().FFrameTopBand, 16);
  EXPECT_EQ(Task.Options().FFrameHeight, 272);
  Task.SetOption("cropleft", "32");
  Task.SetOption("cropright", "-2");  // ignored
  EXPECT_EQ(Task.Options().FFrameWidth, 320);
  EXPECT_EQ(Task.Options().FFrameRightBand, 0);

  const std::string Vertical =
      "Vertical crop dimensions are outside the range of the original image.\n"
      "Remember to crop first and scale second.";
  const std::string Horizontal =
      "Horizontal crop dimensions are outside the range of the original image.\n"
      "Remember to crop first and scale second.";
  const struct {
    const char *Name;
    const char *Value;
    std::string Message;
  } Refused[] = {
      {"croptop", "15", "Top crop size must be a multiple of 2"},
      {"cropbottom", "3", "Bottom crop size must be a multiple of 2"},
      {"cropleft", "1", "Left crop size must be a multiple of 2"},
      {"cropright", "7", "Right crop size must be a multiple of 2"},
      {"cropbottom", "272", Vertical},
      {"cropright", "320", Horizontal},
  };
  for (const auto &Case : Refused) EXPECT_EQ(Refusal(Case.Name, Case.Value), Case.Message);
  EXPECT_EQ(Task.Options().FFrameHeight, 272);
  EXPECT_EQ(Task.Options().FFrameWidth, 320);

  TCustomFFmpeg Fresh;
  Fresh.Reset();
  EXPECT_EQ(Refusal([&] { Fresh.SetOption("croptop", "288"); }), Vertical);
  Fresh.SetOption("s", "352x288");
  EXPECT_EQ(Refusal([&] { Fresh.SetOption("croptop", "288"); }), Vertical);
  // Without a frame size every crop is outside the picture, 0 included.
  TCustomFFmpeg NoSize;
  EXPECT_EQ(Refusal([&] { NoSize.OptFrameCropTop(0); }), Vertical);
  EXPECT_EQ(Refusal([&] { NoSize.OptFrameCropLeft(0); }), Horizontal);
}

TEST_F(TOptionsTest, FrameSizes) {
  Task.SetOption("s", "pal");
  EXPECT_EQ(Task.Options().FFrameWidth, 720);
  EXPECT_EQ(Task.Options().FFrameHeight, 576);
  EXPECT_EQ(Refusal("s", "big"), "Incorrect frame size");
  EXPECT_EQ(Refusal("s", "351x288"), "Frame size must be a multiple of 2");
  EXPECT_EQ(Refusal("s", "352x287"), "Frame size must be a multiple of 2");
}

TEST_F(TOptionsTest, PadsMustBeEvenAndNegativeOnesAreIgnored) {
  Task.SetOption("padtop", "16");
  Task.SetOption("padbottom", "8");
  Task.SetOption("padleft", "-4");
  Task.SetOption("padright", "0");
  EXPECT_EQ(Task.Options().FFramePadTop, 16);
  EXPECT_EQ(Task.Options().FFramePadBottom, 8);
  EXPECT_EQ(Task.Options().FFramePadLeft, 0);
  const struct {
    const char *Name;
    const char *Message;
  } Odd[] = {{"padtop", "Top pad size must be a multiple of 2"},
             {"padbottom", "Bottom pad size must be a multiple of 2"},
             {"padleft", "Left pad size must be a multiple of 2"},
             {"padright", "Right pad size must be a multiple of 2"}};
  for (const auto &Case : Odd) EXPECT_EQ(Refusal(Case.Name, "5"), Case.Message);
  EXPECT_EQ(Task.Options().FFramePadTop, 16);
}

// The colour holds red in its lowest byte, then green, then blue.
TEST_F(TOptionsTest, PadColourBecomesYUV) {
  const struct {
    int Color;
    std::array<int, 3> YUV;
  } Colors[] = {
      {0x0000FF, {76, 85, 255}},    // red
      {0x000000, {0, 128, 128}},    // black
      {0xFFFFFF, {255, 128, 128}},  // white
      {0x00FF00, {150, 43, 21}},    // green
      {0xFF0000, {29, 255, 107}},   // blue
  };
  for (const auto &Case : Colors) {
    Task.SetOption("padcolor", std::to_string(Case.Color));
    EXPECT_EQ(Task.Options().FPadColor, Case.YUV) << Case.Color;
  }
}

TEST_F(TOptionsTest, AspectRatios) {
  const struct {
    const char *Text;
    float Ratio;
  } Accepted[] = {{"16:9", 16.0f / 9}, {"4:3", 4.0f / 3}, {"1.5", 1.5f}, {"2.35", 2.35f}};
  for (const auto &Case : Accepted) {
    Task.SetOption("aspect", Case.Text);
    EXPECT_FLOAT_EQ(Task.Options().FFrameAspectRatio, Case.Ratio) << Case.Text;
  }
  EXPECT_FLOAT_EQ(Task.Options().FFrameAspectRatio, 2.35f);
  for (const char *Text : {"4:0", "4:-3", "x:3", "wide", "0", ""})
    EXPECT_EQ(Refusal("aspect", Text), "Incorrect aspect ratio specification.") << Text;
  EXPECT_FLOAT_EQ(Task.Options().FFrameAspectRatio, 2.35f);
}

TEST_F(TOptionsTest, StreamMaps) {
  Task.SetOption("map", "0.1");
  Task.SetOption("map", "0.1:1.0");
  Task.SetOption("map", "0x1:010");  // the numbers read like C literals
  ASSERT_EQ(static_cast<int>(Task.Options().FStreamMaps.size()), 3);
  const std::array<int, 4> Expected[] = {{0, 1, 0, 1}, {0, 1, 1, 0}, {1, 8, 1, 8}};
  for (int I = 0; I < 3; ++I) {
    const TStreamMap &Map = Task.Options().FStreamMaps[I];
    EXPECT_EQ((std::array<int, 4>{Map.FileIndex, Map.StreamIndex, Map.SyncFileIndex,
                                  Map.SyncStreamIndex}),
              Expected[I]);
  }
  Task.SetOption("map_meta_data", "1:0");
  ASSERT_EQ(static_cast<int>(Task.Options().FMetaDataMaps.size()), 1);
  EXPECT_EQ(Task.Options().FMetaDataMaps[0].OutFile, 1);
  EXPECT_EQ(Task.Options().FMetaDataMaps[0].InFile, 0);
}

TEST_F(TOptionsTest, MapsStopAtTheirCapacity) {
  for (int I = 0; I < MaxStreamMaps; ++I) Task.SetOption("map", "0.0");
  EXPECT_EQ(Refusal("map", "0.0"), "Too many stream maps (at most 20)");
  for (int I = 0; I < MaxMetaDataMaps; ++I) Task.SetOption("map_meta_data", "0:0");
  EXPECT_EQ(Refusal("map_meta_data", "0:0"), "Too many metadata maps (at most 20)");
  EXPECT_EQ(static_cast<int>(Task.Options().FStreamMaps.size()), 20);
  EXPECT_EQ(static_cast<int>(Task.Options().FMetaDataMaps.size()), 20);
}

TEST_F(TOptionsTest, TimestampScaleForTheNextInput) {
  Task.SetOption("itsscale", "1:0.5");
  EXPECT_EQ(Task.Options().FInputFilesTsScale[0][1], 0.5);
  EXPECT_EQ(Task.Options().FInputFilesTsScale[0][0], 0);
  for (const char *Text : {"20:1.0", "-1:2"})
    EXPECT_EQ(Refusal("itsscale", Text), "stream index over MAX_STREAMS(20)");
  for (int I = 0; I < 2; ++I)  // as if two inputs were open
    Task.FInputFiles.push_back(std::make_unique<TInputFileContext>());
  Task.SetOption("itsscale", "19:3");
  EXPECT_EQ(Task.Options().FInputFilesTsScale[2][19], 3);
}

TEST_F(TOptionsTest, Durations) {
  Task.SetOption("t", "00:01:00");
  EXPECT_EQ(Task.Options().FRecordingTime, 60000000);
  EXPECT_EQ(Task.Options().FOutputDurationMs, 60000);
  Task.SetOption("ss", "1.5");
  EXPECT_EQ(Task.Options().FStartTime, 1500000);
  Task.SetOption("itsoffset", "-2");
  EXPECT_EQ(Task.Options().FInputTsOffset, -2000000);
  EXPECT_EQ(Refusal("t", "soon"), InvalidTime("duration", "t", "soon"));
  EXPECT_EQ(Refusal("ss", "x"), InvalidTime("duration", "ss", "x"));
  EXPECT_EQ(Refusal("itsoffset", "1:2:3:4"), InvalidTime("duration", "itsoffset", "1:2:3:4"));
  EXPECT_EQ(Task.Options().FRecordingTime, 60000000);
}

TEST_F(TOptionsTest, RecordingTimeInMillisecondsDoesNotOverflow) {
  Task.SetRecordingTimeMs(3600000);
  EXPECT_EQ(Task.Options().FRecordingTime, 3600000000LL);
  EXPECT_EQ(Task.Options().FOutputDurationMs, 3600000);
  Task.SetOption("t", "596:00:00");  // the longest limit in whole hours that fits
  EXPECT_EQ(Task.Options().FRecordingTime, 596LL * 3600 * 1000000);
  EXPECT_EQ(Refusal("t", "597:00:00"), InvalidTime("duration", "t", "597:00:00"));
  Task.SetRecordingTimeMs(0);
  Task.SetRecordingTimeMs(-1);
  EXPECT_EQ(Task.Options().FOutputDurationMs, 596 * 3600 * 1000);
}

TEST_F(TOptionsTest, RecordingTimestampIsSecondsSinceTheEpoch) {
  Task.SetOption("timestamp", "2008-06-01T12:00:00.6Z");
  EXPECT_EQ(Task.Options().FRecTimestamp, 1212321601);
  EXPECT_EQ(Refusal("timestamp", "yesterday"), InvalidTime("date", "timestamp", "yesterday"));
}

TEST_F(TOptionsTest, TagsAreFourCharactersFirstInTheLowestByte) {
  Task.SetOption("vtag", "DX50");
  EXPECT_EQ(Task.Options().FVideoCodecTag, 'D' | 'X' << 8 | '5' << 16 | uint32_t('0') << 24);
  Task.SetOption("atag", "mp4a");
  EXPECT_EQ(Task.Options().FAudioCodecTag, MKTAG('m', 'p', '4', 'a'));
  const struct {
    const char *Name;
    const char *Tag;
    const char *Message;
  } Refused[] = {{"vtag", "DX500", "video tag parameter must be 4 chars"},
                 {"vtag", "", "video tag parameter must be 4 chars"},
                 {"atag", "mp4", "audio tag parameter must be 4 chars"}};
  for (const auto &Case : Refused) {
    try {
      Task.SetOption(Case.Name, Case.Tag);
      ADD_FAILURE() << Case.Tag << " accepted";
    } catch (const EAssertionFailed &Error) {
      EXPECT_STREQ(Error.what(), Case.Message);
    }
  }
  EXPECT_EQ(Task.Options().FVideoCodecTag, MKTAG('D', 'X', '5', '0'));
}

TEST_F(TOptionsTest, PassAndQuality) {
  Task.SetOption("pass", "2");
  EXPECT_EQ(Task.Options().FDoPass, 2);
  for (const char *Pass : {"0", "3", "-1"})
    EXPECT_EQ(Refusal("pass", Pass), "pass number can be only 1 or 2");
  EXPECT_EQ(Task.Options().FDoPass, 2);

  Task.SetOption("qscale", "4");
  EXPECT_EQ(Task.Options().FVideoQScale, 4);
  Task.SetOption("qscale", "255");
  EXPECT_EQ(Task.Options().FVideoQScale, 255);
  for (const char *QScale : {"0", "-3", "255.5", "1000"})
    EXPECT_EQ(Refusal("qscale", QScale), "qscale must be > 0.0 and <= 255");
  EXPECT_EQ(Task.Options().FVideoQScale, 255);
}

std::string Coefficients(int Count) {
  std::string Text;
  for (int I = 0; I < Count; ++I) Text += (I ? "," : "") + std::to_string(I + 8);
  return Text;
}

TEST_F(TOptionsTest, QuantiserMatrices) {
  Task.SetOption("intra_matrix", Coefficients(64));
  ASSERT_EQ(Task.Options().FIntraMatrix.size(), 64u);
  for (int I = 0; I < 64; ++I) EXPECT_EQ(Task.Options().FIntraMatrix[I], I + 8);
  Task.SetOption("inter_matrix", " 16, 17 ,18," + Coefficients(61));
  ASSERT_EQ(Task.Options().FInterMatrix.size(), 64u);
  EXPECT_EQ(Task.Options().FInterMatrix[1], 17);
  EXPECT_EQ(Task.Options().FInterMatrix[63], 68);

  const std::string Short = Coefficients(63);
  EXPECT_EQ(Refusal("intra_matrix", Short), "Syntax error in matrix \"" + Short + "\" at coeff 62");
  EXPECT_EQ(Refusal("inter_matrix", "1 2 3"), "Syntax error in matrix \"1 2 3\" at coeff 0");
}

TEST_F(TOptionsTest, CodecChoiceAndStreamCopy) {
  Task.SetOption("acodec", "copy");
  Task.SetOption("acodec", "mp2");
  EXPECT_EQ(Task.Options().FAudioStreamCopy, 1);
  EXPECT_EQ(Task.Options().FAudioCodecName, "mp2");
  Task.SetOption("vcodec", "mpeg4");
  Task.SetOption("vcodec", "");
  EXPECT_EQ(Task.Options().FVideoCodecName, "mpeg4");
  Task.SetOption("vcodec", "copy");
  EXPECT_EQ(Task.Options().FVideoCodecName, "");
  EXPECT_EQ(Task.Options().FVideoStreamCopy, 1);
  Task.SetOption("scodec", "dvdsub");
  EXPECT_EQ(Task.Options().FSubtitleCodecName, "dvdsub");
  EXPECT_EQ(Task.Options().FSubtitleStreamCopy, 0);
}

TEST_F(TOptionsTest, FormatsByName) {
  Task.SetOption("f", "mpeg");
  EXPECT_STREQ(Task.Options().FInputFormat->name, "mpeg");
  EXPECT_STREQ(Task.Options().FOutputFormat->name, "mpeg");
  Task.SetOption("f", "vcd");  // a muxer only
  EXPECT_EQ(Task.Options().FInputFormat, nullptr);
  EXPECT_STREQ(Task.Options().FOutputFormat->name, "vcd");
  EXPECT_EQ(Refusal("f", "nosuch"), "Unknown input or output format: nosuch");
  EXPECT_EQ(Task.Options().FInputFormat, nullptr);
  EXPECT_EQ(Task.Options().FOutputFormat, nullptr);
  Task.OptInputFormat("mov");
  Task.OptOutputFormat("mp4");
  EXPECT_EQ(Refusal([&] { Task.OptInputFormat("nosuch"); }), "Unknown input format: nosuch");
  EXPECT_EQ(Refusal([&] { Task.OptOutputFormat("nosuch"); }), "Unknown output format: nosuch");
  Task.OptInputFormat("");
  Task.OptOutputFormat("");
  EXPECT_STREQ(Task.Options().FInputFormat->name, "mov,mp4,m4a,3gp,3g2,mj2");
  EXPECT_STREQ(Task.Options().FOutputFormat->name, "mp4");
  EXPECT_EQ(Task.Options().FPgmyuvCompatibilityHack, 0);
}

TEST_F(TOptionsTest, PgmyuvIsServedByImage2) {
  Task.SetOption("f", "pgmyuv");
  EXPECT_STREQ(Task.Options().FInputFormat->name, "image2");
  EXPECT_STREQ(Task.Options().FOutputFormat->name, "image2");
  EXPECT_EQ(Task.Options().FPgmyuvCompatibilityHack, 1);
  EXPECT_EQ(Log, (std::vector<TTaskLogLine>{{1, "pgmyuv format is deprecated, use image2"}}));
}

TEST_F(TOptionsTest, FrameRates) {
  Task.SetOption("r", "30000/1001");
  EXPECT_EQ(Task.Options().FFrameRate.num, 30000);
  EXPECT_EQ(Task.Options().FFrameRate.den, 1001);
  Task.SetOption("r", "25");
  EXPECT_EQ(av_cmp_q(Task.Options().FFrameRate, AVRational{25, 1}), 0);
  EXPECT_EQ(Refusal("r", "fast"), "Incorrect frame rate");
  EXPECT_EQ(Refusal("r", "0"), "Incorrect frame rate");
  EXPECT_EQ(av_cmp_q(Task.Options().FFrameRate, AVRational{25, 1}), 0);
}

TEST_F(TOptionsTest, PixelFormats) {
  Task.SetOption("pix_fmt", "yuv422p");
  EXPECT_EQ(Task.Options().FFramePixFmt, AV_PIX_FMT_YUV422P);
  Task.SetOption("pix_fmt", "list");
  EXPECT_EQ(Task.Options().FFramePixFmt, AV_PIX_FMT_YUV422P);
  ASSERT_GT(Log.size(), 100u);
  EXPECT_EQ(Log[0].Text.substr(0, 4), "name");  // the header line
  const std::regex Line(R"(yuv420p +3 +12( +8-8-8)?)");
  EXPECT_EQ(std::count_if(Log.begin(), Log.end(),
                          [&](const TTaskLogLine &L) { return std::regex_match(L.Text, Line); }),
            1);
  Task.SetOption("pix_fmt", "no_such_format");
  EXPECT_EQ(Task.Options().FFramePixFmt, AV_PIX_FMT_NONE);
}

TEST_F(TOptionsTest, NewStreamsGoToTheLastOutput) {
  for (const char *Name : {"newvideo", "newaudio", "newsubtitle"})
    EXPECT_EQ(Refusal(Name, ""), "At least one output file must be specified");
  TTempFolder Folder("new-streams");
  ASSERT_TRUE(Task.OpenOutputFile(Folder.File("first.mpg"))) << Task.FLastErrorText;
  ASSERT_TRUE(Task.OpenOutputFile(Folder.File("second.mpg"))) << Task.FLastErrorText;
  AVFormatContext *First = Task.FOutputFiles[0]->Context.get();
  AVFormatContext *Second = Task.FOutputFiles[1]->Context.get();
  const unsigned FirstCount = First->nb_streams;
  const unsigned SecondCount = Second->nb_streams;
  Task.SetOption("newvideo", "");
  Task.SetOption("acodec", "mp2");
  Task.SetOption("newaudio", "");
  EXPECT_EQ(First->nb_streams, FirstCount);
  ASSERT_EQ(Second->nb_streams, SecondCount + 2);
  EXPECT_EQ(Second->streams[SecondCount]->codecpar->codec_type, AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(Second->streams[SecondCount + 1]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
  EXPECT_EQ(Task.FOutputFiles[1]->Streams.size(), Second->nb_streams);
}

TEST_F(TOptionsTest, TargetsAreNamedThroughTheDispatcher) {
  Task.SetOption("target", "pal-vcd");
  EXPECT_EQ(Task.Options().FFrameWidth, 352);
  EXPECT_EQ(Task.Options().FFrameHeight, 288);
  EXPECT_STREQ(Task.Options().FOutputFormat->name, "vcd");
  EXPECT_EQ(Task.FCodecOptions[AVMEDIA_TYPE_VIDEO]->gop_size, 15);
  EXPECT_EQ(Refusal("target", "pal-DVD"), "Unknown target type");
}

TEST_F(TOptionsTest, VerbosityKeepsTheEngineScale) {
  const int Saved = av::av_log_get_level();
  const struct {
    int Engine;
    int Library;
  } Levels[] = {{-1, AV_LOG_QUIET},
                {0, AV_LOG_ERROR},
                {1, AV_LOG_INFO},
                {2, AV_LOG_DEBUG},
                {3, AV_LOG_TRACE}};
  for (const auto &Level : Levels) {
    Task.SetOption("v", std::to_string(Level.Engine));
    EXPECT_EQ(Task.Options().FVerbose, Level.Engine);
    EXPECT_EQ(av::av_log_get_level(), Level.Library);
    EXPECT_EQ(AVLogLevel, Level.Library);
  }
  av::av_log_set_level(Saved);
  RefreshAVLogLevel();
}

TEST_F(TOptionsTest, StatisticsFileNames) {
  Task.SetOption("vstats_file", "/tmp/stats.log");
  EXPECT_EQ(Task.Options().FVStatsFileName, "/tmp/stats.log");
  Task.SetOption("vstats", "");
  const std::filesystem::path Generated = Task.Options().FVStatsFileName;
  EXPECT_EQ(Generated.parent_path(), std::filesystem::read_symlink("/proc/self/exe").parent_path());
  EXPECT_TRUE(std::regex_match(Generated.filename().string(),
                               std::regex(R"(vstats_([01]\d|2[0-3])[0-5]\d[0-5]\d\.log)")))
      << Generated;
}

TEST_F(TOptionsTest, TypedSettersKeepEarlierValuesForNotGiven) {
  Task.SetStartTime(2000000);
  Task.SetStartTime(0);
  Task.SetProgramId(3);
  Task.SetProgramId(-1);
  Task.SetAudioVolume(0);
  Task.SetAudioVolume(-1);
  Task.SetMuxMaxDelay(0.2f);
  Task.SetMuxMaxDelay(0);
  Task.SetMuxPreload(-1);
  Task.SetYear(2008);
  Task.SetYear(0);
  Task.SetTrack(-5);
  Task.SetTitle("Title");
  Task.SetTitle("");
  Task.SetAudioSyncMethod(-3);
  EXPECT_EQ(Task.Options().FStartTime, 2000000);
  EXPECT_EQ(Task.Options().FProgramId, 3);
  EXPECT_EQ(Task.Options().FAudioVolume, 0);
  EXPECT_FLOAT_EQ(Task.Options().FMuxMaxDelay, 0.2f);
  EXPECT_FLOAT_EQ(Task.Options().FMuxPreload, 0.5f);
  EXPECT_EQ(Task.Options().FYear, 2008);
  EXPECT_EQ(Task.Options().FTrack, 0);
  EXPECT_EQ(Task.Options().FTitle, "Title");
  EXPECT_EQ(Task.Options().FAudioSyncMethod, -3);

  Task.SetOption("ar", "0");
  Task.SetOption("ac", "-1");
  EXPECT_EQ(Task.Options().FAudioSampleRate, 44100);
  EXPECT_EQ(Task.Options().FAudioChannels, 2);
  Task.SetOption("ar", "48000");
  Task.SetOption("ac", "1");
  EXPECT_EQ(Task.Options().FAudioSampleRate, 48000);
  EXPECT_EQ(Task.Options().FAudioChannels, 1);
}

}  // namespace
