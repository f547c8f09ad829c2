// The switches of what a job keeps of its input: on in a settings file saved before they
// existed, read and written under their own keys.

#include <gtest/gtest.h>

#include <QSettings>

#include "tests/app/model_test_support.h"

namespace {

TEST(KeptSourceSettingsTest, EachSwitchIsOnByDefaultAndStoredWithTheSettings) {
  TTempFolder Folder("kept-source-settings");
  const std::string File = Folder.File("Tarnwick.ini");
  const struct {
    const char *Stored;  // null: a file written before the switch existed
    bool Want;
  } Cases[] = {{nullptr, true}, {"false", false}, {"true", true}};
  for (const TSourceSwitch &Switch : SourceSwitches)
    for (const auto &Case : Cases) {
      const std::string Label =
          std::string(Switch.Key) + ": " + (Case.Stored ? Case.Stored : "not stored");
      WriteSettingsFile(File, Folder.Path(), 30, 0, Switch.Key,
                        Case.Stored ? QVariant(Case.Stored) : QVariant());
      TQSettingsStore Store(File), Stored(File);
      TStartedForm Started(&Store);
      for (const TSourceSwitch &Other : SourceSwitches)
        EXPECT_EQ(Started.Options.*Other.Box, &Other == &Switch ? Case.Want : true) << Label;
      Started.Options.SetSourceSwitch(Switch.Box, !Case.Want);
      ASSERT_TRUE(Started.Form.FormCloseQuery());
      Started.Form.FormClose();
      EXPECT_EQ(Stored.ReadBool(Switch.Key), !Case.Want) << Label;
    }
}

}  // namespace
