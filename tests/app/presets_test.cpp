// Presets: saved from the window's settings and applied back, renamed, deleted, exported and
// imported through the preset list, a file from elsewhere taken whole or not at all, a preset
// of an entry or pick this version lacks, two writers at once, and convert --preset.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/presets_list.h"
#include "tests/app/model_test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr char Mp3Entry[] = "MP3 - Mpeg Layer3 Audio (*.mp3)";

// A started window with a preset list on a file in a folder of its own.
class PresetsTest : public testing::Test, protected TStartedForm {
 protected:
  PresetsTest() { Form.Presets = &Presets; }
  TTempFolder Folder{"presets"};
  TPresetList Presets{Form, Folder.File("config/tarnwick-presets.json")};

  void Pick(const std::string &Entry) {
    ASSERT_TRUE(Form.ComboOutputFormat.SelectText(Entry));
    Form.ComboOutputFormatChange();
  }
  void ChoosePreset(const std::string &Name) {
    ASSERT_TRUE(Presets.ComboPresets.SelectText(Name)) << Name;
    Presets.ComboPresetsChange();
  }
  // The pick of List in the stored preset Name; "(none)" when there is no such preset or pick.
  std::string StoredPick(const std::string &Name, const std::string &List) const {
    std::vector<TPreset> Stored;
    std::string Problem;
    EXPECT_TRUE(Presets.Store.Load(Stored, Problem)) << Problem;
    if (const TPreset *Preset = FindPreset(Stored, Name))
      for (const auto &[Named, Text] : Preset->Picks)
        if (Named == List) return Text;
    return "(none)";
  }
  std::string LastMessage() const {
    return Dialogs.Messages.empty() ? std::string() : Dialogs.Messages.back().Text;
  }
};

TEST_F(PresetsTest, SavedAppliedReplacedRenamedAndDeletedFromTheList) {
  Pick(Mp3Entry);
  ASSERT_TRUE(Form.ComboSamplingRate.SelectText("22050 Hz"));
  Form.SetTrackBar1(8);
  Options.SetSourceSwitch(&TForm4::CheckBoxKeepTags, false);
  Dialogs.TextAnswers = {"  Voice  "};
  Presets.SaveAsPresetClick();
  EXPECT_EQ(Presets.ComboPresets.Items(), std::vector<std::string>{"Voice"});

  // Anything else, then the preset: its entry, then its picks, volume and switch.
  Pick(Mp4Entry);
  Form.SetTrackBar1(5);
  Options.SetSourceSwitch(&TForm4::CheckBoxKeepTags, true);
  ChoosePreset("Voice");
  EXPECT_EQ(Form.ComboOutputFormat.Text(), Mp3Entry);
  EXPECT_EQ(Form.ComboSamplingRate.Text(), "22050 Hz");
  EXPECT_EQ(Form.ComboAudioBitrate.Text(), "192 Kbps");  // the entry's own default
  EXPECT_EQ(Form.TrackBar1, 8);
  EXPECT_FALSE(Options.CheckBoxKeepTags);
  EXPECT_TRUE(Dialogs.Messages.empty()) << LastMessage();

  // The same name asks; No keeps the stored preset, Yes replaces it.
  ASSERT_TRUE(Form.ComboSamplingRate.SelectText("44100 Hz"));
  for (const TModalResult Answer : {TModalResult::No, TModalResult::Yes}) {
    Dialogs.TextAnswers = {"Voice"};
    Dialogs.Answers = {Answer};
    Presets.SaveAsPresetClick();
    EXPECT_NE(LastMessage().find("already exists. Replace it?"), std::string::npos);
    EXPECT_EQ(StoredPick("Voice", "ComboSamplingRate"),
              Answer == TModalResult::Yes ? "44100 Hz" : "22050 Hz");
  }

  Dialogs.TextAnswers = {"Speech"};
  Presets.RenamePresetClick();
  EXPECT_EQ(Presets.ComboPresets.Items(), std::vector<std::string>{"Speech"});
  EXPECT_EQ(Presets.ComboPresets.Text(), "Speech");
  for (const TModalResult Answer : {TModalResult::No, TModalResult::Yes}) {
    Dialogs.Answers = {Answer};
    Presets.DeletePresetClick();
    EXPECT_EQ(Presets.ComboPresets.Count(), Answer == TModalResult::Yes ? 0 : 1);
  }
}

