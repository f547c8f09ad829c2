// Faults found by using the set-up as a user and a caller would: an output over an input, a
// user's empty file removed, numeric limits of rate-control values and matrices, and the task
// left as it was when opening throws or a stream is refused.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "tests/engine/options_test_support.h"
#include "text/format_text.h"

namespace {

namespace fs = std::filesystem;
using TOptions = std::vector<std::pair<std::string, std::string>>;

std::string ContentsOf(const std::string &Path) {
  std::ifstream File(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
}

// 64 coefficients, all Fill but the one At.
std::string Matrix(long Fill, int At, long Value) {
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
  bool Opens(const TOptions &Options) {
    Task.Reset();
    Set(Options);
    return Task.OpenOutputFile(Folder.File("a.avi"));
  }

  TTempFolder Folder{"hardening-test"};
};

TEST_F(HardeningTest, AnOutputThatIsAnInputIsRefusedAndTheInputStaysAsItWas) {
  const std::string Clip = Folder.File("clip.mov");
  fs::copy_file(MediaFile("sample.mov"), Clip);
  const std::string Original = ContentsOf(Clip);
  fs::create_symlink(Clip, Folder.File("link.mov"));
  fs::create_hard_link(Clip, Folder.File("hard.mov"));
  const fs::path Here = fs::current_path();
  const struct {
    const char *Output;
    bool FromFolder;  // relative to the test folder as the working folder
  } Cases[] = {{"clip.mov", false}, {"./clip.mov", true}, {"link.mov", false}, {"hard.mov", false}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Output);
    Task.Reset();
    ASSERT_TRUE(Task.OpenInputFile(Clip)) << Task.FLastErrorText;
    const std::string Output = Case.FromFolder ? Case.Output : Folder.File(Case.Output);
    if (Case.FromFolder) fs::current_path(Folder.Path());
    const bool Opened = Task.OpenOutputFile(Output);
    fs::current_path(Here);
    EXPECT_FALSE(Opened);
    EXPECT_EQ(Task.FLastErrorText,
              FormatText("Output file '%s' is the input file '%s' of this conversion",
                         Output.c_str(), Clip.c_str()));
    EXPECT_EQ(Task.OutputFileCount(), 0);
    Task.ReleaseAll();
    EXPECT_EQ(ContentsOf(Clip), Original);
  }
  EXPECT_TRUE(fs::is_symlink(Folder.File("link.mov")));
}

TEST_F(HardeningTest, AnOutputBesideTheInputsIsStillCreated) {
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("sample.mov"))) << Task.FLastErrorText;
  EXPECT_TRUE(Task.OpenOutputFile(Folder.File("sample.mov"))) << Task.FLastErrorText;
}

TEST_F(HardeningTest, ReleasingRemovesOnlyAFileTheOutputCreated) {
  const struct {
    TOptions Options;
    const char *File;
    bool UsersFile;  // an empty file was there before; the output is refused
  } Cases[] = {
      {{{"vcodec", "nosuch"}}, "a.avi", true},
      {{{"f", "webm_chunk"}}, "b.webm", true},
      {{}, "c.avi", false},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.File);
    const std::string Path = Folder.File(Case.File);
    if (Case.UsersFile) std::ofstream{Path};
    {
      TCustomFFmpeg Output;
      Output.Reset();
      for (const auto &[Name, Value] : Case.Options) Output.SetOption(Name, Value);
      EXPECT_EQ(Output.OpenOutputFile(Path), !Case.UsersFile) << Output.FLastErrorText;
      EXPECT_EQ(fs::exists(Path), Case.UsersFile);  // its own file is written beside the name
      Output.ReleaseAll();
      EXPECT_EQ(fs::exists(Path), Case.UsersFile);
    }
    EXPECT_EQ(fs::exists(Path), Case.UsersFile);
  }
}

TEST_F(HardeningTest, LargeBuffersGiveTheirInitialOccupancyIn64Bits) {
  for (const auto &[BufSize, Occupancy] :
       {std::pair{"1000000000", 750000000}, std::pair{"2147483647", 1610612735}}) {
    SCOPED_TRACE(BufSize);
    ASSERT_TRUE(Opens({{"vcodec", "mpeg4"}, {"bufsize", BufSize}})) << Task.FLastErrorText;
    EXPECT_EQ(VideoEncoder().rc_initial_buffer_occupancy, Occupancy);
  }
}

TEST_F(HardeningTest, ARateControlOverrideWithoutANegatableQualityIsRefused) {
  EXPECT_FALSE(Opens({{"vcodec", "mpeg4"}, {"rc_override", "0,10,-2147483648"}}));
  EXPECT_EQ(Task.FLastErrorText, "new_video_stream fail: error parsing rc_override");
  ASSERT_TRUE(Opens({{"vcodec", "mpeg4"}, {"rc_override", "0,10,-2147483647"}}))
      << Task.FLastErrorText;
  ASSERT_EQ(VideoEncoder().rc_override_count, 1);
  EXPECT_FLOAT_EQ(VideoEncoder().rc_override[0].quality_factor, 21474836.47f);
}

