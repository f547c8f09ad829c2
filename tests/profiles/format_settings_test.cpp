// Picking entries of the format list: what the settings lists, the output type and the job
// rows show afterwards.

#include "profiles/format_settings.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "profiles/catalogue.h"
#include "profiles/shared_lists.h"
#include "tests/profiles/profile_test_support.h"

namespace {

// All nine lists, one line each.
std::string AllLists(const TFormatSettings &Settings) {
  std::string Text;
  for (const TSettingsListName &Entry : SettingsListNames)
    Text += std::string(Entry.Name) + ": " + Shown(Settings.*Entry.List) + "\n";
  return Text;
}

std::string Joined(std::span<const char *const> Items, int Selected) {
  TChoiceList List;
  List.Assign(Items, Selected);
  return Shown(List);
}

class FormatSettingsTest : public testing::Test {
 protected:
  void SetUp() override {
    StartUp(Settings);
    Settings.OnWriteOutputCells = [this](const std::string &Type) { Cells.push_back(Type); };
  }
  TFormatSettings Settings;
  std::vector<std::string> Cells;  // every write into the job rows' "Output" cells
};

TEST_F(FormatSettingsTest, StartUpFillsTheFormatListOnly) {
  EXPECT_EQ(Settings.ComboOutputFormat.Count(), 62);
  EXPECT_EQ(Settings.ComboOutputFormat.ItemIndex(), 0);
  EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 25);
  EXPECT_EQ(Settings.FOutputType, "");
  EXPECT_EQ(Settings.LastFormatIndex, 0);
  EXPECT_EQ(Settings.ComboVideoCodec.Count(), 0);
  EXPECT_EQ(Shown(Settings.ComboAudioChannels), "[Stereo]|Mono");
  EXPECT_EQ(Shown(Settings.ComboAspectRatio), "[Original]|4:3 (Standard|16:9 (Wide Screen)");
  TFormatSettings Fresh;
  Fresh.FillOutputFormatList();
  EXPECT_EQ(Fresh.ComboOutputFormat.DropDownCount(), 62);
}

TEST_F(FormatSettingsTest, PickingAnEntryWritesItsTypeIntoEveryRow) {
  PickFormat(Settings, "MP4 - MPEG4 Video (*.mp4)");
  PickFormat(Settings, "AVI - DivX Video (*.avi)");
  EXPECT_EQ(Cells, (std::vector<std::string>{"MP4", "AVI"}));
  EXPECT_EQ(Settings.FOutputType, "AVI");
  EXPECT_EQ(Settings.LastFormatIndex, 4);
}

// A separator is no choice: the selection returns to the entry applied last (not to 0), and
// the lists, the type and the rows stay as they were.
TEST_F(FormatSettingsTest, PickingASeparatorReturnsToTheLastEntry) {
  Settings.ComboOutputFormat.SetItemIndex(10);  // a stored position restored at start-up
  Settings.ComboOutputFormatChange();           // as the window is first shown
  Settings.ComboVideoCodec.SelectText("H264");
  const std::string Before = AllLists(Settings);
  Cells.clear();
  for (int Separator : {18, 28, 54}) {
    Settings.ComboOutputFormat.SetItemIndex(Separator);
    Settings.ComboOutputFormatChange();
    EXPECT_EQ(Settings.ComboOutputFormat.ItemIndex(), 10);
  }
  EXPECT_EQ(AllLists(Settings), Before);
  EXPECT_EQ(Settings.FOutputType, "MP4");
  EXPECT_TRUE(Cells.empty());
}

TEST_F(FormatSettingsTest, EveryPickResetsTheListsToTheEntrysDefaults) {
  PickFormat(Settings, "MP4 - MPEG4 Video (*.mp4)");
  const std::string Defaults = AllLists(Settings);
  PickSettings(Settings, {{"ComboVideoCodec", "XVid"},
                          {"ComboVideoSize", "640 x 480"},
                          {"ComboSamplingRate", "8000 Hz"},
                          {"ComboAudioChannels", "Mono"},
                          {"ComboAspectRatio", "16:9 (Wide Screen)"}});
  PickFormat(Settings, "MP4 - MPEG4 Video (*.mp4)");
  EXPECT_EQ(AllLists(Settings), Defaults);
}

