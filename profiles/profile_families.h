// The settings profiles, one function per family. Entries of a family that differ only in a
// few choices share the function and pass the difference as its variant.
#pragma once

#include "profiles/profile.h"
#include "profiles/shared_lists.h"

// The steps as the tables write them.
constexpr TListFill Keep() {
  return {};
}
constexpr TListFill Emptied() {
  return {TListStep::Empty, {}, nullptr};
}
constexpr TListFill Pick(std::span<const char *const> Items, const char *Selected) {
  return {TListStep::Fill, Items, Selected};
}
constexpr TListFill Only(const char *Item) {
  return {TListStep::Single, {}, Item};
}
constexpr TListFill Select(const char *Item) {
  return {TListStep::Select, {}, Item};
}

namespace profile_items {

inline constexpr const char *Mpeg4H263H264[] = {"MPEG4", "H263", "H264"};
inline constexpr const char *Mpeg4H264[] = {"MPEG4", "H264"};
inline constexpr const char *Mpeg4H264XVid[] = {"MPEG4", "H264", "XVid"};
inline constexpr const char *Mpeg4H264Xvid[] = {"MPEG4", "H264", "XVID"};
inline constexpr const char *Mpeg4H263[] = {"MPEG4", "H263"};
inline constexpr const char *Rv10Rv20[] = {"RV10", "RV20"};
inline constexpr const char *AmrAac[] = {"amr_nb", "mpeg4aac"};
inline constexpr const char *PcmMp3Mp2Ac3[] = {"pcm_s16le", "mp3", "mp2", "ac3"};
inline constexpr const char *Ac3Mp2[] = {"ac3", "mp2"};
inline constexpr const char *Mp2Ac3[] = {"mp2", "ac3"};
inline constexpr const char *Mp3Mp2[] = {"mp3", "mp2"};
inline constexpr const char *Mp3Pcm[] = {"mp3", "pcm_s16le"};

}  // namespace profile_items

// Most profiles put the channel and aspect choices back to their first items. The disc, iPod,
// iPod Touch (but wide screen), player and BlackBerry profiles leave both as the user set
// them; the 3GP profile sets mono and leaves the aspect.
inline constexpr TListFill SelectStereo = Select("Stereo");
inline constexpr TListFill SelectOriginalAspect = Select("Original");

constexpr TProfile Gp3Profile() {
  using namespace profile_items;
  return {.ComboVideoCodec = Pick(Mpeg4H263H264, "MPEG4"),
          .ComboVideoSize = Pick(Sizes3gp, "176 x 144 (QCIF)"),
          .ComboVideoBitrate = Pick(VideoRates3gp, "128 Kbps"),
          .ComboVideoFramerate = Pick(FrameRates3gp, "Auto"),
          .ComboAudioCodec = Pick(AmrAac, "amr_nb"),
          .ComboAudioBitrate = Pick(AudioRatesAmr, "7400 bps"),
          .ComboSamplingRate = Pick(SampleRates3gp, "8000  bps"),
          .ComboAudioChannels = Select("Mono"),
          .ComboAspectRatio = Keep()};
}