TEST_F(HardeningTest, MatrixCoefficientsOutsideSixteenBitsOrZeroAreRefused) {
  for (const auto &[Option, Encoder] : {std::pair{"intra_matrix", &AVCodecContext::intra_matrix},
                                        std::pair{"inter_matrix", &AVCodecContext::inter_matrix}}) {
    SCOPED_TRACE(Option);
    for (const auto &[At, Value] : {std::pair{5, 0L}, std::pair{63, 65536L}}) {
      const std::string Text = Matrix(16, At, Value);
      EXPECT_EQ(Refusal(Option, Text),
                FormatText("Invalid coefficient %ld in matrix \"%s\" at coeff %d (1..65535)", Value,
                           Text.c_str(), At));
      EXPECT_TRUE(Task.Options().FIntraMatrix.empty() && Task.Options().FInterMatrix.empty());
    }
    // Both limits are accepted and reach the encoder.
    ASSERT_EQ(Refusal(Option, Matrix(65535, 0, 1)), "");
    Task.SetOption("vcodec", "mpeg4");
    ASSERT_TRUE(Task.OpenOutputFile(Folder.File("a.avi"))) << Task.FLastErrorText;
    const uint16_t *Coefficients = VideoEncoder().*Encoder;
    ASSERT_NE(Coefficients, nullptr);
    EXPECT_EQ(Coefficients[0], 1);
    EXPECT_EQ(Coefficients[63], 65535);
    Task.Reset();
  }
}

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
  EXPECT_THROW(Task.OpenOutputFile(Folder.File("a.avi")), std::runtime_error);
  EXPECT_EQ(Task.Options().FOutputFormat, nullptr);
  EXPECT_EQ(Task.Options().FInputFormat, nullptr);
  EXPECT_EQ(Task.Options().FAudioLanguage, "fra");
  EXPECT_EQ(Task.OutputFileCount(), 0);
  EXPECT_FALSE(fs::exists(Folder.File("a.avi")));
  // The next output is made from the same options.
  Task.FOnLog = nullptr;
  Task.SetOption("f", "avi");
  ASSERT_TRUE(Task.OpenOutputFile(Folder.File("b.avi"))) << Task.FLastErrorText;
  const auto &Streams = Task.FOutputFiles[0]->Streams;
  EXPECT_EQ(Streams.at(0)->Encoder->codec->id, AV_CODEC_ID_MPEG4);
  EXPECT_EQ(Streams.at(1)->Encoder->codec->id, AV_CODEC_ID_AAC);
  EXPECT_EQ(Streams.at(1)->Encoder->sample_rate, 22050);
}

TEST_F(HardeningTest, AFailedInputOpenStillResetsThePerFileOptions) {
  Set({{"f", "mov"}, {"acodec", "aac"}, {"re", ""}, {"vc", "1"}, {"vcodec", "nosuchdecoder"}});
  EXPECT_FALSE(Task.OpenInputFile(MediaFile("sample.mov")));
  EXPECT_EQ(Task.FLastErrorText, "Unknown decoder 'nosuchdecoder'");
  EXPECT_EQ(Task.Options().FVideoCodecName, "");
  EXPECT_EQ(Task.Options().FAudioCodecName, "");
  EXPECT_EQ(Task.Options().FInputFormat, nullptr);
  EXPECT_EQ(Task.Options().FRateEmu, 0);
  EXPECT_EQ(Task.Options().FVideoChannel, 0);
  EXPECT_EQ(Task.InputFileCount(), 0);
  ASSERT_TRUE(Task.OpenInputFile(MediaFile("sample.mov"))) << Task.FLastErrorText;
  EXPECT_EQ(Task.FInputFiles[0]->RateEmu, 0);
}

TEST_F(HardeningTest, AStreamRefusedOrThrowingLeavesTheOutputsStreamsAsTheyWere) {
  const struct {
    const char *Name;
    TOptions Options;
    const char *Add;
    bool CallerThrows;  // the log notification throws during the creation
  } Cases[] = {
      {"encoder of another type", {{"acodec", "mpeg4"}}, "newaudio", false},
      {"rate-control override", {{"rc_override", "0,10,-2147483648"}}, "newvideo", false},
      {"subtitle encoder", {{"scodec", "nosuch"}}, "newsubtitle", false},
      {"caller throws", {{"acodec", "libfaac"}}, "newaudio", true},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Task.Reset();
    Task.FOnLog = nullptr;
    ASSERT_TRUE(Task.OpenInputFile(MediaFile("sample.mov"))) << Task.FLastErrorText;
    ASSERT_TRUE(Task.OpenOutputFile(Folder.File("a.mkv"))) << Task.FLastErrorText;
    const TOutputFileContext &Output = *Task.FOutputFiles[0];
    const unsigned Streams = Output.Context->nb_streams;
    ASSERT_EQ(Output.Streams.size(), Streams);
    Set(Case.Options);
    if (Case.CallerThrows) {
      Task.FOnLog = [](TCustomFFmpeg *, int, const std::string &) {
        throw std::runtime_error("caller failed");
      };
      EXPECT_THROW(Task.SetOption(Case.Add, ""), std::runtime_error);
    } else {
      EXPECT_NE(Refusal(Case.Add, ""), "");
    }
    EXPECT_EQ(Output.Context->nb_streams, Streams);
    EXPECT_EQ(Output.Streams.size(), Streams);
    for (const auto &Stream : Output.Streams) EXPECT_TRUE(Stream->Encoder || Stream->StreamCopy);
  }
}

}  // namespace