TEST_F(FormatSettingsTest, DropDownLinesFollowTheUsersSetting) {
  Settings.OnReadDropDownItems = [] { return 47; };
  PickFormat(Settings, "WMV - Windows Media Video (*.wmv)");
  EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 47);
  EXPECT_EQ(Settings.ComboOutputFormat.Count(), 62);
  Settings.OnReadDropDownItems = []() -> int { throw std::runtime_error("unreadable"); };
  PickFormat(Settings, "WMV - Windows Media Video (*.wmv)");
  EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 25);
  Settings.OnReadDropDownItems = [] { return 30; };
  Settings.ComboOutputFormatDropDown();
  EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 30);
}

TEST_F(FormatSettingsTest, NoEntryShownChangesNothing) {
  PickFormat(Settings, "FLV - Flash Video (*.flv)");
  const std::string Before = AllLists(Settings);
  Settings.ComboOutputFormat.SetItemIndex(TChoiceList::NoSelection);
  Settings.ApplyFormatSettings();
  EXPECT_EQ(AllLists(Settings), Before);
  EXPECT_EQ(Settings.FOutputType, "FLV");
  TOutputOptions Options;
  Settings.SetJobOptions(Options);
  EXPECT_EQ(ChangedFields(Options), "");
}

// Entries that share a profile show the same lists.
TEST_F(FormatSettingsTest, EntriesOfOneProfileShowTheSameLists) {
  const std::pair<const char *, const char *> Pairs[] = {
      {"iPod Extra (640 x 480) (*.mp4)", "iPod Video For TV (*.mp4)"},
      {"PS3 Video (*.mp4)", "PS3 Video(480P) (*.mp4)"},
      {"Creative Zen Vision (*.avi)", "iRiver PMP100 (*.avi)"},
      {"3GP - Mobile Video Format (*.3gp)", "3G2 - Mobile Video Format (*.3g2)"},
      {"FLV - Flash Video (*.flv)", "SWF - Flash Swf (*.swf)"},
  };
  for (const auto &[First, Second] : Pairs) {
    PickFormat(Settings, First);
    const std::string Lists = AllLists(Settings);
    PickFormat(Settings, "MP3 - Mpeg Layer3 Audio (*.mp3)");
    PickFormat(Settings, Second);
    EXPECT_EQ(AllLists(Settings), Lists) << Second;
  }
}

struct TListCase {
  const char *Entry;
  const char *List;
  std::string Shown;
};

