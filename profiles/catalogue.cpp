#include "profiles/catalogue.h"

#include "profiles/profile_families.h"

namespace {

constexpr TCatalogueEntry Separator{SeparatorText, "", {}, TJobMapping::None};

using enum TJobMapping;

constexpr TCatalogueEntry Catalogue[] = {
    // Video formats.
    {"3GP - Mobile Video Format (*.3gp)", "3GP", Gp3Profile(), Gp3},
    {"3G2 - Mobile Video Format (*.3g2)", "3G2", Gp3Profile(), Gp3},
    {"ASF - Advance Streaming Format (*.asf)", "ASF", AsfProfile(), General},
    {"AVI - Audio Video Interleave (*.avi)", "AVI", AviProfile(TAviVariant::Normal), General},
    {"AVI - DivX Video (*.avi)", "AVI", AviProfile(TAviVariant::DivX), General},
    {"AVI - Uncompress (*.avi)", "AVI", AviProfile(TAviVariant::Uncompress), General},
    {"AVI - XviD Video (*.avi)", "AVI", AviProfile(TAviVariant::XviD), General},
    {"DVD - DVD Mpeg2 Format (*.mpg)", "MPG", DvdProfile(), General},
    {"FLV - Flash Video (*.flv)", "FLV", FlashProfile(), General},
    {"MOV - QuickTime Video (*.mov)", "MOV", QuickTimeProfile(TQuickTimeVariant::Mov), General},
    {"MP4 - MPEG4 Video (*.mp4)", "MP4", QuickTimeProfile(TQuickTimeVariant::Mp4), General},
    {"MPEG-1 Movie (*.mpg)", "MPG", MpegMovieProfile(TMpegMovieVariant::Mpeg1), General},
    {"MPEG-2 Movie (*.mpg)", "MPG", MpegMovieProfile(TMpegMovieVariant::Mpeg2), General},
    {"RM - Real Video (*.rm)", "RM", RealVideoProfile(), General},
    {"SWF - Flash Swf (*.swf)", "SWF", FlashProfile(), General},
    {"Super Video CD (*.mpg)", "MPG", VideoCdProfile(TVideoCdVariant::SuperVideoCd), General},
    {"Video CD (*.mpg)", "MPG", VideoCdProfile(TVideoCdVariant::VideoCd), General},
    {"WMV - Windows Media Video (*.wmv)", "WMV", WmvProfile(), General},
    Separator,
    // Audio formats.
    {"AAC - Advance Audio Coding (*.aac)", "AAC",
     AudioFormatProfile({"aac", "128 Kbps", SampleRates8, "48000 Hz"}), General},
    {"AU - SUN Audio (*.au)", "AU",
     AudioFormatProfile({"pcm_s16be", "128 Kbps", SampleRates8, "48000 Hz"}), General},
    {"M4A - Mpeg4 Audio File (*.m4a)", "M4A",
     AudioFormatProfile({"mpeg4aac", "128 Kbps", SampleRates8, "48000 Hz"}), General},
    {"MP2 - Mpeg Layer2 Audio (*.mp2)", "MP2",
     AudioFormatProfile({"mp2", "224 Kbps", SampleRates8, "48000 Hz"}), General},
    {"MP3 - Mpeg Layer3 Audio (*.mp3)", "MP3",
     AudioFormatProfile({"mp3", "192 Kbps", SampleRates8, "48000 Hz"}), General},
    {"OGG - Ogg Vorbis Audio (*.ogg)", "OGG",
     AudioFormatProfile({"vorbis", "160 Kbps", SampleRates8, "48000 Hz"}), General},
    {"RA - Real Audio (*.ra)", "RA",
     AudioFormatProfile({"ac3", "128 Kbps", SampleRates8b, "48000 Hz"}), General},
    {"WAV - Waveform Audio (*.wav)", "WAV",
     AudioFormatProfile({"pcm_s16le", "128 Kbps", SampleRates8b, "44100 Hz"}), General},
    {"WMA - Windows Media Audio (*.wma)", "WMA",
     AudioFormatProfile({"wmav2", "128 Kbps", SampleRates8b, "48000 Hz"}), General},
    Separator,
    // Devices.
    {"iPod (*.mp4)", "MP4", IpodProfile(TIpodMode::Normal), Device},
    {"iPod Extra (640 x 480) (*.mp4)", "MP4", IpodProfile(TIpodMode::Extra), Device},
    {"iPod Video For TV (*.mp4)", "MP4", IpodProfile(TIpodMode::Extra), Device},
    Separator,
    {"Apple TV (*.mp4)", "MP4", AppleTvProfile(), Device},
    {"Apple TV H264 (320 x 240) (*.mp4)", "MP4", AppleTvH264Profile(AppleTvH264Sizes[0]), Device},
    {"Apple TV H264 (640 x 480) (*.mp4)", "MP4", AppleTvH264Profile(AppleTvH264Sizes[1]), Device},
    {"Apple TV H264 (1280 x 720) (*.mp4)", "MP4", AppleTvH264Profile(AppleTvH264Sizes[2]), Device},
    Separator,
    {"iPod Touch (*.mp4)", "MP4", IpodTouchProfile(TIpodTouchMode::Normal), Device},
    {"iPod Touch Extra (640 x 480) (*.mp4)", "MP4", IpodTouchProfile(TIpodTouchMode::Extra),
     Device},
    {"iPod Touch Wide Screen (*.mp4)", "MP4", IpodTouchProfile(TIpodTouchMode::WideScreen), Device},
    Separator,
    {"iPhone (*.mp4)", "MP4", IphoneProfile(IphoneSizes[0]), General},
    {"iPhone Extra (640 x 480) (*.mp4)", "MP4", IphoneProfile(IphoneSizes[1]), General},
    {"iPhone Wide Screen (*.mp4)", "MP4", IphoneProfile(IphoneSizes[2]), General},
    Separator,
    {"Zune Mpeg4 Video (*.mp4)", "MP4", ZuneProfile(TZuneVariant::Mpeg4), General},
    {"Zune WMV Windows Media Video (*.wmv)", "WMV", ZuneProfile(TZuneVariant::Wmv), General},
    Separator,
    {"PSP Video (*.mp4)", "MP4", PspProfile(), General},
    {"PS3 Video (*.mp4)", "MP4", Ps3Profile(TPs3Variant::P480), General},
    {"PS3 Video(480P) (*.mp4)", "MP4", Ps3Profile(TPs3Variant::P480), General},
    {"PS3 Video(720P) (*.mp4)", "MP4", Ps3Profile(TPs3Variant::P720), General},
    {"PS3 Video(1080P) (*.mp4)", "MP4", Ps3Profile(TPs3Variant::P1080), General},
    Separator,
    {"Archos AV500/GMini402 (*.avi)", "AVI", PlayerProfile(TPlayerVariant::ArchosAv500), General},
    {"Archos AV700 (*.avi)", "AVI", PlayerProfile(TPlayerVariant::ArchosAv700), General},
    {"BlackBerry MPEG-4 Video (*.mp4)", "MP4", BlackBerryProfile(TBlackBerryVariant::Mpeg4),
     General},
    {"BlackBerry AVI Video (*.avi)", "AVI", BlackBerryProfile(TBlackBerryVariant::Avi), General},
    {"BlackBerry 3GP Video (*.3gp)", "3GP", BlackBerryProfile(TBlackBerryVariant::Gp3), General},
    {"Creative Zen Vision (*.avi)", "AVI", PlayerProfile(TPlayerVariant::ZenIriver), General},
    {"iRiver PMP100 (*.avi)", "AVI", PlayerProfile(TPlayerVariant::ZenIriver), General},
};

static_assert(std::size(Catalogue) == CatalogueItemCount);

}  // namespace

bool IsSeparator(const std::string &Text) {
  return Text.find(SeparatorMark) != std::string::npos;
}

std::span<const TCatalogueEntry> OutputFormatCatalogue() {
  return Catalogue;
}

const TCatalogueEntry *FindCatalogueEntry(const std::string &Text) {
  for (const TCatalogueEntry &Entry : Catalogue)
    if (Entry.Mapping != TJobMapping::None && Text == Entry.Text) return &Entry;
  return nullptr;
}
