// Faults found by using the set-up as a user and a caller would: an output over an input, a
// user's empty file removed, numeric limits of rate-control values and matrices, and the task
// left as it was when opening throws or a stream is refused.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "engine/binding/format_text.h"
#include "tests/engine/options_test_support.h"

namespace {

using TOptions = std::vector<std::pair<std::string, std::string>>;

std::string ContentsOf(const std::string &Path) {
  std::ifstream File(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
}

// 64 coefficients, all Fill but one.
std::string Matrix(long Fill, int At = -1, long Value = 0) {
  std::string Text;
  for (int I = 0; I < 64; ++I) Text += (I ? "," : "") + std::to_string(I == At ? Value : Fill);
  return Text;
}

class HardeningTest : public TTaskTest {
 protected:
  void Set(const TOptions &Options) {
    for (const auto &[Name, Value] : Options) Task.SetOption(Name, Value);
  }
  const AVCodecContext &VideoEncoder() const {
    return *Task.FOutputFiles.at(0)->Streams.at(0)->Encoder;
  }

  TTempFolder Folder{"hardening-test"};
};

// ===== An output never replaces an input of its own conversion =====

TEST_F(HardeningTest, AnOutputThatIsAnInputIsRefusedAndTheInputStaysAsItWas) {
  const std::string Clip = Folder.File("clip.mov");
  std::filesystem::copy_file(MediaFile("sample.mov"), Clip);
  const std::string Original = ContentsOf(Clip);
  std::filesystem::create_symlink(Clip, Folder.File("link.mov"));
  std::filesystem::create_hard_link(Clip, Folder.File("hard.mov"));
  std::filesystem::create_directory(Folder.File("sub"));
  const std::filesystem::path Here = std::filesystem::current_path();

  const struct {
    const char *Output;  // in the test folder
    bool FromFolder;     // given relative to the test folder as the working folder
  } Cases[] = {
      {"clip.mov", false},        {"./clip.mov", true}, {"clip.mov", true},
      {"sub/../clip.mov", false}, {"link.mov", false},  {"hard.mov", false},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Output);
    Task.Reset();
    ASSERT_TRUE(Task.OpenInputFile(Clip)) << Task.FLastErrorText;
    const std::string Output = Case.FromFolder ? Case.Output : Folder.File(Case.Output);
    if (Case.FromFolder) std::filesystem::current_path(Folder.Path());
    const bool Opened = Task.OpenOutputFile(Output);
    std::filesystem::current_path(Here);
    EXPECT_FALSE(Opened);
    EXPECT_EQ(Task.FLastErrorText,
              FormatText("Output file '%s' is the input file '%s' of this conversion",
                         Output.c_str(), Clip.c_str()));
    EXPECT_EQ(Task.OutputFileCount(), 0);
    Task.ReleaseAll();
    EXPECT_EQ(ContentsOf(Clip), Original);
  }
  EXPECT_TRUE(std::filesystem::is_symlink(Folder.File("link.mov")));
}

TEST_F(HardeningTest, AnOutputBesideTheInputsIsStillCreated) {
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("sample.mov"))) << Task.FLastErrorText;
  ASSERT_TRUE(Task.OpenOutputFile(Folder.File("sample.mov"))) << Task.FLastErrorText;
  EXPECT_EQ(Task.OutputFileCount(), 1);
}

// ===== Releasing removes only what the output created =====

TEST_F(HardeningTest, AUsersEmptyFileAtARefusedOutputSurvivesTheRelease) {
  const struct {
    TOptions Options;
    const char *File;
  } Cases[] = {
      {{{"vcodec", "nosuch"}}, "a.avi"},
      {{{"acodec", "mpeg4"}}, "b.avi"},
      {{{"rc_override", "0,10,-2147483648"}}, "c.avi"},
      {{{"f", "webm_chunk"}}, "d.webm"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.File);
    const std::string Path = Folder.File(Case.File);
    std::ofstream{Path};
    {
      TCustomFFmpeg Refused;
      Refused.Reset();
      for (const auto &[Name, Value] : Case.Options) Refused.SetOption(Name, Value);
      EXPECT_FALSE(Refused.OpenOutputFile(Path));
      Refused.ReleaseAll();
      EXPECT_TRUE(std::filesystem::exists(Path));
    }
    EXPECT_TRUE(std::filesystem::exists(Path));
    EXPECT_EQ(std::filesystem::file_size(Path), 0u);
  }
}

TEST_F(HardeningTest, AnEmptyFileTheOutputCreatedIsRemovedOnRelease) {
  ASSERT_TRUE(Task.OpenOutputFile(Folder.File("a.avi"))) << Task.FLastErrorText;
  ASSERT_TRUE(std::filesystem::exists(Folder.File("a.avi")));
  Task.ReleaseAll();
  EXPECT_FALSE(std::filesystem::exists(Folder.File("a.avi")));
}