// A file from elsewhere is taken whole (its unknown fields left aside) or, with the reason, not
// at all: the stored presets stay byte for byte as they were.
TEST_F(PresetsTest, ImportTakesAWholeFileOrNothing) {
  Pick(Mp3Entry);
  Dialogs.TextAnswers = {"Mine"};
  Presets.SaveAsPresetClick();
  const std::string Stored = ReadFile(Presets.Store.Path());
  const std::string Head = R"J({"presets": "tarnwick", "version": 1, "items": [)J";
  const std::string Item = R"J({"name": "Loud", "entry": "MP3 - Mpeg Layer3 Audio (*.mp3)",
      "volume": 10, "picks": {"ComboAudioBitrate": "320 Kbps"}})J";
  const struct {
    const char *Name;
    std::string Content;
    const char *Problem;  // empty: imported
  } Cases[] = {
      {"not JSON", Head, "it is not JSON"},
      {"foreign", R"J({"journal": "tarnwick batch", "version": 1, "rows": []})J",
       "it is not a Tarnwick presets file"},
      {"newer", R"J({"presets": "tarnwick", "version": 2, "items": []})J", "it is of version 2"},
      {"nameless", Head + Item + R"J(, {"entry": "x"}]})J", "item 2 has no name"},
      {"twice", Head + Item + ", " + Item + "]}", "two presets named \"Loud\""},
      {"loud volume", Head + R"J({"name": "Loud", "entry": "x", "volume": 11}]})J",
       "a volume other than 0 to 10"},
      // Last: the ones before it must leave the store as it was.
      {"unknown fields",
       R"J({"presets": "tarnwick", "version": 1, "from": "elsewhere", "items": [{"name": "Loud",
           "entry": "MP3 - Mpeg Layer3 Audio (*.mp3)", "volume": 10, "colour": "red",
           "picks": {"ComboAudioBitrate": "320 Kbps"},
           "options": {"KeepTags": false, "Sharpen": 3}}]})J",
       ""},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string File = Folder.File(std::string(Case.Name) + ".json");
    std::ofstream(File) << Case.Content;
    Dialogs.FilesToOpen = {File};
    Presets.ImportPresetsClick();
    if (*Case.Problem != '\0') {
      EXPECT_NE(LastMessage().find("Nothing was imported"), std::string::npos) << LastMessage();
      EXPECT_NE(LastMessage().find(Case.Problem), std::string::npos) << LastMessage();
      EXPECT_EQ(ReadFile(Presets.Store.Path()), Stored);
      continue;
    }
    EXPECT_EQ(LastMessage(), "Imported the preset \"Loud\".");
    EXPECT_EQ(Presets.ComboPresets.Items(), (std::vector<std::string>{"Mine", "Loud"}));
    Presets.ComboPresetsChange();  // the imported one is shown: apply it
    EXPECT_EQ(Form.ComboAudioBitrate.Text(), "320 Kbps");
    EXPECT_EQ(Form.TrackBar1, 10);
    EXPECT_FALSE(Options.CheckBoxKeepTags);
  }

  // Exported one and all, to new files only; read back they are the same presets.
  Dialogs.FileToSave = Folder.File("one.json");
  Presets.ExportPresetClick();
  Dialogs.FileToSave = Folder.File("all.json");
  Presets.ExportAllPresetsClick();
  const TPresetFile One = ReadPresetFile(Folder.File("one.json"));
  const TPresetFile All = ReadPresetFile(Folder.File("all.json"));
  ASSERT_TRUE(One.Read && All.Read) << One.Problem << All.Problem;
  ASSERT_EQ(One.Items.size(), 1u);
  EXPECT_EQ(One.Items[0].Name, "Loud");
  EXPECT_EQ(One.Items[0].Picks, All.Items[1].Picks);
  EXPECT_EQ(All.Items.size(), 2u);
  const std::string Before = ReadFile(Folder.File("one.json"));
  Dialogs.FileToSave = Folder.File("one.json");
  Presets.ExportAllPresetsClick();
  EXPECT_NE(LastMessage().find("File exists"), std::string::npos) << LastMessage();
  EXPECT_EQ(ReadFile(Folder.File("one.json")), Before);
}

// A preset of an entry or pick this version no longer has applies the rest and says what not.
TEST_F(PresetsTest, APresetThisVersionLacksPartsOfAppliesTheRest) {
  const struct {
    const char *Name;
    std::string Entry;
    std::vector<std::pair<std::string, std::string>> Picks;
    const char *Told;
    const char *Applied;  // the format list's entry afterwards
  } Cases[] = {
      {"gone item",
       Mp3Entry,
       {{"ComboSamplingRate", "12345 Hz"}, {"ComboAudioBitrate", "96 Kbps"}},
       "ComboSamplingRate has no item \"12345 Hz\"",
       Mp3Entry},
      {"gone list",
       Mp3Entry,
       {{"ComboSharpness", "High"}, {"ComboAudioBitrate", "96 Kbps"}},
       "there is no settings list ComboSharpness",
       Mp3Entry},
      {"gone entry",
       "HoloVideo (*.hv)",
       {{"ComboAudioBitrate", "96 Kbps"}},
       "the format list has no entry \"HoloVideo (*.hv)\"",
       Mp4Entry},
  };
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Pick(Mp4Entry);
    Form.SetTrackBar1(5);
    TPreset Preset;
    Preset.Name = Case.Name;
    Preset.Entry = Case.Entry;
    Preset.Picks = Case.Picks;
    Preset.Volume = 2;
    ASSERT_EQ(Presets.Store.Save(Preset, false), "");
    Presets.Reload();
    ChoosePreset(Case.Name);
    EXPECT_NE(LastMessage().find(Case.Told), std::string::npos) << LastMessage();
    EXPECT_EQ(Form.ComboOutputFormat.Text(), Case.Applied);
    if (Case.Entry == Mp3Entry) {
      EXPECT_EQ(Form.ComboAudioBitrate.Text(), "96 Kbps");
    }
    EXPECT_EQ(Form.TrackBar1, 2);
  }
}

}  // namespace
