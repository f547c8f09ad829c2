// The item lists that several profiles put into the settings lists. Item texts are shown to
// the user and later parsed back into numbers (the number before the first blank), so every
// blank counts: "384  Kbps", "8000  Hz" and "8000  bps" have two, the first Zune size ends
// in one.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>

namespace shared_lists_detail {

template <std::size_t N, std::size_t M>
constexpr std::array<const char *, N + M> Join(const char *const (&Head)[N],
                                               const char *const (&Tail)[M]) {
  std::array<const char *, N + M> Items{};
  std::copy(Head, Head + N, Items.begin());
  std::copy(Tail, Tail + M, Items.begin() + N);
  return Items;
}

}  // namespace shared_lists_detail

// Frame sizes.
inline constexpr const char *SizesFull[] = {
    "Original Video Size", "128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 120", "176 x 144 (QCIF)",
    "192 x 144",           "208 x 176",        "220 x 176",        "240 x 180", "320 x 200",
    "320 x 240 (VGA)",     "352 x 240",        "352 x 288 (CIF)",  "480 x 272", "480 x 360",
    "480 x 480",           "480 x 576",        "624 x 352",        "640 x 352", "640 x 480",
    "704 x 576 (4CIF)",    "720 x 480",        "720 x 576"};
inline constexpr const char *SizesDisc[] = {"128 x 96 (SQCIF)", "176 x 144 (QCIF)", "352 x 240",
                                            "352 x 288 (CIF)",  "480 x 272",        "480 x 480",
                                            "640 x 480",        "704 x 576 (4CIF)"};
inline constexpr const char *SizesDvdExtra[] = {"724 x 480", "724 x 576"};
inline constexpr auto SizesDvd = shared_lists_detail::Join(SizesDisc, SizesDvdExtra);
inline constexpr const char *Sizes3gp[] = {
    "128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 144 (QCIF)", "208 x 176",
    "220 x 176",        "320 x 240 (VGA)",  "352 x 288 (CIF)"};
inline constexpr const char *SizesPlayer[] = {"Auto",      "160 x 120", "320 x 240",
                                              "480 x 272", "720 x 480", "640 x 480"};
inline constexpr const char *SizesPsp[] = {"160 x 112", "320 x 240", "368 x 208", "480 x 272"};
inline constexpr const char *SizesPs3[] = {"640 x 480", "720 x 480", "720 x 576"};
inline constexpr const char *SizesZune[] = {"320 x 240 ", "640 x 480"};
inline constexpr const char *SizesBlackBerry[] = {"176 x 144", "240 x 180", "320 x 240"};

// Video bit rates.
inline constexpr const char *VideoRates13[] = {
    "192 Kbps",  "200 Kbps",  "216 Kbps",  "384 Kbps",  "512 Kbps",  "640 Kbps", "768 Kbps",
    "1000 Kbps", "1200 Kbps", "1500 Kbps", "1600 Kbps", "2000 Kbps", "2500 Kbps"};
inline constexpr const char *VideoRatesAvi[] = {"192 Kbps",  "200 Kbps",  "216 Kbps", "384 Kbps",
                                                "512 Kbps",  "640 Kbps",  "768 Kbps", "1000 Kbps",
                                                "1200 Kbps", "1500 Kbps", "2500 Kbps"};
inline constexpr const char *VideoRatesDevice[] = {"512 Kbps", "800 Kbps", "1200 Kbps", "1500 Kbps",
                                                   "2500 Kbps"};
inline constexpr const char *VideoRatesAppleTvH264[] = {"512 Kbps",  "800 Kbps",  "1200 Kbps",
                                                        "1500 Kbps", "2000 Kbps", "2500 Kbps",
                                                        "4000 Kbps", "7000 Kbps"};
inline constexpr const char *VideoRatesHd[] = {"1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps",
                                               "3000 Kbps"};
inline constexpr const char *VideoRatesAv700[] = {"1000 Kbps", "1200 Kbps", "1500 Kbps",
                                                  "2000 Kbps", "2500 Kbps"};
inline constexpr const char *VideoRatesZune[] = {"256 Kbps",  "512 Kbps",  "768 Kbps",
                                                 "1200 Kbps", "1500 Kbps", "2000 Kbps"};
inline constexpr const char *VideoRatesReal[] = {"384  Kbps", "400  Kbps", "600  Kbps",
                                                 "1200 Kbps", "1800 Kbps", "2200 Kbps",
                                                 "2600 Kbps", "3000 Kbps"};
inline constexpr const char *VideoRates3gp[] = {"48 Kbps",  "64 Kbps",  "96 Kbps",
                                                "128 Kbps", "256 Kbps", "512 Kbps"};
inline constexpr const char *VideoRatesBlackBerry[] = {"80 Kbps",  "120 Kbps", "200 Kbps",
                                                       "256 Kbps", "300 Kbps", "512 Kbps"};
inline constexpr const char *VideoRatesBlackBerry3gp[] = {
    "48 Kbps", "64 Kbps", "96 Kbps", "120 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"};

// Frame rates. For the disc formats the list picks the television standard instead.
inline constexpr const char *FrameRates7[] = {"Auto",     "14.985 fps", "15.0 fps", "23.975 fps",
                                              "25.0 fps", "29.97 fps",  "30.0 fps"};
inline constexpr const char *FrameRatesTv[] = {"Auto", "PAL", "NTSC"};
inline constexpr const char *FrameRates3gp[] = {"Auto", "11 fps", "14.985 fps", "15 fps"};
inline constexpr const char *FrameRatesBlackBerry[] = {"11 fps", "15 fps", "20 fps", "24 fps",
                                                       "25 fps"};
inline constexpr const char *FrameRatesBlackBerry3gp[] = {"Auto",   "11 fps", "15 fps",
                                                          "20 fps", "24 fps", "25 fps"};
inline constexpr const char *FrameRatesPsp[] = {"14.985 fps", "29.97 fps"};

// Audio bit rates.
inline constexpr const char *AudioRates13[] = {
    "32 Kbps",  "40 Kbps",  "48 Kbps",  "64 Kbps",  "80 Kbps",  "96 Kbps", "112 Kbps",
    "128 Kbps", "160 Kbps", "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps"};
inline constexpr const char *AudioRatesPsp[] = {"32 Kbps", "48 Kbps",  "64 Kbps",
                                                "96 Kbps", "128 Kbps", "160 Kbps"};
inline constexpr const char *AudioRatesBlackBerry[] = {"40 Kbps", "48 Kbps", "64 Kbps",
                                                       "80 Kbps", "96 Kbps", "112 Kbps"};
inline constexpr const char *AudioRatesAmr[] = {"4750 bps", "5150 bps", "5900 bps",  "6700 bps",
                                                "7400 bps", "7950 bps", "10200 bps", "12200 bps"};

// Sampling rates.
inline constexpr const char *SampleRates8[] = {"8000 Hz",  "16000 Hz", "22050 Hz", "32000 Hz",
                                               "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"};
inline constexpr const char *SampleRates8b[] = {"8000  Hz", "16000 Hz", "22050 Hz", "32000 Hz",
                                                "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"};
inline constexpr const char *SampleRatesFlash[] = {"11025 Hz", "22050 Hz", "44100 Hz"};
inline constexpr const char *SampleRatesDvd[] = {"44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"};
inline constexpr const char *SampleRatesAmr[] = {"8000  Hz", "16000 Hz"};
inline constexpr const char *SampleRates3gp[] = {"8000  bps", "16000 bps"};