// One or more telling lists for each family and variant.
TEST_F(FormatSettingsTest, ListsAfterEachFamily) {
  const TListCase Cases[] = {
      {"3GP - Mobile Video Format (*.3gp)", "ComboSamplingRate", "[8000  bps]|16000 bps"},
      {"3GP - Mobile Video Format (*.3gp)", "ComboAudioBitrate", Joined(AudioRatesAmr, 4)},
      {"ASF - Advance Streaming Format (*.asf)", "ComboVideoBitrate", Joined(VideoRatesHd, 0)},
      {"ASF - Advance Streaming Format (*.asf)", "ComboVideoCodec", "[MSMPEG4]"},
      {"AVI - Audio Video Interleave (*.avi)", "ComboVideoCodec", "[MPEG4]|H264"},
      {"AVI - Audio Video Interleave (*.avi)", "ComboAudioCodec", "[pcm_s16le]|mp3|mp2|ac3"},
      {"AVI - Audio Video Interleave (*.avi)", "ComboVideoBitrate", Joined(VideoRatesAvi, 8)},
      {"AVI - DivX Video (*.avi)", "ComboAudioCodec", "[mp3]"},
      {"AVI - Uncompress (*.avi)", "ComboVideoCodec", "[RAWVIDEO]"},
      {"AVI - Uncompress (*.avi)", "ComboAudioCodec", "[pcm_s16le]|mp3|mp2|ac3"},
      {"AVI - XviD Video (*.avi)", "ComboVideoCodec", "[XVID]"},
      {"DVD - DVD Mpeg2 Format (*.mpg)", "ComboVideoSize", Joined(SizesDvd, 8)},
      {"DVD - DVD Mpeg2 Format (*.mpg)", "ComboVideoFramerate", "[Auto]|PAL|NTSC"},
      {"DVD - DVD Mpeg2 Format (*.mpg)", "ComboSamplingRate", Joined(SampleRatesDvd, 1)},
      {"FLV - Flash Video (*.flv)", "ComboVideoFramerate", Joined(FrameRates7, 2)},
      {"FLV - Flash Video (*.flv)", "ComboVideoBitrate", Joined(VideoRates13, 1)},
      {"MOV - QuickTime Video (*.mov)", "ComboVideoCodec", "[MPEG4]"},
      {"MP4 - MPEG4 Video (*.mp4)", "ComboVideoCodec", "[MPEG4]|H264|XVid"},
      {"MPEG-1 Movie (*.mpg)", "ComboVideoBitrate", Joined(VideoRates13, 10)},
      {"MPEG-1 Movie (*.mpg)", "ComboVideoSize", Joined(SizesFull, 10)},
      {"MPEG-2 Movie (*.mpg)", "ComboAudioCodec", "[mp2]|ac3"},
      {"MPEG-2 Movie (*.mpg)", "ComboVideoBitrate", Joined(VideoRates13, 11)},
      {"RM - Real Video (*.rm)", "ComboVideoBitrate", Joined(VideoRatesReal, 0)},
      {"RM - Real Video (*.rm)", "ComboSamplingRate", Joined(SampleRates8b, 5)},
      {"Super Video CD (*.mpg)", "ComboVideoSize", Joined(SizesDisc, 5)},
      {"Super Video CD (*.mpg)", "ComboVideoBitrate", "[2040 Kbps]"},
      {"Video CD (*.mpg)", "ComboVideoSize", Joined(SizesDisc, 2)},
      {"Video CD (*.mpg)", "ComboSamplingRate", "[44100 Hz]"},
      {"MP2 - Mpeg Layer2 Audio (*.mp2)", "ComboAudioBitrate", Joined(AudioRates13, 10)},
      {"OGG - Ogg Vorbis Audio (*.ogg)", "ComboAudioCodec", "[vorbis]"},
      {"WAV - Waveform Audio (*.wav)", "ComboSamplingRate", Joined(SampleRates8b, 4)},
      {"WMA - Windows Media Audio (*.wma)", "ComboSamplingRate", Joined(SampleRates8b, 5)},
      {"iPod (*.mp4)", "ComboVideoBitrate", Joined(VideoRatesDevice, 0)},
      {"iPod (*.mp4)", "ComboVideoSize", "[320 x 240]"},
      {"Apple TV H264 (1280 x 720) (*.mp4)", "ComboVideoFramerate", Joined(FrameRates7, 3)},
      {"Apple TV H264 (640 x 480) (*.mp4)", "ComboVideoBitrate", Joined(VideoRatesAppleTvH264, 4)},
      {"iPod Touch Wide Screen (*.mp4)", "ComboVideoSize", "[720 x 406]"},
      {"iPhone (*.mp4)", "ComboAudioBitrate", Joined(AudioRates13, 4)},
      {"iPhone Wide Screen (*.mp4)", "ComboVideoSize", "[720 x 480]"},
      {"Zune Mpeg4 Video (*.mp4)", "ComboVideoFramerate", "[29.97 fps]"},
      {"Zune Mpeg4 Video (*.mp4)", "ComboVideoSize", "[320 x 240 ]|640 x 480"},
      {"PSP Video (*.mp4)", "ComboSamplingRate", "[24000 Hz]"},
      {"PSP Video (*.mp4)", "ComboVideoCodec", "[MPEG4]|H264|XVID"},
      {"PS3 Video (*.mp4)", "ComboVideoSize", "640 x 480|[720 x 480]|720 x 576"},
      {"PS3 Video(1080P) (*.mp4)", "ComboVideoSize", "[1920 x 1072]"},
      {"Archos AV500/GMini402 (*.avi)", "ComboVideoSize", Joined(SizesPlayer, 3)},
      {"Archos AV700 (*.avi)", "ComboVideoBitrate", Joined(VideoRatesAv700, 3)},
      {"Creative Zen Vision (*.avi)", "ComboVideoSize", Joined(SizesPlayer, 5)},
      {"BlackBerry AVI Video (*.avi)", "ComboAudioCodec", "[mp3]|pcm_s16le"},
      {"BlackBerry 3GP Video (*.3gp)", "ComboSamplingRate", "[8000  Hz]|16000 Hz"},
      {"BlackBerry 3GP Video (*.3gp)", "ComboVideoFramerate", Joined(FrameRatesBlackBerry3gp, 2)},
  };
  for (const TListCase &Case : Cases) {
    PickFormat(Settings, Case.Entry);
    EXPECT_EQ(Shown(*FindSettingsList(Settings, Case.List)), Case.Shown)
        << Case.Entry << " " << Case.List;
  }
}

