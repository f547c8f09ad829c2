// Reading numbers and frame sizes out of the settings lists' item texts.

#include "profiles/number_text.h"

#include <gtest/gtest.h>

namespace {

TEST(NumberTextTest, NumberPartIsTheTextBeforeTheFirstBlank) {
  const std::pair<const char *, const char *> Cases[] = {
      {"1200 Kbps", "1200"},
      {"384  Kbps", "384"},
      {"8000  Hz", "8000"},
      {"7400 bps", "7400"},
      {"29.97 fps", "29.97"},
      {"Auto", ""},
      {"", ""},
      {" 5 fps", ""},
  };
  for (const auto &[Text, Expected] : Cases) EXPECT_EQ(NumberPart(Text), Expected) << Text;
}

TEST(NumberTextTest, FrameSizeTextDropsTheNameAndTheBlanks) {
  const std::pair<const char *, const char *> Cases[] = {
      {"352 x 288 (CIF)", "352x288"}, {"320 x 240 ", "320x240"}, {"1920 x 1072", "1920x1072"},
      {"128 x 96 (SQCIF)", "128x96"}, {"Auto", "Auto"},          {"", ""},
  };
  for (const auto &[Text, Expected] : Cases) EXPECT_EQ(FrameSizeText(Text), Expected) << Text;
}

TEST(NumberTextTest, ThousandsOfTheNumberPart) {
  EXPECT_EQ(ThousandsValue("1500 Kbps"), 1500000);
  EXPECT_EQ(ThousandsValue("384  Kbps"), 384000);
  EXPECT_EQ(ThousandsValue("7000 Kbps"), 7000000);
  // No number part reads as "000": an empty video bit-rate list gives 0, never an error.
  EXPECT_EQ(ThousandsValue(""), 0);
  EXPECT_EQ(ThousandsValue("Auto"), 0);
  EXPECT_THROW(ThousandsValue("fast Kbps"), EConvertError);
  EXPECT_THROW(ThousandsValue("9999999 Kbps"), EConvertError);  // beyond 32 bits
}

TEST(NumberTextTest, OnlyWholeNumbersConvert) {
  EXPECT_EQ(NumberValue("48000"), 48000);
  EXPECT_EQ(NumberValue("-5"), -5);
  EXPECT_EQ(NumberValue("+7"), 7);
  EXPECT_EQ(NumberValue("2147483647"), 2147483647);
  for (const char *Text : {"", "29.97", "12x", "x12", " 12", "+", "-", "+-1", "2147483648"})
    EXPECT_THROW(NumberValue(Text), EConvertError) << '"' << Text << '"';
  try {
    NumberValue("");
  } catch (const EConvertError &Error) {
    EXPECT_STREQ(Error.what(), "'' is not a valid integer value");
  }
}

}  // namespace
