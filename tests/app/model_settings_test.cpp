// Start-up, the stored settings (always in a temporary file, never the user's), the volume
// bar, the drop-down size, the list commands and the driver's rules that need no conversion.

#include <gtest/gtest.h>

#include <QSettings>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/job_rules.h"
#include "tests/app/model_test_support.h"

namespace fs = std::filesystem;

namespace {

using TTexts = std::vector<std::string>;

class TSettingsTest : public testing::Test {
 protected:
  TTempFolder Folder{"model-settings"};
  std::string File = Folder.File("Tarnwick.ini");
};

TEST_F(TSettingsTest, FirstRunWritesTheDefaultsAndClosingSavesWhatWasChosen) {
  TQSettingsStore Store(File), Stored(File);
  TStartedForm Started(&Store);
  TForm1 &Form = Started.Form;
  EXPECT_EQ(Form.ComboOutputFormat.ItemIndex(), 0);
  EXPECT_EQ(Form.FOutputType, "3GP");
  EXPECT_EQ(Form.ComboAspectRatio.ItemIndex() + Form.ComboLetterBox.ItemIndex(), 0);
  EXPECT_EQ(Form.LabelVolume, "100%");
  EXPECT_FALSE(Form.TimerConvertAgain.Enabled());
  EXPECT_EQ(Stored.ReadString("Output Folder"), "");
  EXPECT_EQ(Stored.ReadInteger("ComboOutputFormat"), 0);
  EXPECT_FALSE(Stored.ReadBool("Overwrite"));
  EXPECT_EQ(Stored.ReadInteger("DropDownItems"), 27);
  EXPECT_EQ(Stored.ReadInteger("LetterBox"), 0);

  Started.Dialogs.FolderToChoose = Folder.Path();
  Form.ButtonBrowseForFolderClick();
  Form.ComboLetterBox.SetItemIndex(1);
  ASSERT_TRUE(Form.ComboOutputFormat.SelectText(Mp4Entry));
  Form.ComboOutputFormatChange();
  ASSERT_TRUE(Form.FormCloseQuery());
  Form.FormClose();
  EXPECT_EQ(Stored.ReadString("Output Folder"), Folder.Path());
  EXPECT_EQ(Stored.ReadInteger("LetterBox"), 1);
  EXPECT_EQ(Stored.ReadInteger("ComboOutputFormat"), 10);
}

TEST_F(TSettingsTest, StoredValuesAreAppliedAndAFailedReadKeepsWhatWasReadBeforeIt) {
  const struct {
    int Format;
    const char *DropDown;  // as the file holds it
    int WantFormat;
    std::string WantType;
    int WantDropDown, WantLetterBox;
  } Cases[] = {
      {10, "40", 10, "MP4", 40, 1}, {-1, "30", 0, "3GP", 30, 1},
      {62, "30", -1, "", 30, 1},  // outside the catalogue: nothing selected, nothing applied
      {6, "many", 6, "AVI", 27, 0}, {6, "100", 6, "AVI", 47, 1},
  };
  for (const auto &Case : Cases) {
    fs::remove(File);
    {
      QSettings Raw(QString::fromStdString(File), QSettings::IniFormat);
      Raw.setValue("Output Folder", QString::fromStdString(Folder.Path()));
      Raw.setValue("ComboOutputFormat", Case.Format);
      Raw.setValue("Overwrite", true);
      Raw.setValue("DropDownItems", Case.DropDown);
      Raw.setValue("LetterBox", 1);
      Raw.setValue("CopyStreams", false);
      Raw.setValue("Simultaneous Conversions", 2);
    }
    TQSettingsStore Store(File);
    TStartedForm Started(&Store);
    TForm1 &Form = Started.Form;
    EXPECT_EQ(Form.EditOutputFolder, Folder.Path());
    EXPECT_EQ(Form.ComboOutputFormat.ItemIndex(), Case.WantFormat) << Case.Format;
    EXPECT_EQ(Form.FOutputType, Case.WantType) << Case.Format;
    EXPECT_TRUE(Started.Options.CheckBoxOverWrite);
    EXPECT_EQ(Started.Options.SpinEdit1, Case.WantDropDown) << Case.DropDown;
    EXPECT_EQ(Form.ComboOutputFormat.DropDownCount(), Case.WantDropDown) << Case.DropDown;
    EXPECT_EQ(Form.ComboLetterBox.ItemIndex(), Case.WantLetterBox) << Case.DropDown;
    // Read on their own: an older value that fails to read does not reset them.
    EXPECT_FALSE(Started.Options.CheckBoxCopyStreams) << Case.DropDown;
    EXPECT_EQ(Started.Options.SpinEditJobs, std::min(2, TForm4::SpinEditJobsMax()))
        << Case.DropDown;
  }
}

using TFormTest = TModelFixture;

TEST_F(TFormTest, TheVolumeBarFollowsItsTable) {
  const struct {
    int Position;
    const char *Label;
    int Volume;
  } Cases[] = {{0, "0%", 1},     {1, "20%", 50},   {4, "80%", 200},
               {5, "100%", 255}, {6, "120%", 300}, {10, "200%", 600}};
  for (const auto &Case : Cases) {
    Form.SetTrackBar1(Case.Position);
    EXPECT_EQ(Form.LabelVolume, Case.Label);
    EXPECT_EQ(Form.AudioVolumeSetting, Case.Volume);
  }
}

TEST_F(TFormTest, TheDropDownSizeFollowsTheSpinFieldAtOnceWithin26To47) {
  EXPECT_EQ(Form.ComboOutputFormat.DropDownCount(), 27);
  const struct { int Value, Lines; } Cases[] = {{40, 40}, {60, 47}, {3, 26}};
  for (const auto &Case : Cases) {
    Options.SetSpinEdit1(Case.Value);
    EXPECT_EQ(Form.ComboOutputFormat.DropDownCount(), Case.Lines) << Case.Value;
  }
  Form.ComboOutputFormatDropDown();
  EXPECT_EQ(Form.ComboOutputFormat.DropDownCount(), 26);
}

TEST_F(TFormTest, MenuCommandsReachTheDialogsAndTheView) {
  TTexts Shown;
  Form.OnShowAbout = [&Shown] { Shown.push_back("about"); };
  Form.OnShowAdditionalOptions = [&Shown] { Shown.push_back("options"); };
  Form.OnTerminateApplication = [&Shown] { Shown.push_back("exit"); };
  Form.About1Click();
  Form.SetGeneralOptions1Click();
  Form.Exit1Click();
  Form.OpenHelpFile1Click();
  Form.VisitOurWebsite1Click();
  EXPECT_EQ(Shown, (TTexts{"about", "options", "exit"}));
  EXPECT_EQ(fs::path(Form.HelpFile).filename(), "help.html");
  EXPECT_EQ(Dialogs.HelpShown, TTexts{Form.HelpFile});
  ASSERT_EQ(Dialogs.SitesOpened.size(), 1u);
  // The address is the help file's part about the project, a page that exists.
  const QUrl Site(QString::fromStdString(Dialogs.SitesOpened[0]));
  EXPECT_EQ(Site.toLocalFile().toStdString(), fs::absolute(Form.HelpFile).string());
  EXPECT_EQ(Site.fragment(), "project");
  std::ifstream Help(std::string(TARNWICK_BINARY_DIR) + "/app/help.html");
  ASSERT_TRUE(Help.good()) << "the help file is copied beside the program when it is built";
  const std::string Text((std::istreambuf_iterator<char>(Help)), {});
  EXPECT_NE(Text.find("id=\"project\""), std::string::npos);
  // A folder with blanks, a "#" and other letters still names the file.
  for (const std::string Odd : {"/opt/Tarn wick #2/ä%/help.html", "/usr/share/tarnwick/help.html"})
    EXPECT_EQ(QUrl(QString::fromStdString(ProjectPageAddress(Odd))).toLocalFile().toStdString(),
              Odd);
}

TEST_F(TFormTest, AddedFilesBecomeCheckedRowsWithTheirProbedCells) {
  AddFiles({MediaFile("ntsc.mp4"), MediaFile("audio.m4a"), MediaFile("clip.mov")});
  EXPECT_EQ(Dialogs.OpenFilter, OpenDialogFilter);
  ASSERT_EQ(Form.ListView1.Count(), 3);
  const std::array<std::string, JobCellCount> Expected[] = {
      {"320x240", "29.97", "00:00:02", "MP4", "", "", ""},
      {" ", " ", "00:00:03", "MP4", "", "", ""},
      {"", "", "", "", "Error", "", ""},
  };
  for (int Row = 0; Row < 3; ++Row) {
    EXPECT_TRUE(Form.ListView1.Row(Row).Checked);
    EXPECT_EQ(Form.ListView1.Row(Row).SubItems, Expected[Row]) << Row;
  }
  EXPECT_EQ(Form.ListView1.Row(1).Caption, MediaFile("audio.m4a"));
  // A new entry rewrites the "Output" cell of every row.
  Form.ComboOutputFormat.SelectText("AVI - DivX Video (*.avi)");
  Form.ComboOutputFormatChange();
  EXPECT_EQ(Form.ListView1.Cell(0, jcOutput), "AVI");
  EXPECT_EQ(Form.ListView1.Cell(2, jcOutput), "AVI");
}

TEST_F(TFormTest, RemoveClearAndCheckCommands) {
  AddFiles({MediaFile("sample.mov"), MediaFile("film.mp4"), MediaFile("ntsc.mp4")});
  Form.DeleteSelectedItem1Click();
  EXPECT_EQ(Form.ListView1.Count(), 3);
  Form.ListView1.SetSelected(1);
  Form.DeleteSelectedItem1Click();
  ASSERT_EQ(Form.ListView1.Count(), 2);
  EXPECT_EQ(Form.ListView1.Row(1).Caption, MediaFile("ntsc.mp4"));
  Form.UncheckAllItems1Click();
  EXPECT_FALSE(Form.ListView1.Row(0).Checked || Form.ListView1.Row(1).Checked);
  Form.CheckAllItems1Click();
  EXPECT_TRUE(Form.ListView1.Row(0).Checked && Form.ListView1.Row(1).Checked);
  Form.ClearAllItems1Click();
  EXPECT_EQ(Form.ListView1.Count(), 0);
}

TEST_F(TFormTest, RemoveActsOnEverySelectedRow) {
  AddFiles({MediaFile("sample.mov"), MediaFile("film.mp4"), MediaFile("ntsc.mp4"),
            MediaFile("audio.m4a")});
  Form.ListView1.SetSelectedRows({3, 1, 3, 9});
  EXPECT_EQ(Form.ListView1.SelectedRows(), (std::vector<int>{1, 3}));
  Form.DeleteSelectedItem1Click();
  ASSERT_EQ(Form.ListView1.Count(), 2);
  EXPECT_EQ(Form.ListView1.Row(0).Caption, MediaFile("sample.mov"));
  EXPECT_EQ(Form.ListView1.Row(1).Caption, MediaFile("ntsc.mp4"));
  EXPECT_TRUE(Form.ListView1.SelectedRows().empty());
  Form.SelectAll1Click();
  EXPECT_EQ(Form.ListView1.SelectedRows(), (std::vector<int>{0, 1}));
  Form.DeleteSelectedItem1Click();
  EXPECT_EQ(Form.ListView1.Count(), 0);
}

TEST_F(TFormTest, FilesAlreadyInTheListAreSkippedAndCounted) {
  const struct {
    TTexts Files;
    int Rows;
    const char *Note;
  } Steps[] = {
      {{MediaFile("sample.mov"), MediaFile("film.mp4")}, 2, ""},
      {{MediaFile("film.mp4"), MediaFile("ntsc.mp4")},
       3,
       "1 file was already in the list and was skipped"},
      {{MediaFile("sample.mov"), MediaFile("audio.m4a"), MediaFile("audio.m4a")},
       4,
       "2 files were already in the list and were skipped"},
      {{MediaFile("clip.mov")}, 5, ""},
  };
  for (const auto &Step : Steps) {
    AddFiles(Step.Files);
    EXPECT_EQ(Form.ListView1.Count(), Step.Rows) << Step.Note;
    EXPECT_EQ(Form.StatusBar1[0], Step.Note);
  }
}

TEST_F(TFormTest, UnreadableFileKeepsItsErrorMarkWhenMoreFilesAreAdded) {
  AddFiles({MediaFile("clip.mov")});
  ASSERT_EQ(Form.ListView1.Cell(0, jcProgress), "Error");
  AddFiles({MediaFile("sample.mov")});
  EXPECT_EQ(ProgressCells(), (TTexts{"Error", ""}));
}

TEST_F(TFormTest, WithoutABrowserTheStatusBarSaysSo) {
  const struct {
    bool Starts;
    void (TForm1::*Command)();
    const char *Note;
  } Cases[] = {
      {true, &TForm1::OpenHelpFile1Click, ""},
      {false, &TForm1::OpenHelpFile1Click, "No browser could be started to show the help file "},
      {false, &TForm1::VisitOurWebsite1Click, "No browser could be started to open file://"},
  };
  for (const auto &Case : Cases) {
    Form.StatusBar1[0].clear();
    Dialogs.BrowserStarts = Case.Starts;
    (Form.*Case.Command)();
    EXPECT_TRUE(Form.StatusBar1[0].starts_with(Case.Note)) << Form.StatusBar1[0];
    EXPECT_EQ(Form.StatusBar1[0].empty(), Case.Starts);
  }
}

TEST(JobRulesTest, BatchNotesOfTheStatusBar) {
  EXPECT_EQ(BatchFileNote(2, 5), "File 2 of 5");
  const struct {
    double Elapsed, Done;
    const char *Note;
  } Cases[] = {
      {0, 0, "Elapsed 00:00:00"},
      {10, 0.25, "Elapsed 00:00:10, about 00:00:30 left"},
      {3725, 0.5, "Elapsed 01:02:05, about 01:02:05 left"},
      {70, 1.0, "Elapsed 00:01:10"},
  };
  for (const auto &Case : Cases)
    EXPECT_EQ(BatchTimeNote(Case.Elapsed, Case.Done), Case.Note) << Case.Elapsed;
}

TEST(JobRulesTest, AspectRatioOfTheJob) {
  const struct {
    int Item;
    const char *VideoSize, *Result;
  } Cases[] = {
      {0, "1920x1080", "1.7778"}, {0, "720x480", "1.5"},   {0, "200x100", "2"},
      {0, " 176x144 ", "1.2222"}, {0, " ", "1.3333"},      {0, "320x0", "1.3333"},
      {0, "axb", "1.3333"},       {1, "1920x1080", "4:3"}, {2, "320x240", "16:9"},
  };
  for (const auto &Case : Cases)
    EXPECT_EQ(JobAspectRatio(Case.Item, Case.VideoSize), Case.Result) << Case.VideoSize;
}

TEST(JobRulesTest, RecordingTimeOnlyWithoutAKnownDuration) {
  const std::pair<const char *, int32_t> Cases[] = {
      {"00:00:00", 36000000}, {"Unknown", 36000000}, {"00:00:01", -1}, {"100:00:00", -1}};
  for (const auto &[Duration, Time] : Cases) EXPECT_EQ(JobRecordingTime(Duration), Time);
}

}  // namespace
