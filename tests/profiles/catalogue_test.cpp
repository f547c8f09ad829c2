// The format list's order is stored with the user's settings: a position must keep meaning
// the same entry.

#include "profiles/catalogue.h"

#include <gtest/gtest.h>

#include <set>

namespace {

struct TCatalogueRow {
  const char *Text;  // nullptr for a separator
  const char *Type;
};

const TCatalogueRow Expected[] = {
    {"3GP - Mobile Video Format (*.3gp)", "3GP"},
    {"3G2 - Mobile Video Format (*.3g2)", "3G2"},
    {"ASF - Advance Streaming Format (*.asf)", "ASF"},
    {"AVI - Audio Video Interleave (*.avi)", "AVI"},
    {"AVI - DivX Video (*.avi)", "AVI"},
    {"AVI - Uncompress (*.avi)", "AVI"},
    {"AVI - XviD Video (*.avi)", "AVI"},
    {"DVD - DVD Mpeg2 Format (*.mpg)", "MPG"},
    {"FLV - Flash Video (*.flv)", "FLV"},
    {"MOV - QuickTime Video (*.mov)", "MOV"},
    {"MP4 - MPEG4 Video (*.mp4)", "MP4"},
    {"MPEG-1 Movie (*.mpg)", "MPG"},
    {"MPEG-2 Movie (*.mpg)", "MPG"},
    {"RM - Real Video (*.rm)", "RM"},
    {"SWF - Flash Swf (*.swf)", "SWF"},
    {"Super Video CD (*.mpg)", "MPG"},
    {"Video CD (*.mpg)", "MPG"},
    {"WMV - Windows Media Video (*.wmv)", "WMV"},
    {nullptr, ""},
    {"AAC - Advance Audio Coding (*.aac)", "AAC"},
    {"AU - SUN Audio (*.au)", "AU"},
    {"M4A - Mpeg4 Audio File (*.m4a)", "M4A"},
    {"MP2 - Mpeg Layer2 Audio (*.mp2)", "MP2"},
    {"MP3 - Mpeg Layer3 Audio (*.mp3)", "MP3"},
    {"OGG - Ogg Vorbis Audio (*.ogg)", "OGG"},
    {"RA - Real Audio (*.ra)", "RA"},
    {"WAV - Waveform Audio (*.wav)", "WAV"},
    {"WMA - Windows Media Audio (*.wma)", "WMA"},
    {nullptr, ""},
    {"iPod (*.mp4)", "MP4"},
    {"iPod Extra (640 x 480) (*.mp4)", "MP4"},
    {"iPod Video For TV (*.mp4)", "MP4"},
    {nullptr, ""},
    {"Apple TV (*.mp4)", "MP4"},
    {"Apple TV H264 (320 x 240) (*.mp4)", "MP4"},
    {"Apple TV H264 (640 x 480) (*.mp4)", "MP4"},
    {"Apple TV H264 (1280 x 720) (*.mp4)", "MP4"},
    {nullptr, ""},
    {"iPod Touch (*.mp4)", "MP4"},
    {"iPod Touch Extra (640 x 480) (*.mp4)", "MP4"},
    {"iPod Touch Wide Screen (*.mp4)", "MP4"},
    {nullptr, ""},
    {"iPhone (*.mp4)", "MP4"},
    {"iPhone Extra (640 x 480) (*.mp4)", "MP4"},
    {"iPhone Wide Screen (*.mp4)", "MP4"},
    {nullptr, ""},
    {"Zune Mpeg4 Video (*.mp4)", "MP4"},
    {"Zune WMV Windows Media Video (*.wmv)", "WMV"},
    {nullptr, ""},
    {"PSP Video (*.mp4)", "MP4"},
    {"PS3 Video (*.mp4)", "MP4"},
    {"PS3 Video(480P) (*.mp4)", "MP4"},
    {"PS3 Video(720P) (*.mp4)", "MP4"},
    {"PS3 Video(1080P) (*.mp4)", "MP4"},
    {nullptr, ""},
    {"Archos AV500/GMini402 (*.avi)", "AVI"},
    {"Archos AV700 (*.avi)", "AVI"},
    {"BlackBerry MPEG-4 Video (*.mp4)", "MP4"},
    {"BlackBerry AVI Video (*.avi)", "AVI"},
    {"BlackBerry 3GP Video (*.3gp)", "3GP"},
    {"Creative Zen Vision (*.avi)", "AVI"},
    {"iRiver PMP100 (*.avi)", "AVI"},
};

TEST(CatalogueTest, EveryPositionHoldsItsStoredEntry) {
  const auto Catalogue = OutputFormatCatalogue();
  ASSERT_EQ(Catalogue.size(), std::size(Expected));
  ASSERT_EQ(Catalogue.size(), 62u);
  for (std::size_t Position = 0; Position < Catalogue.size(); ++Position) {
    const TCatalogueEntry &Entry = Catalogue[Position];
    if (Expected[Position].Text == nullptr) {
      EXPECT_STREQ(Entry.Text, SeparatorText) << Position;
      EXPECT_EQ(Entry.Mapping, TJobMapping::None) << Position;
      continue;
    }
    EXPECT_STREQ(Entry.Text, Expected[Position].Text) << Position;
    EXPECT_STREQ(Entry.OutputType, Expected[Position].Type) << Position;
    EXPECT_EQ(FindCatalogueEntry(Entry.Text), &Entry) << Position;
  }
}

TEST(CatalogueTest, SeparatorsAreRecognisedByTheirMarkAnywhere) {
  EXPECT_EQ(std::string(SeparatorText), std::string(14, ' ') + std::string(41, '-'));
  EXPECT_TRUE(IsSeparator(SeparatorText));
  EXPECT_TRUE(IsSeparator("x              ----y"));
  EXPECT_FALSE(IsSeparator("             ----"));  // 13 blanks
  EXPECT_FALSE(IsSeparator("              ---"));  // 3 hyphens
  EXPECT_FALSE(IsSeparator("-----------------------------------------"));
  int Separators = 0;
  for (const TCatalogueEntry &Entry : OutputFormatCatalogue()) {
    EXPECT_EQ(IsSeparator(Entry.Text), Entry.Mapping == TJobMapping::None) << Entry.Text;
    Separators += IsSeparator(Entry.Text);
  }
  EXPECT_EQ(Separators, 8);
  EXPECT_EQ(FindCatalogueEntry(SeparatorText), nullptr);
}

TEST(CatalogueTest, EntriesAreFoundByTheirExactText) {
  EXPECT_EQ(FindCatalogueEntry("mp4 - mpeg4 video (*.mp4)"), nullptr);
  EXPECT_EQ(FindCatalogueEntry("MP4 - MPEG4 Video (*.mp4) "), nullptr);
  EXPECT_EQ(FindCatalogueEntry(""), nullptr);
  std::set<std::string> Texts;
  for (const TCatalogueEntry &Entry : OutputFormatCatalogue())
    if (Entry.Mapping != TJobMapping::None) {
      EXPECT_TRUE(Texts.insert(Entry.Text).second) << Entry.Text;
    }
  EXPECT_EQ(Texts.size(), 54u);
}

// The job mapping family each entry uses.
TEST(CatalogueTest, MappingFamilies) {
  const auto Catalogue = OutputFormatCatalogue();
  for (std::size_t Position = 0; Position < Catalogue.size(); ++Position) {
    TJobMapping Family = TJobMapping::General;
    if (Position <= 1) Family = TJobMapping::Gp3;
    if ((Position >= 29 && Position <= 31) || (Position >= 33 && Position <= 36) ||
        (Position >= 38 && Position <= 40))
      Family = TJobMapping::Device;
    if (IsSeparator(Catalogue[Position].Text)) Family = TJobMapping::None;
    EXPECT_EQ(Catalogue[Position].Mapping, Family) << Catalogue[Position].Text;
  }
}

}  // namespace