TEST_F(FormatSettingsTest, AudioFormatsEmptyTheVideoListsAndVideoFormatsRefillThem) {
  PickFormat(Settings, "MP3 - Mpeg Layer3 Audio (*.mp3)");
  for (TChoiceList *List : {&Settings.ComboVideoCodec, &Settings.ComboVideoSize,
                            &Settings.ComboVideoBitrate, &Settings.ComboVideoFramerate}) {
    EXPECT_EQ(List->Count(), 0);
    EXPECT_EQ(List->Text(), "");
  }
  PickFormat(Settings, "MP4 - MPEG4 Video (*.mp4)");
  EXPECT_EQ(Settings.ComboVideoCodec.Text(), "MPEG4");
  EXPECT_EQ(Settings.ComboVideoSize.Text(), "Original Video Size");
  EXPECT_EQ(Settings.ComboVideoBitrate.Text(), "1200 Kbps");
  EXPECT_EQ(Settings.ComboVideoFramerate.Text(), "Auto");

  PickFormat(Settings, "3GP - Mobile Video Format (*.3gp)");
  PickFormat(Settings, "AAC - Advance Audio Coding (*.aac)");
  EXPECT_EQ(Shown(Settings.ComboAudioBitrate), Joined(AudioRates13, 7));
  EXPECT_EQ(Shown(Settings.ComboSamplingRate), Joined(SampleRates8, 5));

  PickFormat(Settings, "Zune Mpeg4 Video (*.mp4)");
  PickFormat(Settings, "Zune WMV Windows Media Video (*.wmv)");
  EXPECT_EQ(Shown(Settings.ComboVideoFramerate), Joined(FrameRates7, 0));
}

// Channels and aspect survive a change of entry whenever the new profile leaves them alone.
TEST_F(FormatSettingsTest, ChannelsAndAspectSurviveProfilesThatKeepThem) {
  const char *Keeping[] = {"DVD - DVD Mpeg2 Format (*.mpg)",
                           "Video CD (*.mpg)",
                           "Super Video CD (*.mpg)",
                           "Archos AV500/GMini402 (*.avi)",
                           "Archos AV700 (*.avi)",
                           "Creative Zen Vision (*.avi)",
                           "iRiver PMP100 (*.avi)",
                           "BlackBerry MPEG-4 Video (*.mp4)",
                           "BlackBerry AVI Video (*.avi)",
                           "BlackBerry 3GP Video (*.3gp)",
                           "iPod (*.mp4)",
                           "iPod Extra (640 x 480) (*.mp4)",
                           "iPod Video For TV (*.mp4)",
                           "iPod Touch (*.mp4)",
                           "iPod Touch Extra (640 x 480) (*.mp4)"};
  for (const char *Entry : Keeping) {
    PickSettings(Settings, {{"ComboAudioChannels", "Mono"}, {"ComboAspectRatio", "4:3 (Standard"}});
    PickFormat(Settings, Entry);
    EXPECT_EQ(Settings.ComboAudioChannels.Text(), "Mono") << Entry;
    EXPECT_EQ(Settings.ComboAspectRatio.Text(), "4:3 (Standard") << Entry;
  }
  // The 3GP profiles set the channels only.
  PickSettings(Settings,
               {{"ComboAudioChannels", "Stereo"}, {"ComboAspectRatio", "16:9 (Wide Screen)"}});
  PickFormat(Settings, "3G2 - Mobile Video Format (*.3g2)");
  EXPECT_EQ(Settings.ComboAudioChannels.Text(), "Mono");
  EXPECT_EQ(Settings.ComboAspectRatio.Text(), "16:9 (Wide Screen)");
  // The others put both back.
  for (const char *Entry : {"MOV - QuickTime Video (*.mov)", "iPod Touch Wide Screen (*.mp4)",
                            "WAV - Waveform Audio (*.wav)", "PS3 Video(720P) (*.mp4)"}) {
    PickSettings(Settings, {{"ComboAudioChannels", "Mono"}, {"ComboAspectRatio", "4:3 (Standard"}});
    PickFormat(Settings, Entry);
    EXPECT_EQ(Settings.ComboAudioChannels.Text(), "Stereo") << Entry;
    EXPECT_EQ(Settings.ComboAspectRatio.Text(), "Original") << Entry;
  }
}