// ===== Numeric limits =====

TEST_F(HardeningTest, LargeBuffersGiveTheirInitialOccupancyIn64Bits) {
  const struct {
    const char *BufSize;
    int Occupancy;
  } Cases[] = {{"1000000000", 750000000}, {"2147483647", 1610612735}, {"400000", 300000}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.BufSize);
    Task.Reset();
    Set({{"vcodec", "mpeg4"}, {"bufsize", Case.BufSize}});
    ASSERT_TRUE(Task.OpenOutputFile(Folder.File("a.avi"))) << Task.FLastErrorText;
    EXPECT_EQ(VideoEncoder().rc_initial_buffer_occupancy, Case.Occupancy);
  }
}

TEST_F(HardeningTest, RateControlOverridesWithoutANegatableQualityAreRefused) {
  const struct {
    const char *Text;
    const char *Refusal;  // empty: accepted
    float QualityFactor;
  } Cases[] = {
      {"0,10,-2147483648", "new_video_stream fail: error parsing rc_override", 0},
      {"0,10,5/11,20,-2147483648", "new_video_stream fail: error parsing rc_override", 0},
      {"0,10,-2147483647", "", 21474836.47f},
      {"0,10,-100", "", 1.0f},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Text);
    Task.Reset();
    Set({{"vcodec", "mpeg4"}, {"rc_override", Case.Text}});
    const bool Opened = Task.OpenOutputFile(Folder.File("a.avi"));
    if (*Case.Refusal) {
      EXPECT_FALSE(Opened);
      EXPECT_EQ(Task.FLastErrorText, Case.Refusal);
      continue;
    }
    ASSERT_TRUE(Opened) << Task.FLastErrorText;
    ASSERT_EQ(VideoEncoder().rc_override_count, 1);
    EXPECT_FLOAT_EQ(VideoEncoder().rc_override[0].quality_factor, Case.QualityFactor);
  }
}

TEST_F(HardeningTest, MatrixCoefficientsOutsideSixteenBitsOrZeroAreRefused) {
  const struct {
    std::string Text;
    std::string Refusal;  // empty: accepted
  } Cases[] = {
      {Matrix(16, 5, 0),
       "Invalid coefficient 0 in matrix \"" + Matrix(16, 5, 0) + "\" at coeff 5 (1..65535)"},
      {Matrix(16, 63, 65536), "Invalid coefficient 65536 in matrix \"" + Matrix(16, 63, 65536) +
                                  "\" at coeff 63 (1..65535)"},
      {Matrix(16, 0, -1),
       "Invalid coefficient -1 in matrix \"" + Matrix(16, 0, -1) + "\" at coeff 0 (1..65535)"},
      {Matrix(1), ""},
      {Matrix(65535), ""},
  };
  for (const char *Option : {"intra_matrix", "inter_matrix"}) {
    for (const auto &Case : Cases) {
      SCOPED_TRACE(std::string(Option) + " " + Case.Text.substr(0, 24));
      Task.Reset();
      EXPECT_EQ(Refusal(Option, Case.Text), Case.Refusal);
      std::vector<uint16_t> &Field =
          Option[2] == 't' && Option[3] == 'r' ? Task.FIntraMatrix : Task.FInterMatrix;
      if (!Case.Refusal.empty()) {
        EXPECT_TRUE(Field.empty());
        continue;
      }
      ASSERT_EQ(Field.size(), 64u);
      Task.SetOption("vcodec", "mpeg4");
      ASSERT_TRUE(Task.OpenOutputFile(Folder.File("a.avi"))) << Task.FLastErrorText;
      const uint16_t *Coefficients = Option[2] == 't' && Option[3] == 'r'
                                         ? VideoEncoder().intra_matrix
                                         : VideoEncoder().inter_matrix;
      ASSERT_NE(Coefficients, nullptr);
      EXPECT_EQ(Coefficients[0], Field[0]);
      EXPECT_EQ(Coefficients[63], Field[63]);
    }
  }
}

// ===== Whatever is thrown or refused, the task is as before =====

