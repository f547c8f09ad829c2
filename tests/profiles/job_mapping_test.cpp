// What a job is given from the selected settings: the three mapping families, the frame rate
// and the disc targets.

#include "profiles/job_mapping.h"

#include <gtest/gtest.h>

#include <regex>

#include "profiles/catalogue.h"
#include "profiles/number_text.h"
#include "tests/profiles/profile_test_support.h"

namespace {

struct TJobCase {
  const char *Entry;
  TPicks Picks;
  const char *Fields;  // the changed fields, in record order
};

std::string JobFields(const char *Entry, const TPicks &Picks) {
  TFormatSettings Settings;
  StartUp(Settings);
  PickFormat(Settings, Entry);
  PickSettings(Settings, Picks);
  return ChangedFields(JobOptions(Settings));
}

void ExpectJobs(std::span<const TJobCase> Cases) {
  for (const TJobCase &Case : Cases) {
    std::string Picks;
    for (const auto &[Name, Text] : Case.Picks) Picks += " " + Name + "=" + Text;
    EXPECT_EQ(JobFields(Case.Entry, Case.Picks), Case.Fields) << Case.Entry << Picks;
  }
}

TEST(JobMappingTest, DeviceFamily) {
  const TJobCase Cases[] = {
      {"iPod Extra (640 x 480) (*.mp4)",
       {},
       "AudioCodec=libfaac\nAudioChannelLimit=2\nAudioSampleRate=44100\nAudioBitrate="
       "64000\nVideoCodec=mpeg4\n"
       "FrameRate=25\nFrameSize=640x480\nVideoBitrate=1500000\nPixelFormat=yuv420p\n"},
      {"iPod Extra (640 x 480) (*.mp4)",
       {{"ComboVideoCodec", "H264"}, {"ComboAudioChannels", "Mono"}},
       "AudioCodec=libfaac\nAudioChannelLimit=2\nAudioSampleRate=44100\nAudioBitrate="
       "64000\nVideoCodec=libx264\n"
       "FrameRate=25\nFrameSize=640x480\nVideoBitrate=1500000\nPixelFormat=yuv420p\n"
       "VideoProfile=66\n"},
      {"iPod Touch (*.mp4)",
       {},
       "AudioCodec=libfaac\nAudioChannelLimit=2\nAudioSampleRate=44100\nAudioBitrate="
       "80000\nVideoCodec=mpeg4\n"
       "FrameRate=25\nFrameSize=480x320\nVideoBitrate=1200000\nPixelFormat=yuv420p\n"},
      {"Apple TV H264 (1280 x 720) (*.mp4)",
       {},
       "AudioCodec=libfaac\nAudioChannelLimit=2\nAudioSampleRate=48000\nAudioBitrate="
       "64000\nVideoCodec=libx264\n"
       "FrameRate=23.975\nFrameSize=1280x720\nVideoBitrate=2500000\nPixelFormat=yuv420p\n"
       "VideoProfile=77\n"},
  };
  ExpectJobs(Cases);
}

TEST(JobMappingTest, Gp3Family) {
  const char *Defaults =
      "AudioCodec=libamr_nb\nAudioChannels=1\nAudioSampleRate=8000\nAudioBitrate=7400\n"
      "VideoCodec=mpeg4\nFrameRate=25\nFrameSize=176x144\nVideoBitrate=128000\n";
  const TJobCase Cases[] = {
      {"3GP - Mobile Video Format (*.3gp)", {}, Defaults},
      // The codec and channel lists have no say in this family.
      {"3GP - Mobile Video Format (*.3gp)",
       {{"ComboAudioCodec", "mpeg4aac"}, {"ComboAudioChannels", "Stereo"}},
       Defaults},
      {"3G2 - Mobile Video Format (*.3g2)",
       {{"ComboAudioBitrate", "12200 bps"},
        {"ComboSamplingRate", "16000 bps"},
        {"ComboVideoFramerate", "14.985 fps"},
        {"ComboVideoSize", "352 x 288 (CIF)"},
        {"ComboVideoCodec", "H263"}},
       "AudioCodec=libamr_nb\nAudioChannels=1\nAudioSampleRate=16000\nAudioBitrate=12200\n"
       "VideoCodec=h263\nFrameRate=14.985\nFrameSize=352x288\nVideoBitrate=128000\n"},
  };
  ExpectJobs(Cases);
}

TEST(JobMappingTest, GeneralFamily) {
  const TJobCase Cases[] = {
      {"MP3 - Mpeg Layer3 Audio (*.mp3)",
       {},
       "AudioCodec=libmp3lame\nAudioChannels=2\nAudioSampleRate=48000\nAudioBitrate=192000\n"
       "DisableVideo=true\nVideoBitrate=0\n"},
      {"OGG - Ogg Vorbis Audio (*.ogg)",
       {{"ComboAudioChannels", "Mono"}},
       "AudioCodec=vorbis\nAudioChannels=1\nAudioSampleRate=48000\nAudioBitrate=160000\n"
       "DisableVideo=true\nVideoBitrate=0\n"},
      {"RM - Real Video (*.rm)",
       {},
       "AudioCodec=ac3\nAudioChannels=2\nAudioSampleRate=48000\nAudioBitrate=128000\n"
       "VideoCodec=rv10\nFrameRate=25\nFrameSize=320x240\nVideoBitrate=384000\n"},
      {"RM - Real Video (*.rm)",
       {{"ComboSamplingRate", "8000  Hz"}, {"ComboVideoBitrate", "600  Kbps"}},
       "AudioCodec=ac3\nAudioChannels=2\nAudioSampleRate=8000\nAudioBitrate=128000\n"
       "VideoCodec=rv10\nFrameRate=25\nFrameSize=320x240\nVideoBitrate=600000\n"},
      {"AVI - Audio Video Interleave (*.avi)",
       {},
       "AudioCodec=pcm_s16le\nAudioChannels=2\nAudioSampleRate=48000\nAudioBitrate=128000\n"
       "VideoCodec=mpeg4\nFrameRate=25\nVideoBitrate=1200000\n"},
      {"AVI - Audio Video Interleave (*.avi)",
       {{"ComboVideoSize", "704 x 576 (4CIF)"},
        {"ComboAudioCodec", "mp3"},
        {"ComboVideoFramerate", "29.97 fps"}},
       "AudioCodec=libmp3lame\nAudioChannels=2\nAudioSampleRate=48000\nAudioBitrate=128000\n"
       "VideoCodec=mpeg4\nFrameRate=29.97\nFrameSize=704x576\nVideoBitrate=1200000\n"},
      {"AVI - XviD Video (*.avi)",
       {},
       "AudioCodec=libmp3lame\nAudioChannels=2\nAudioSampleRate=48000\nAudioBitrate=128000\n"
       "VideoCodec=libxvid\nFrameRate=25\nVideoBitrate=1200000\n"},
      {"BlackBerry 3GP Video (*.3gp)",
       {{"ComboAudioChannels", "Stereo"}},
       "AudioCodec=libamr_nb\nAudioChannels=1\nAudioSampleRate=8000\nAudioBitrate=4750\n"
       "VideoCodec=mpeg4\nFrameRate=15\nFrameSize=176x144\nVideoBitrate=120000\n"},
      {"BlackBerry MPEG-4 Video (*.mp4)",
       {{"ComboAudioChannels", "Stereo"}},
       "AudioCodec=libfaac\nAudioChannels=2\nAudioSampleRate=44100\nAudioBitrate=80000\n"
       "VideoCodec=mpeg4\nFrameRate=24\nFrameSize=320x240\nVideoBitrate=300000\n"},
      {"Zune Mpeg4 Video (*.mp4)",
       {},
       "AudioCodec=libfaac\nAudioChannels=2\nAudioSampleRate=44100\nAudioBitrate=128000\n"
       "VideoCodec=mpeg4\nFrameRate=29.97\nFrameSize=320x240\nVideoBitrate=1500000\n"},
      {"MP4 - MPEG4 Video (*.mp4)",
       {{"ComboVideoCodec", "XVid"}},
       "AudioCodec=libfaac\nAudioChannels=2\nAudioSampleRate=44100\nAudioBitrate=128000\n"
       "VideoCodec=libxvid\nFrameRate=25\nVideoBitrate=1200000\n"},
  };
  ExpectJobs(Cases);
}

// The disc entries take their frame rate and size from the target preset: the frame-rate list
// picks the television norm.
TEST(JobMappingTest, DiscTargets) {
  const TJobCase Cases[] = {
      {"DVD - DVD Mpeg2 Format (*.mpg)",
       {{"ComboVideoFramerate", "NTSC"}},
       "AudioCodec=ac3\nAudioChannels=2\nAudioSampleRate=48000\nAudioBitrate=224000\n"
       "VideoCodec=mpeg2video\nFrameSize=724x480\nVideoBitrate=6000000\nTargetType=3\n"
       "TargetNorm=2\n"},
      {"Video CD (*.mpg)",
       {},
       "AudioCodec=mp2\nAudioChannels=2\nAudioSampleRate=44100\nAudioBitrate=224000\n"
       "VideoCodec=mpeg1video\nFrameSize=352x240\nVideoBitrate=1150000\nTargetType=1\n"},
      {"Super Video CD (*.mpg)",
       {{"ComboVideoFramerate", "PAL"}},
       "AudioCodec=mp2\nAudioChannels=2\nAudioSampleRate=44100\nAudioBitrate=224000\n"
       "VideoCodec=mpeg2video\nFrameSize=480x480\nVideoBitrate=2040000\nTargetType=2\n"
       "TargetNorm=1\n"},
      {"MPEG-1 Movie (*.mpg)",
       {},
       "AudioCodec=mp2\nAudioChannels=2\nAudioSampleRate=44100\nAudioBitrate=192000\n"
       "VideoCodec=mpeg1video\nFrameRate=25.0\nFrameSize=320x240\nVideoBitrate=1600000\n"},
  };
  ExpectJobs(Cases);

  // The norm and DefaultNorm as written, even where they equal the defaults.
  TChoiceList Rates;
  constexpr const char *Tv[] = {"Auto", "PAL", "NTSC"};
  Rates.Assign(Tv, TChoiceList::NoSelection);
  TOutputOptions Options;
  Options.TargetNorm = 9;
  Options.DefaultNorm = 5;
  EXPECT_EQ(FrameRateText("Super Video CD (*.mpg)", "mpg", Rates, Options), "");
  EXPECT_EQ(Options.TargetType, 2);
  EXPECT_EQ(Options.TargetNorm, 9);  // no selection: left as it was
  EXPECT_EQ(Options.DefaultNorm, 1);
}

TEST(JobMappingTest, FrameRateTexts) {
  const std::pair<const char *, const char *> Cases[] = {
      {"Auto", "25"},   {" auto ", "25"}, {"AUTO", "25"}, {"29.97 fps", "29.97"},
      {"15 fps", "15"}, {"", ""},         {"PAL", ""},
  };
  for (const auto &[Rate, Expected] : Cases) {
    TChoiceList Rates;
    Rates.Add(Rate);
    Rates.SetItemIndex(0);
    TOutputOptions Options;
    EXPECT_EQ(FrameRateText("MP4 - MPEG4 Video (*.mp4)", "MP4", Rates, Options), Expected)
        << '"' << Rate << '"';
    EXPECT_EQ(ChangedFields(Options), "");
  }
}

// "Auto" with the source's rate kept: the engine takes the input's rate (an empty text) and
// a variable-rate input's timestamps, a device entry no more than its list's highest, a disc
// entry its norm; off, 25 as before.
TEST(JobMappingTest, AutoKeepsTheSourceRate) {
  struct TCase {
    const char *Entry;
    const char *SourceRate;
    bool KeepSource;
    const char *Expected;
    bool Timing;  // KeepSourceTiming
  };
  const TCase Cases[] = {
      {"MP4 - MPEG4 Video (*.mp4)", "59.94", true, "", true},
      {"MP4 - MPEG4 Video (*.mp4)", "59.94", false, "25", false},
      {"iPod (*.mp4)", "60", true, "30.0", false},
      {"iPod (*.mp4)", "29.97", true, "", true},
      {"iPod (*.mp4)", "Unknown", true, "", true},
      {"DVD - DVD Mpeg2 Format (*.mpg)", "60", true, "", false},
  };
  for (const TCase &Case : Cases) {
    TFormatSettings Settings;
    StartUp(Settings);
    PickFormat(Settings, Case.Entry);
    TOutputOptions Options;
    EXPECT_EQ(Settings.GetFrameRateText(Options, Case.KeepSource, Case.SourceRate), Case.Expected)
        << Case.Entry << " " << Case.SourceRate;
    EXPECT_EQ(Options.KeepSourceTiming, Case.Timing) << Case.Entry << " " << Case.SourceRate;
  }
}

// Open points decided: ASF is a video format, so its jobs keep their video.
TEST(JobMappingTest, AsfCarriesVideo) {
  EXPECT_EQ(JobFields("ASF - Advance Streaming Format (*.asf)", {}),
            "AudioCodec=libmp3lame\nAudioChannels=2\nAudioSampleRate=48000\n"
            "AudioBitrate=128000\nVideoCodec=msmpeg4\nFrameRate=25\nVideoBitrate=1200000\n");
  EXPECT_FALSE(IsAudioType("ASF"));
  for (const char *Type : {"AAC", "AU", "M4A", "MP2", "MP3", "OGG", "RA", "WAV", "WMA", "wma"})
    EXPECT_TRUE(IsAudioType(Type)) << Type;
  for (const char *Type : {"MP4", "AVI", "MPG", "3GP", "RM", ""})
    EXPECT_FALSE(IsAudioType(Type)) << Type;
}

// Open points decided: a player size of "Auto" keeps the input's size, as "Original Video
// Size" does, instead of handing the engine a size it refuses.
TEST(JobMappingTest, PlayerSizeAutoKeepsTheInputSize) {
  for (const char *Entry : {"Archos AV500/GMini402 (*.avi)", "Archos AV700 (*.avi)",
                            "Creative Zen Vision (*.avi)", "iRiver PMP100 (*.avi)"}) {
    TFormatSettings Settings;
    StartUp(Settings);
    PickFormat(Settings, Entry);
    EXPECT_NE(JobOptions(Settings).FrameSize, "") << Entry;
    PickSettings(Settings, {{"ComboVideoSize", "Auto"}});
    EXPECT_EQ(JobOptions(Settings).FrameSize, "") << Entry;
  }
}

// "Auto" is the input's size, fitted into the largest size the list offers (720 x 480) with
// the aspect kept and even numbers; an input that fits, or has no video, keeps its own.
TEST(JobMappingTest, PlayerSizeAutoFitsTheInputIntoTheLargestSize) {
  struct TCase {
    const char *Source;  // the row's "Video Size" cell
    const char *FrameSize;
  };
  const TCase Cases[] = {
      {"320x240", ""},
      {"720x480", ""},
      {"1920x1080", "720x406"},
      {"1280x720", "720x406"},
      {"640x960", "320x480"},
      {"1440x1080", "640x480"},
      {"721x480", "720x480"},
      {"3000x100", "720x24"},
      {" ", ""},
      {"", ""},
  };
  for (const char *Entry : {"Archos AV500/GMini402 (*.avi)", "Archos AV700 (*.avi)",
                            "Creative Zen Vision (*.avi)", "iRiver PMP100 (*.avi)"}) {
    TFormatSettings Settings;
    StartUp(Settings);
    PickFormat(Settings, Entry);
    PickSettings(Settings, {{"ComboVideoSize", "Auto"}});
    for (const TCase &Case : Cases) {
      TOutputOptions Options = JobOptions(Settings);
      Settings.FitAutoFrameSize(Options, Case.Source);
      EXPECT_EQ(Options.FrameSize, Case.FrameSize) << Entry << " " << Case.Source;
    }
  }
}

// A size other than "Auto" is the one chosen, whatever the input's.
TEST(JobMappingTest, ChosenPlayerSizeIsKept) {
  TFormatSettings Settings;
  StartUp(Settings);
  PickFormat(Settings, "Creative Zen Vision (*.avi)");
  TOutputOptions Options = JobOptions(Settings);
  Settings.FitAutoFrameSize(Options, "1920x1080");
  EXPECT_EQ(Options.FrameSize, "640x480");
}

// The players take stereo at most: every device entry caps the channels at two, whatever the
// channel list shows, and leaves the count itself to the input (a mono input stays mono).
TEST(JobMappingTest, DeviceEntriesCapTheChannelsAtTwo) {
  for (const TCatalogueEntry &Entry : OutputFormatCatalogue()) {
    if (Entry.Mapping == TJobMapping::None) continue;
    for (const char *Channels : {"Stereo", "Mono"}) {
      TFormatSettings Settings;
      StartUp(Settings);
      PickFormat(Settings, Entry.Text);
      PickSettings(Settings, {{"ComboAudioChannels", Channels}});
      const TOutputOptions Options = JobOptions(Settings);
      const bool Device = Entry.Mapping == TJobMapping::Device;
      EXPECT_EQ(Options.AudioChannelLimit, Device ? 2 : -1) << Entry.Text;
      if (Device) {
        EXPECT_EQ(Options.AudioChannels, -1) << Entry.Text;
      }
    }
  }
}

TEST(JobMappingTest, CodecNames) {
  const std::pair<const char *, const char *> Video[] = {
      {"H264", "libx264"},          {"XVID", "libxvid"},
      {"XVid", "libxvid"},          {"MPEG4", "mpeg4"},
      {"MSMPEG4", "msmpeg4"},       {"RAWVIDEO", "rawvideo"},
      {"MPEG2VIDEO", "mpeg2video"}, {"", ""},
  };
  for (const auto &[Text, Name] : Video) EXPECT_EQ(VideoCodecName(Text), Name) << Text;
  const std::pair<const char *, const char *> Audio[] = {
      {"aac", "libfaac"},
      {"mpeg4aac", "libfaac"},
      {"mp3", "libmp3lame"},
      {"amr_nb", "libamr_nb"},
      {"ac3", "ac3"},
      {"wmav2", "wmav2"},
      {"pcm_s16be", "pcm_s16be"},
      {"", ""},
  };
  for (const auto &[Text, Name] : Audio) EXPECT_EQ(AudioCodecName(Text), Name) << Text;
}

// A rate list without a selection holds no number: the job cannot be prepared. In the general
// family the codecs and the size are already written then.
TEST(JobMappingTest, MissingNumbersFailTheJob) {
  TFormatSettings Settings;
  StartUp(Settings);
  PickFormat(Settings, "WMV - Windows Media Video (*.wmv)");
  Settings.ComboSamplingRate.SetItemIndex(TChoiceList::NoSelection);
  TOutputOptions Options;
  EXPECT_THROW(Settings.SetJobOptions(Options), EConvertError);
  EXPECT_EQ(Options.VideoCodec, "wmv2");
  EXPECT_EQ(Options.FrameSize, "320x240");
  EXPECT_EQ(Options.AudioBitrate, 128000);
  EXPECT_EQ(Options.AudioSampleRate, -1);

  PickFormat(Settings, "3GP - Mobile Video Format (*.3gp)");
  Settings.ComboAudioBitrate.SetItemIndex(TChoiceList::NoSelection);
  EXPECT_THROW(JobOptions(Settings), EConvertError);
  // The device family reads every audio bit rate in thousands: no number part gives 0.
  PickFormat(Settings, "iPod (*.mp4)");
  Settings.ComboAudioBitrate.SetItemIndex(TChoiceList::NoSelection);
  EXPECT_EQ(JobOptions(Settings).AudioBitrate, 0);
  Settings.ComboSamplingRate.SetItemIndex(TChoiceList::NoSelection);
  EXPECT_THROW(JobOptions(Settings), EConvertError);
  // An empty video bit-rate list is no failure: audio formats have one.
  PickFormat(Settings, "WAV - Waveform Audio (*.wav)");
  EXPECT_NO_THROW(JobOptions(Settings));
}

// Every entry: each default lies inside the list its profile fills, every selection a profile
// makes exists, and a job maps without error to values the engine accepts.
TEST(JobMappingTest, EveryEntryMapsFromItsDefaults) {
  const std::regex Size("[0-9]+x[0-9]+");
  const std::regex Rate("[0-9]+(\\.[0-9]+)?");
  int Entries = 0;
  for (const TCatalogueEntry &Entry : OutputFormatCatalogue()) {
    if (Entry.Mapping == TJobMapping::None) continue;
    ++Entries;
    for (const TProfileList &Pair : ProfileLists) {
      const TListFill &Fill = Entry.Profile.*Pair.Fill;
      if (Fill.Step == TListStep::Fill) {
        EXPECT_GE(DefaultPosition(Fill), 0) << Entry.Text << ": " << Fill.Selected;
        EXPECT_LT(DefaultPosition(Fill), static_cast<int>(Fill.Items.size()));
      }
    }
    TFormatSettings Settings;
    StartUp(Settings);
    PickSettings(Settings, {{"ComboAudioChannels", "Mono"}, {"ComboAspectRatio", "4:3 (Standard"}});
    PickFormat(Settings, Entry.Text);
    EXPECT_EQ(Settings.FOutputType, Entry.OutputType);
    for (const TProfileList &Pair : ProfileLists) {
      const TListFill &Fill = Entry.Profile.*Pair.Fill;
      if (Fill.Step == TListStep::Keep) continue;
      const TChoiceList &List = Settings.*Pair.List;
      EXPECT_EQ(List.Text(), Fill.Selected == nullptr ? "" : Fill.Selected) << Entry.Text;
    }
    TOutputOptions Options;
    ASSERT_NO_THROW(Options = JobOptions(Settings)) << Entry.Text;
    EXPECT_GT(Options.AudioBitrate, 0) << Entry.Text;
    EXPECT_GT(Options.AudioSampleRate, 0) << Entry.Text;
    EXPECT_FALSE(Options.AudioCodec.empty()) << Entry.Text;
    if (Options.DisableVideo) continue;
    EXPECT_GT(Options.VideoBitrate, 0) << Entry.Text;
    EXPECT_FALSE(Options.VideoCodec.empty()) << Entry.Text;
    if (!Options.FrameSize.empty()) {
      EXPECT_TRUE(std::regex_match(Options.FrameSize, Size)) << Entry.Text;
    }
    if (Options.TargetType == 0) {
      EXPECT_TRUE(std::regex_match(Options.FrameRate, Rate)) << Entry.Text;
    }
  }
  EXPECT_EQ(Entries, 54);
}

}  // namespace