struct TItemCase {
  const char *Entry;
  const char *List;
  int Position;
  const char *Text;
};

// Item texts are parsed back into numbers and sizes, so every blank is part of the data.
TEST_F(FormatSettingsTest, ItemTextsKeepEveryBlank) {
  const TItemCase Cases[] = {
      {"RM - Real Video (*.rm)", "ComboVideoBitrate", 0, "384  Kbps"},
      {"RM - Real Video (*.rm)", "ComboVideoBitrate", 1, "400  Kbps"},
      {"RM - Real Video (*.rm)", "ComboVideoBitrate", 2, "600  Kbps"},
      {"RM - Real Video (*.rm)", "ComboSamplingRate", 0, "8000  Hz"},
      {"MOV - QuickTime Video (*.mov)", "ComboSamplingRate", 0, "8000 Hz"},
      {"3GP - Mobile Video Format (*.3gp)", "ComboSamplingRate", 0, "8000  bps"},
      {"BlackBerry 3GP Video (*.3gp)", "ComboSamplingRate", 0, "8000  Hz"},
      {"Zune WMV Windows Media Video (*.wmv)", "ComboVideoSize", 0, "320 x 240 "},
      {"DVD - DVD Mpeg2 Format (*.mpg)", "ComboVideoSize", 8, "724 x 480"},
      {"DVD - DVD Mpeg2 Format (*.mpg)", "ComboVideoSize", 9, "724 x 576"},
      {"PS3 Video(1080P) (*.mp4)", "ComboVideoSize", 0, "1920 x 1072"},
      {"Creative Zen Vision (*.avi)", "ComboVideoSize", 0, "Auto"},
      {"MP4 - MPEG4 Video (*.mp4)", "ComboVideoCodec", 2, "XVid"},
      {"PSP Video (*.mp4)", "ComboVideoCodec", 2, "XVID"},
  };
  for (const TItemCase &Case : Cases) {
    PickFormat(Settings, Case.Entry);
    const TChoiceList &List = *FindSettingsList(Settings, Case.List);
    ASSERT_LT(Case.Position, List.Count()) << Case.Entry;
    EXPECT_EQ(List.Items()[Case.Position], Case.Text) << Case.Entry << " " << Case.List;
  }
  // Every item of the shared lists, in order: the texts are shown and parsed back.
  const std::pair<std::span<const char *const>, const char *> Lists[] = {
      {SizesFull,
       "Original Video Size|128 x 96 (SQCIF)|160 x 120 (QVGA)|176 x 120|176 x 144 (QCIF)|"
       "192 x 144|208 x 176|220 x 176|240 x 180|320 x 200|320 x 240 (VGA)|352 x 240|"
       "352 x 288 (CIF)|480 x 272|480 x 360|480 x 480|480 x 576|624 x 352|640 x 352|640 x 480|"
       "704 x 576 (4CIF)|720 x 480|720 x 576"},
      {SizesDisc,
       "128 x 96 (SQCIF)|176 x 144 (QCIF)|352 x 240|352 x 288 (CIF)|480 x 272|480 x 480|"
       "640 x 480|704 x 576 (4CIF)"},
      {SizesDvd,
       "128 x 96 (SQCIF)|176 x 144 (QCIF)|352 x 240|352 x 288 (CIF)|480 x 272|480 x 480|"
       "640 x 480|704 x 576 (4CIF)|724 x 480|724 x 576"},
      {Sizes3gp,
       "128 x 96 (SQCIF)|160 x 120 (QVGA)|176 x 144 (QCIF)|208 x 176|220 x 176|320 x 240 (VGA)|"
       "352 x 288 (CIF)"},
      {SizesPlayer, "Auto|160 x 120|320 x 240|480 x 272|720 x 480|640 x 480"},
      {SizesPsp, "160 x 112|320 x 240|368 x 208|480 x 272"},
      {SizesPs3, "640 x 480|720 x 480|720 x 576"},
      {SizesZune, "320 x 240 |640 x 480"},
      {SizesBlackBerry, "176 x 144|240 x 180|320 x 240"},
      {VideoRates13,
       "192 Kbps|200 Kbps|216 Kbps|384 Kbps|512 Kbps|640 Kbps|768 Kbps|1000 Kbps|1200 Kbps|"
       "1500 Kbps|1600 Kbps|2000 Kbps|2500 Kbps"},
      {VideoRatesAvi,
       "192 Kbps|200 Kbps|216 Kbps|384 Kbps|512 Kbps|640 Kbps|768 Kbps|1000 Kbps|1200 Kbps|"
       "1500 Kbps|2500 Kbps"},
      {VideoRatesDevice, "512 Kbps|800 Kbps|1200 Kbps|1500 Kbps|2500 Kbps"},
      {VideoRatesAppleTvH264,
       "512 Kbps|800 Kbps|1200 Kbps|1500 Kbps|2000 Kbps|2500 Kbps|4000 Kbps|7000 Kbps"},
      {VideoRatesHd, "1200 Kbps|1500 Kbps|2000 Kbps|2500 Kbps|3000 Kbps"},
      {VideoRatesAv700, "1000 Kbps|1200 Kbps|1500 Kbps|2000 Kbps|2500 Kbps"},
      {VideoRatesZune, "256 Kbps|512 Kbps|768 Kbps|1200 Kbps|1500 Kbps|2000 Kbps"},
      {VideoRatesReal,
       "384  Kbps|400  Kbps|600  Kbps|1200 Kbps|1800 Kbps|2200 Kbps|2600 Kbps|3000 Kbps"},
      {VideoRates3gp, "48 Kbps|64 Kbps|96 Kbps|128 Kbps|256 Kbps|512 Kbps"},
      {VideoRatesBlackBerry, "80 Kbps|120 Kbps|200 Kbps|256 Kbps|300 Kbps|512 Kbps"},
      {VideoRatesBlackBerry3gp, "48 Kbps|64 Kbps|96 Kbps|120 Kbps|128 Kbps|256 Kbps|512 Kbps"},
      {FrameRates7, "Auto|14.985 fps|15.0 fps|23.975 fps|25.0 fps|29.97 fps|30.0 fps"},
      {FrameRatesTv, "Auto|PAL|NTSC"},
      {FrameRates3gp, "Auto|11 fps|14.985 fps|15 fps"},
      {FrameRatesBlackBerry, "11 fps|15 fps|20 fps|24 fps|25 fps"},
      {FrameRatesBlackBerry3gp, "Auto|11 fps|15 fps|20 fps|24 fps|25 fps"},
      {FrameRatesPsp, "14.985 fps|29.97 fps"},
      {AudioRates13,
       "32 Kbps|40 Kbps|48 Kbps|64 Kbps|80 Kbps|96 Kbps|112 Kbps|128 Kbps|160 Kbps|192 Kbps|"
       "224 Kbps|256 Kbps|320 Kbps"},
      {AudioRatesPsp, "32 Kbps|48 Kbps|64 Kbps|96 Kbps|128 Kbps|160 Kbps"},
      {AudioRatesBlackBerry, "40 Kbps|48 Kbps|64 Kbps|80 Kbps|96 Kbps|112 Kbps"},
      {AudioRatesAmr, "4750 bps|5150 bps|5900 bps|6700 bps|7400 bps|7950 bps|10200 bps|12200 bps"},
      {SampleRates8, "8000 Hz|16000 Hz|22050 Hz|32000 Hz|44100 Hz|48000 Hz|54000 Hz|96000 Hz"},
      {SampleRates8b, "8000  Hz|16000 Hz|22050 Hz|32000 Hz|44100 Hz|48000 Hz|54000 Hz|96000 Hz"},
      {SampleRatesFlash, "11025 Hz|22050 Hz|44100 Hz"},
      {SampleRatesDvd, "44100 Hz|48000 Hz|54000 Hz|96000 Hz"},
      {SampleRatesAmr, "8000  Hz|16000 Hz"},
      {SampleRates3gp, "8000  bps|16000 bps"},
  };
  for (const auto &[List, Items] : Lists) EXPECT_EQ(Joined(List, -1), Items) << List[0];
}

// The DVD size list ends in "724 x 480", which stays selected; nothing past the list is.
TEST_F(FormatSettingsTest, DvdKeepsItsListsOwnSize) {
  PickFormat(Settings, "DVD - DVD Mpeg2 Format (*.mpg)");
  EXPECT_EQ(Settings.ComboVideoSize.Count(), 10);
  EXPECT_EQ(Settings.ComboVideoSize.Text(), "724 x 480");
  Settings.ComboVideoSize.SetItemIndex(20);
  EXPECT_EQ(Settings.ComboVideoSize.Text(), "724 x 480");
}

}  // namespace