TEST_F(HardeningTest, AnExceptionWhileCreatingAnOutputLeavesTheOptionsAsBefore) {
  // The encoder alias is announced through the log notification, which the caller makes throw.
  Task.FOnLog = [](TCustomFFmpeg *, int, const std::string &Text) {
    if (Text.starts_with("Using encoder")) throw std::runtime_error("caller failed");
  };
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("sample.mov"))) << Task.FLastErrorText;
  Set({{"f", "avi"},
       {"vcodec", "mpeg4"},
       {"acodec", "libfaac"},
       {"ar", "22050"},
       {"alang", "fra"}});
  const TFFmpegOptionState Before = Task;
  EXPECT_THROW(Task.OpenOutputFile(Folder.File("a.avi")), std::runtime_error);
  // The per-file choices are reset; everything else is as before the call.
  EXPECT_EQ(Task.FOutputFormat, nullptr);
  EXPECT_EQ(Task.FInputFormat, nullptr);
  EXPECT_EQ(Task.FVideoCodecName, "mpeg4");
  EXPECT_EQ(Task.FAudioCodecName, "libfaac");
  EXPECT_EQ(Task.FAudioSampleRate, 22050);
  EXPECT_EQ(Task.FAudioLanguage, "fra");
  EXPECT_EQ(Task.FFrameWidth, Before.FFrameWidth);
  EXPECT_EQ(Task.FFrameRate.num, Before.FFrameRate.num);
  EXPECT_EQ(Task.OutputFileCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(Folder.File("a.avi")));
  // The next output is made from the same options.
  Task.FOnLog = nullptr;
  Task.SetOption("f", "avi");
  ASSERT_TRUE(Task.OpenOutputFile(Folder.File("b.avi"))) << Task.FLastErrorText;
  EXPECT_EQ(Task.FOutputFiles[0]->Streams.at(0)->Encoder->codec->id, AV_CODEC_ID_MPEG4);
  EXPECT_EQ(Task.FOutputFiles[0]->Streams.at(1)->Encoder->codec->id, AV_CODEC_ID_AAC);
  EXPECT_EQ(Task.FOutputFiles[0]->Streams.at(1)->Encoder->sample_rate, 22050);
}

TEST_F(HardeningTest, AFailedInputOpenStillResetsThePerFileOptions) {
  Set({{"f", "mov"}, {"vcodec", "h264"}, {"acodec", "aac"}, {"re", ""}, {"vc", "1"}});
  Task.SetOption("vcodec", "nosuchdecoder");
  EXPECT_FALSE(Task.OpenInputFile(MediaFile("sample.mov")));
  EXPECT_EQ(Task.FLastErrorText, "Unknown decoder 'nosuchdecoder'");
  EXPECT_EQ(Task.FVideoCodecName, "");
  EXPECT_EQ(Task.FAudioCodecName, "");
  EXPECT_EQ(Task.FInputFormat, nullptr);
  EXPECT_EQ(Task.FRateEmu, 0);
  EXPECT_EQ(Task.FVideoChannel, 0);
  EXPECT_EQ(Task.InputFileCount(), 0);
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("sample.mov"))) << Task.FLastErrorText;
  EXPECT_EQ(Task.FInputFiles[0]->RateEmu, 0);
}

TEST_F(HardeningTest, ARefusedStreamLeavesTheOutputsStreamsAsTheyWere) {
  const struct {
    const char *Name;
    TOptions Options;
    const char *Add;
  } Cases[] = {
      {"unknown encoder", {{"vcodec", "nosuch"}}, "newvideo"},
      {"encoder of another type", {{"acodec", "mpeg4"}}, "newaudio"},
      {"rate-control override", {{"rc_override", "0,10,-2147483648"}}, "newvideo"},
      {"subtitle encoder", {{"scodec", "nosuch"}}, "newsubtitle"},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Task.Reset();
    ASSERT_TRUE(Task.OpenInputFile(MediaFile("sample.mov"))) << Task.FLastErrorText;
    ASSERT_TRUE(Task.OpenOutputFile(Folder.File("a.mkv"))) << Task.FLastErrorText;
    const TOutputFileContext &Output = *Task.FOutputFiles[0];
    const unsigned Streams = Output.Context->nb_streams;
    ASSERT_EQ(Output.Streams.size(), Streams);
    Set(Case.Options);
    EXPECT_NE(Refusal(Case.Add, ""), "");
    EXPECT_EQ(Output.Context->nb_streams, Streams);
    EXPECT_EQ(Output.Streams.size(), Streams);
  }
}

TEST_F(HardeningTest, AStreamWhoseCreationThrowsIsNotAdded) {
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("sample.mov"))) << Task.FLastErrorText;
  ASSERT_TRUE(Task.OpenOutputFile(Folder.File("a.mkv"))) << Task.FLastErrorText;
  const TOutputFileContext &Output = *Task.FOutputFiles[0];
  const unsigned Streams = Output.Context->nb_streams;
  Task.FOnLog = [](TCustomFFmpeg *, int, const std::string &) {
    throw std::runtime_error("caller failed");
  };
  Task.SetOption("acodec", "libfaac");
  EXPECT_THROW(Task.SetOption("newaudio", ""), std::runtime_error);
  EXPECT_EQ(Output.Context->nb_streams, Streams);
  EXPECT_EQ(Output.Streams.size(), Streams);
  for (const auto &Stream : Output.Streams) EXPECT_TRUE(Stream->Encoder || Stream->StreamCopy);
}

}  // namespace
