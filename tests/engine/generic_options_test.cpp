// Options passed through to the media libraries: which holder receives a name, the options
// FFmpeg keeps private to a codec or muxer, renamed names, the bit-rate warning, and the
// copying of collected values onto real codec and format contexts.

#include <gtest/gtest.h>

#include "engine/binding/av_api.h"
#include "tests/engine/options_test_support.h"

namespace {

using TGenericOptionsTest = TTaskTest;

std::vector<std::string> Names(const TCustomFFmpeg &Task) {
  return {Task.FOptionNames.begin(), Task.FOptionNames.end()};
}

std::string Entry(const TDictionary &Options, const char *Key) {
  const AVDictionaryEntry *Found = av::av_dict_get(Options.Get(), Key, nullptr, 0);
  return Found ? Found->value : "(none)";
}

AVCodecContext *Holder(TCustomFFmpeg &Task, AVMediaType Type) {
  return Task.FCodecOptions[Type].get();
}

TEST_F(TGenericOptionsTest, CodecOptionsLandOnTheHoldersOfTheirMediaType) {
  const int64_t DefaultBitRate = Holder(Task, AVMEDIA_TYPE_AUDIO)->bit_rate;
  EXPECT_TRUE(Task.SetDefaultOption("b", "1150000"));
  EXPECT_TRUE(Task.SetDefaultOption("ab", "224000"));
  EXPECT_TRUE(Task.SetDefaultOption("maxrate", "2516000"));
  EXPECT_TRUE(Task.SetDefaultOption("ar", "22050"));
  EXPECT_EQ(Holder(Task, AVMEDIA_TYPE_VIDEO)->bit_rate, 1150000);
  EXPECT_EQ(Holder(Task, AVMEDIA_TYPE_VIDEO)->rc_max_rate, 2516000);
  EXPECT_EQ(Holder(Task, AVMEDIA_TYPE_AUDIO)->bit_rate, 224000);
  EXPECT_EQ(Holder(Task, AVMEDIA_TYPE_AUDIO)->rc_max_rate, 0);
  EXPECT_EQ(Holder(Task, AVMEDIA_TYPE_AUDIO)->sample_rate, 22050);
  EXPECT_EQ(Holder(Task, AVMEDIA_TYPE_VIDEO)->sample_rate, 0);
  EXPECT_EQ(Holder(Task, AVMEDIA_TYPE_SUBTITLE)->bit_rate, DefaultBitRate);
  EXPECT_EQ(Names(Task), (std::vector<std::string>{"b", "ab", "maxrate", "ar"}));
}

TEST_F(TGenericOptionsTest, FormatAndScalerOptions) {
  EXPECT_TRUE(Task.SetDefaultOption("packetsize", "2324"));
  EXPECT_TRUE(Task.SetDefaultOption("sws_flags", "bilinear"));
  EXPECT_EQ(Task.FFormatOptions->packet_size, 2324u);
  int64_t Flags = 0;
  av::av_opt_get_int(Task.FScaleOptions.get(), "sws_flags", 0, &Flags);
  EXPECT_EQ(Flags, SWS_BILINEAR);
  EXPECT_EQ(Names(Task), (std::vector<std::string>{"packetsize", "sws_flags"}));
}

TEST_F(TGenericOptionsTest, MediaPrefixAddressesOneHolder) {
  EXPECT_TRUE(Task.SetDefaultOption("vb", "2000000"));
  EXPECT_TRUE(Task.SetDefaultOption("aqmax", "20"));
  EXPECT_EQ(Holder(Task, AVMEDIA_TYPE_VIDEO)->bit_rate, 2000000);
  EXPECT_EQ(Holder(Task, AVMEDIA_TYPE_AUDIO)->qmax, 20);
  EXPECT_NE(Holder(Task, AVMEDIA_TYPE_VIDEO)->qmax, 20);
  EXPECT_EQ(Names(Task), (std::vector<std::string>{"b", "qmax"}));
}

TEST_F(TGenericOptionsTest, RenamedOptions) {
  EXPECT_TRUE(Task.SetStrOption("gop", "15"));
  EXPECT_EQ(Holder(Task, AVMEDIA_TYPE_VIDEO)->gop_size, 15);
  EXPECT_TRUE(Task.SetStrOption("flags", "+SCAN_OFFSET"));
  EXPECT_EQ(Entry(Task.FCodecPrivateOptions[AVMEDIA_TYPE_VIDEO], "scan_offset"), "1");
  EXPECT_EQ(Names(Task), (std::vector<std::string>{"g"}));
}

TEST_F(TGenericOptionsTest, CodecAndMuxerPrivateOptionsAreCollected) {
  EXPECT_TRUE(Task.SetIntOption("crf", 23));
  EXPECT_TRUE(Task.SetStrOption("preset", "fast"));
  EXPECT_TRUE(Task.SetIntOption("muxrate", 1411200));
  EXPECT_TRUE(Task.SetStrOption("preload", "440000"));
  const TDictionary &Video = Task.FCodecPrivateOptions[AVMEDIA_TYPE_VIDEO];
  EXPECT_EQ(Entry(Video, "crf"), "23");
  EXPECT_EQ(Entry(Video, "preset"), "fast");
  EXPECT_EQ(Task.FCodecPrivateOptions[AVMEDIA_TYPE_AUDIO].Count(), 0);
  EXPECT_EQ(Entry(Task.FFormatPrivateOptions, "muxrate"), "1411200");
  EXPECT_EQ(Entry(Task.FFormatPrivateOptions, "preload"), "440000");
  EXPECT_TRUE(Task.FOptionNames.empty());

  TDictionary Handed;
  Task.CopyCodecPrivateOptions(AVMEDIA_TYPE_VIDEO, Handed.Address());
  Task.CopyFormatPrivateOptions(Handed.Address());
  EXPECT_EQ(Handed.Count(), 4);
  EXPECT_EQ(Entry(Handed, "muxrate"), "1411200");
}

TEST_F(TGenericOptionsTest, WhatNothingTakesIsDropped) {
  EXPECT_FALSE(Task.SetDefaultOption("no_such_option", "1"));
  EXPECT_FALSE(Task.SetDefaultOption("b", "lots"));  // a value the option refuses
  EXPECT_FALSE(Task.SetDefaultOption("b", "  "));
  EXPECT_FALSE(Task.SetDefaultOption(" ", "1"));
  EXPECT_EQ(Holder(Task, AVMEDIA_TYPE_VIDEO)->bit_rate, Holder(Task, AVMEDIA_TYPE_AUDIO)->bit_rate);
  EXPECT_TRUE(Task.FOptionNames.empty());
  EXPECT_EQ(Task.FCodecPrivateOptions[AVMEDIA_TYPE_VIDEO].Count(), 0);
  EXPECT_EQ(Task.FFormatPrivateOptions.Count(), 0);
  EXPECT_NO_THROW(Task.SetOption("no_such_option", "1"));
  TCustomFFmpeg NotReset;  // no holders yet
  EXPECT_FALSE(NotReset.SetDefaultOption("b", "1000"));
}

TEST_F(TGenericOptionsTest, BitRatesGivenInKilobitsAreWarnedAbout) {
  const std::vector<TTaskLogLine> Warning{
      {1,
       "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s"}};
  Task.SetOption("b", "64");
  EXPECT_EQ(Holder(Task, AVMEDIA_TYPE_VIDEO)->bit_rate, 64);
  EXPECT_EQ(Log, Warning);
  Log.clear();
  Task.SetOption("ab", "64000");
  Task.SetOption("vb", "999999");
  EXPECT_TRUE(Log.empty());
  Task.SetOption("ab", "128");
  EXPECT_EQ(Log, Warning);
  Log.clear();
  Task.SetOption("vb", "nonsense");  // refused by the library: nothing to warn about
  EXPECT_TRUE(Log.empty());
}

TEST_F(TGenericOptionsTest, DebugOptionRaisesTheLogLevel) {
  const int Saved = av::av_log_get_level();
  EXPECT_TRUE(Task.SetDefaultOption("debug", "mb_type"));
  EXPECT_EQ(Task.Options().FVerbose, 2);
  EXPECT_EQ(av::av_log_get_level(), AV_LOG_DEBUG);
  av::av_log_set_level(Saved);
  RefreshAVLogLevel();
}

TCodecContextPtr Encoder(const char *Name) {
  return TCodecContextPtr(av::avcodec_alloc_context3(av::avcodec_find_encoder_by_name(Name)));
}

TEST_F(TGenericOptionsTest, CollectedValuesReachRealContextsOfTheirKind) {
  Task.SetStrOption("gop", "15");
  Task.SetStrOption("b", "1150000");
  Task.SetStrOption("ab", "224000");
  Task.SetStrOption("packetsize", "2324");

  TCodecContextPtr Video = Encoder("mpeg1video");
  TCodecContextPtr Audio = Encoder("mp2");
  ASSERT_TRUE(Video && Audio);
  const int AudioGop = Audio->gop_size;
  Task.ApplyDefaultOptions(Holder(Task, AVMEDIA_TYPE_VIDEO), Video.get(),
                           AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
  Task.ApplyDefaultOptions(Holder(Task, AVMEDIA_TYPE_AUDIO), Audio.get(),
                           AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(Video->gop_size, 15);
  EXPECT_EQ(Video->bit_rate, 1150000);
  EXPECT_EQ(Audio->bit_rate, 224000);
  EXPECT_EQ(Audio->gop_size, AudioGop);

  TOutputContextPtr Muxer(av::avformat_alloc_context());
  Task.ApplyDefaultOptions(Task.FFormatOptions.get(), Muxer.get(), AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(Muxer->packet_size, 2324u);
}

// Only the video encoder takes the bit rate given as "b": FFmpeg also marks it for audio.
TEST_F(TGenericOptionsTest, AudioEncoderKeepsItsBitRateWhenOnlyVideoIsGiven) {
  Task.SetStrOption("b", "1150000");
  Task.SetStrOption("minrate", "1150000");
  TCodecContextPtr Audio = Encoder("mp2");
  ASSERT_TRUE(Audio);
  Audio->bit_rate = 192000;
  Task.ApplyDefaultOptions(Holder(Task, AVMEDIA_TYPE_AUDIO), Audio.get(),
                           AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(Audio->bit_rate, 192000);
  EXPECT_EQ(Audio->rc_min_rate, 0);
}

TEST_F(TGenericOptionsTest, DecodingOptionsStayOffEncoders) {
  Task.SetStrOption("skip_frame", "nokey");  // a decoding option
  TCodecContextPtr Video = Encoder("mpeg4");
  ASSERT_TRUE(Video);
  Task.ApplyDefaultOptions(Holder(Task, AVMEDIA_TYPE_VIDEO), Video.get(),
                           AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(Video->skip_frame, AVDISCARD_DEFAULT);
  TCodecContextPtr Decoder(av::avcodec_alloc_context3(nullptr));
  Task.ApplyDefaultOptions(Holder(Task, AVMEDIA_TYPE_VIDEO), Decoder.get(),
                           AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
  EXPECT_EQ(Decoder->skip_frame, AVDISCARD_NONKEY);
}

}  // namespace