constexpr TProfile AsfProfile() {
  return {.ComboVideoCodec = Only("MSMPEG4"),
          .ComboVideoSize = Pick(SizesFull, "Original Video Size"),
          .ComboVideoBitrate = Pick(VideoRatesHd, "1200 Kbps"),
          .ComboVideoFramerate = Pick(FrameRates7, "Auto"),
          .ComboAudioCodec = Only("mp3"),
          .ComboAudioBitrate = Pick(AudioRates13, "128 Kbps"),
          .ComboSamplingRate = Pick(SampleRates8, "48000 Hz"),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

enum class TAviVariant { Normal, DivX, Uncompress, XviD };

constexpr TProfile AviProfile(TAviVariant Variant) {
  using namespace profile_items;
  const bool AllAudioCodecs = Variant == TAviVariant::Normal || Variant == TAviVariant::Uncompress;
  return {.ComboVideoCodec = Variant == TAviVariant::Normal       ? Pick(Mpeg4H264, "MPEG4")
                             : Variant == TAviVariant::DivX       ? Only("MPEG4")
                             : Variant == TAviVariant::Uncompress ? Only("RAWVIDEO")
                                                                  : Only("XVID"),
          .ComboVideoSize = Pick(SizesFull, "Original Video Size"),
          .ComboVideoBitrate = Pick(VideoRatesAvi, "1200 Kbps"),
          .ComboVideoFramerate = Pick(FrameRates7, "Auto"),
          .ComboAudioCodec = AllAudioCodecs ? Pick(PcmMp3Mp2Ac3, "pcm_s16le") : Only("mp3"),
          .ComboAudioBitrate = Pick(AudioRates13, "128 Kbps"),
          .ComboSamplingRate = Pick(SampleRates8, "48000 Hz"),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

// The size list ends in "724 x 480", which stays selected: the "dvd" target preset sets the
// job's frame size anyway.
constexpr TProfile DvdProfile() {
  using namespace profile_items;
  return {.ComboVideoCodec = Only("MPEG2VIDEO"),
          .ComboVideoSize = Pick(SizesDvd, "724 x 480"),
          .ComboVideoBitrate = Only("6000 Kbps"),
          .ComboVideoFramerate = Pick(FrameRatesTv, "Auto"),
          .ComboAudioCodec = Pick(Ac3Mp2, "ac3"),
          .ComboAudioBitrate = Pick(AudioRates13, "224 Kbps"),
          .ComboSamplingRate = Pick(SampleRatesDvd, "48000 Hz"),
          .ComboAudioChannels = Keep(),
          .ComboAspectRatio = Keep()};
}

enum class TVideoCdVariant { VideoCd, SuperVideoCd };

constexpr TProfile VideoCdProfile(TVideoCdVariant Variant) {
  const bool Super = Variant == TVideoCdVariant::SuperVideoCd;
  return {.ComboVideoCodec = Only(Super ? "MPEG2VIDEO" : "MPEG1VIDEO"),
          .ComboVideoSize = Pick(SizesDisc, Super ? "480 x 480" : "352 x 240"),
          .ComboVideoBitrate = Only(Super ? "2040 Kbps" : "1150 Kbps"),
          .ComboVideoFramerate = Pick(FrameRatesTv, "Auto"),
          .ComboAudioCodec = Only("mp2"),
          .ComboAudioBitrate = Pick(AudioRates13, "224 Kbps"),
          .ComboSamplingRate = Only("44100 Hz"),
          .ComboAudioChannels = Keep(),
          .ComboAspectRatio = Keep()};
}

// FLV and SWF.
constexpr TProfile FlashProfile() {
  return {.ComboVideoCodec = Only("FLV"),
          .ComboVideoSize = Pick(SizesFull, "Original Video Size"),
          .ComboVideoBitrate = Pick(VideoRates13, "200 Kbps"),
          .ComboVideoFramerate = Pick(FrameRates7, "15.0 fps"),
          .ComboAudioCodec = Only("mp3"),
          .ComboAudioBitrate = Pick(AudioRates13, "64 Kbps"),
          .ComboSamplingRate = Pick(SampleRatesFlash, "44100 Hz"),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

enum class TQuickTimeVariant { Mov, Mp4 };

constexpr TProfile QuickTimeProfile(TQuickTimeVariant Variant) {
  using namespace profile_items;
  return {.ComboVideoCodec =
              Variant == TQuickTimeVariant::Mp4 ? Pick(Mpeg4H264XVid, "MPEG4") : Only("MPEG4"),
          .ComboVideoSize = Pick(SizesFull, "Original Video Size"),
          .ComboVideoBitrate = Pick(VideoRates13, "1200 Kbps"),
          .ComboVideoFramerate = Pick(FrameRates7, "Auto"),
          .ComboAudioCodec = Only("mpeg4aac"),
          .ComboAudioBitrate = Pick(AudioRates13, "128 Kbps"),
          .ComboSamplingRate = Pick(SampleRates8, "44100 Hz"),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

enum class TMpegMovieVariant { Mpeg1, Mpeg2 };

constexpr TProfile MpegMovieProfile(TMpegMovieVariant Variant) {
  using namespace profile_items;
  const bool Mpeg2 = Variant == TMpegMovieVariant::Mpeg2;
  return {.ComboVideoCodec = Only(Mpeg2 ? "MPEG2VIDEO" : "MPEG1VIDEO"),
          .ComboVideoSize = Pick(SizesFull, "320 x 240 (VGA)"),
          .ComboVideoBitrate = Pick(VideoRates13, Mpeg2 ? "2000 Kbps" : "1600 Kbps"),
          .ComboVideoFramerate = Pick(FrameRates7, "25.0 fps"),
          .ComboAudioCodec = Mpeg2 ? Pick(Mp2Ac3, "mp2") : Only("mp2"),
          .ComboAudioBitrate = Pick(AudioRates13, "192 Kbps"),
          .ComboSamplingRate = Pick(SampleRates8, "44100 Hz"),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

constexpr TProfile RealVideoProfile() {
  using namespace profile_items;
  return {.ComboVideoCodec = Pick(Rv10Rv20, "RV10"),
          .ComboVideoSize = Pick(SizesFull, "320 x 240 (VGA)"),
          .ComboVideoBitrate = Pick(VideoRatesReal, "384  Kbps"),
          .ComboVideoFramerate = Pick(FrameRates7, "Auto"),
          .ComboAudioCodec = Only("ac3"),
          .ComboAudioBitrate = Pick(AudioRates13, "128 Kbps"),
          .ComboSamplingRate = Pick(SampleRates8b, "48000 Hz"),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

constexpr TProfile WmvProfile() {
  return {.ComboVideoCodec = Only("WMV2"),
          .ComboVideoSize = Pick(SizesFull, "320 x 240 (VGA)"),
          .ComboVideoBitrate = Pick(VideoRates13, "1200 Kbps"),
          .ComboVideoFramerate = Pick(FrameRates7, "Auto"),
          .ComboAudioCodec = Only("wmav2"),
          .ComboAudioBitrate = Pick(AudioRates13, "128 Kbps"),
          .ComboSamplingRate = Pick(SampleRates8, "48000 Hz"),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

// The audio-only formats: the video lists are emptied (they stay visible and empty).
struct TAudioFormat {
  const char *Codec;
  const char *Bitrate;  // from AudioRates13
  std::span<const char *const> SampleRates;
  const char *SampleRate;
};

constexpr TProfile AudioFormatProfile(TAudioFormat Format) {
  return {.ComboVideoCodec = Emptied(),
          .ComboVideoSize = Emptied(),
          .ComboVideoBitrate = Emptied(),
          .ComboVideoFramerate = Emptied(),
          .ComboAudioCodec = Only(Format.Codec),
          .ComboAudioBitrate = Pick(AudioRates13, Format.Bitrate),
          .ComboSamplingRate = Pick(Format.SampleRates, Format.SampleRate),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

enum class TIpodMode { Normal, Extra };

constexpr TProfile IpodProfile(TIpodMode Mode) {
  using namespace profile_items;
  const bool Extra = Mode == TIpodMode::Extra;
  return {.ComboVideoCodec = Pick(Mpeg4H264, "MPEG4"),
          .ComboVideoSize = Only(Extra ? "640 x 480" : "320 x 240"),
          .ComboVideoBitrate = Pick(VideoRatesDevice, Extra ? "1500 Kbps" : "512 Kbps"),
          .ComboVideoFramerate = Pick(FrameRates7, "Auto"),
          .ComboAudioCodec = Only("mpeg4aac"),
          .ComboAudioBitrate = Pick(AudioRates13, "64 Kbps"),
          .ComboSamplingRate = Pick(SampleRates8, "44100 Hz"),
          .ComboAudioChannels = Keep(),
          .ComboAspectRatio = Keep()};
}

constexpr TProfile AppleTvProfile() {
  return {.ComboVideoCodec = Only("MPEG4"),
          .ComboVideoSize = Only("640 x 480"),
          .ComboVideoBitrate = Pick(VideoRatesDevice, "1500 Kbps"),
          .ComboVideoFramerate = Pick(FrameRates7, "Auto"),
          .ComboAudioCodec = Only("mpeg4aac"),
          .ComboAudioBitrate = Pick(AudioRates13, "128 Kbps"),
          .ComboSamplingRate = Pick(SampleRates8, "44100 Hz"),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

// The Apple TV H264 entries differ in size, and with it in bit rate and frame rate.
struct TAppleTvH264Size {
  const char *Size;
  const char *Bitrate;
  const char *FrameRate;
};

inline constexpr TAppleTvH264Size AppleTvH264Sizes[] = {
    {"320 x 240", "1200 Kbps", "29.97 fps"},
    {"640 x 480", "2000 Kbps", "29.97 fps"},
    {"1280 x 720", "2500 Kbps", "23.975 fps"},
};

constexpr TProfile AppleTvH264Profile(const TAppleTvH264Size &Size) {
  return {.ComboVideoCodec = Only("H264"),
          .ComboVideoSize = Only(Size.Size),
          .ComboVideoBitrate = Pick(VideoRatesAppleTvH264, Size.Bitrate),
          .ComboVideoFramerate = Pick(FrameRates7, Size.FrameRate),
          .ComboAudioCodec = Only("mpeg4aac"),
          .ComboAudioBitrate = Pick(AudioRates13, "64 Kbps"),
          .ComboSamplingRate = Pick(SampleRates8, "48000 Hz"),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

enum class TIpodTouchMode { Normal, Extra, WideScreen };

constexpr TProfile IpodTouchProfile(TIpodTouchMode Mode) {
  using namespace profile_items;
  const bool Wide = Mode == TIpodTouchMode::WideScreen;
  return {.ComboVideoCodec = Pick(Mpeg4H264, "MPEG4"),
          .ComboVideoSize = Only(Mode == TIpodTouchMode::Normal ? "480 x 320"
                                 : Wide                         ? "720 x 406"
                                                                : "640 x 480"),
          .ComboVideoBitrate =
              Pick(VideoRatesDevice, Mode == TIpodTouchMode::Normal ? "1200 Kbps" : "1500 Kbps"),
          .ComboVideoFramerate = Pick(FrameRates7, "Auto"),
          .ComboAudioCodec = Only("mpeg4aac"),
          .ComboAudioBitrate = Pick(AudioRates13, Wide ? "128 Kbps" : "80 Kbps"),
          .ComboSamplingRate = Pick(SampleRates8, "44100 Hz"),
          .ComboAudioChannels = Wide ? SelectStereo : Keep(),
          .ComboAspectRatio = Wide ? SelectOriginalAspect : Keep()};
}

// The iPhone entries differ in size; the smallest also in bit rates.
struct TIphoneSize {
  const char *Size;
  const char *Bitrate;
  const char *AudioBitrate;
};

inline constexpr TIphoneSize IphoneSizes[] = {
    {"480 x 320", "1200 Kbps", "80 Kbps"},
    {"640 x 480", "1500 Kbps", "128 Kbps"},
    {"720 x 480", "1500 Kbps", "128 Kbps"},
};

constexpr TProfile IphoneProfile(const TIphoneSize &Size) {
  using namespace profile_items;
  return {.ComboVideoCodec = Pick(Mpeg4H264, "MPEG4"),
          .ComboVideoSize = Only(Size.Size),
          .ComboVideoBitrate = Pick(VideoRatesDevice, Size.Bitrate),
          .ComboVideoFramerate = Pick(FrameRates7, "Auto"),
          .ComboAudioCodec = Only("mpeg4aac"),
          .ComboAudioBitrate = Pick(AudioRates13, Size.AudioBitrate),
          .ComboSamplingRate = Pick(SampleRates8, "44100 Hz"),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

enum class TZuneVariant { Mpeg4, Wmv };

constexpr TProfile ZuneProfile(TZuneVariant Variant) {
  using namespace profile_items;
  const bool Wmv = Variant == TZuneVariant::Wmv;
  return {.ComboVideoCodec = Wmv ? Only("WMV2") : Pick(Mpeg4H264, "MPEG4"),
          .ComboVideoSize = Pick(SizesZune, "320 x 240 "),
          .ComboVideoBitrate = Pick(VideoRatesZune, Wmv ? "1200 Kbps" : "1500 Kbps"),
          .ComboVideoFramerate = Wmv ? Pick(FrameRates7, "Auto") : Only("29.97 fps"),
          .ComboAudioCodec = Only(Wmv ? "wmav2" : "mpeg4aac"),
          .ComboAudioBitrate = Pick(AudioRates13, "128 Kbps"),
          .ComboSamplingRate = Pick(SampleRates8b, Wmv ? "48000 Hz" : "44100 Hz"),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

constexpr TProfile PspProfile() {
  using namespace profile_items;
  return {.ComboVideoCodec = Pick(Mpeg4H264Xvid, "MPEG4"),
          .ComboVideoSize = Pick(SizesPsp, "368 x 208"),
          .ComboVideoBitrate = Only("768 Kbps"),
          .ComboVideoFramerate = Pick(FrameRatesPsp, "29.97 fps"),
          .ComboAudioCodec = Only("mpeg4aac"),
          .ComboAudioBitrate = Pick(AudioRatesPsp, "64 Kbps"),
          .ComboSamplingRate = Only("24000 Hz"),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

enum class TPs3Variant { P480, P720, P1080 };

constexpr TProfile Ps3Profile(TPs3Variant Variant) {
  return {.ComboVideoCodec = Only("H264"),
          .ComboVideoSize = Variant == TPs3Variant::P480   ? Pick(SizesPs3, "720 x 480")
                            : Variant == TPs3Variant::P720 ? Only("1280 x 720")
                                                           : Only("1920 x 1072"),
          .ComboVideoBitrate =
              Pick(VideoRatesHd, Variant == TPs3Variant::P480 ? "1200 Kbps" : "2000 Kbps"),
          .ComboVideoFramerate = Only("29.97 fps"),
          .ComboAudioCodec = Only("mpeg4aac"),
          .ComboAudioBitrate = Pick(AudioRates13, "96 Kbps"),
          .ComboSamplingRate = Pick(SampleRates8b, "44100 Hz"),
          .ComboAudioChannels = SelectStereo,
          .ComboAspectRatio = SelectOriginalAspect};
}

// Archos, Creative Zen and iRiver players: they differ in the preselected size and, for the
// AV700, the bit-rate list.
enum class TPlayerVariant { ArchosAv500, ArchosAv700, ZenIriver };

constexpr TProfile PlayerProfile(TPlayerVariant Variant) {
  using namespace profile_items;
  return {
      .ComboVideoCodec = Only("MPEG4"),
      .ComboVideoSize = Pick(SizesPlayer, Variant == TPlayerVariant::ArchosAv500   ? "480 x 272"
                                          : Variant == TPlayerVariant::ArchosAv700 ? "720 x 480"
                                                                                   : "640 x 480"),
      .ComboVideoBitrate = Variant == TPlayerVariant::ArchosAv700
                               ? Pick(VideoRatesAv700, "2000 Kbps")
                               : Pick(VideoRates13, "1200 Kbps"),
      .ComboVideoFramerate = Pick(FrameRates7, "Auto"),
      .ComboAudioCodec = Pick(Mp3Mp2, "mp3"),
      .ComboAudioBitrate = Pick(AudioRates13, "128 Kbps"),
      .ComboSamplingRate = Pick(SampleRates8, "48000 Hz"),
      .ComboAudioChannels = Keep(),
      .ComboAspectRatio = Keep()};
}

enum class TBlackBerryVariant { Mpeg4, Avi, Gp3 };

constexpr TProfile BlackBerryProfile(TBlackBerryVariant Variant) {
  using namespace profile_items;
  if (Variant == TBlackBerryVariant::Gp3)
    return {.ComboVideoCodec = Pick(Mpeg4H263, "MPEG4"),
            .ComboVideoSize = Pick(SizesBlackBerry, "176 x 144"),
            .ComboVideoBitrate = Pick(VideoRatesBlackBerry3gp, "120 Kbps"),
            .ComboVideoFramerate = Pick(FrameRatesBlackBerry3gp, "15 fps"),
            .ComboAudioCodec = Pick(AmrAac, "amr_nb"),
            .ComboAudioBitrate = Pick(AudioRatesAmr, "4750 bps"),
            .ComboSamplingRate = Pick(SampleRatesAmr, "8000  Hz"),
            .ComboAudioChannels = Keep(),
            .ComboAspectRatio = Keep()};
  const bool Avi = Variant == TBlackBerryVariant::Avi;
  return {.ComboVideoCodec = Only(Avi ? "H263" : "MPEG4"),
          .ComboVideoSize = Avi ? Only("176 x 144") : Pick(SizesBlackBerry, "320 x 240"),
          .ComboVideoBitrate = Pick(VideoRatesBlackBerry, "300 Kbps"),
          .ComboVideoFramerate = Pick(FrameRatesBlackBerry, "24 fps"),
          .ComboAudioCodec = Avi ? Pick(Mp3Pcm, "mp3") : Only("mpeg4aac"),
          .ComboAudioBitrate = Pick(AudioRatesBlackBerry, "80 Kbps"),
          .ComboSamplingRate = Pick(SampleRates8, "44100 Hz"),
          .ComboAudioChannels = Keep(),
          .ComboAspectRatio = Keep()};
}
