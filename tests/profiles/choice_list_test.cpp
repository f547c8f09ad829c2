// The pick-list model: selection rules and change notification.

#include "profiles/choice_list.h"

#include <gtest/gtest.h>

namespace {

constexpr const char *Rates[] = {"Auto", "PAL", "NTSC"};

TEST(ChoiceListTest, SelectionAndCurrentText) {
  TChoiceList List;
  EXPECT_EQ(List.ItemIndex(), TChoiceList::NoSelection);
  EXPECT_EQ(List.Text(), "");
  List.Assign(Rates, 2);
  EXPECT_EQ(List.Text(), "NTSC");
  EXPECT_EQ(List.IndexOf("PAL"), 1);
  EXPECT_EQ(List.IndexOf("pal"), TChoiceList::NoSelection);  // exact comparison
  EXPECT_TRUE(List.SelectText("Auto"));
  EXPECT_EQ(List.ItemIndex(), 0);
  EXPECT_FALSE(List.SelectText("SECAM"));
  EXPECT_EQ(List.Text(), "Auto");
  List.SetItemIndex(TChoiceList::NoSelection);
  EXPECT_EQ(List.Text(), "");
  List.Clear();
  EXPECT_EQ(List.Count(), 0);
  EXPECT_EQ(List.ItemIndex(), TChoiceList::NoSelection);
}

// A position outside the list (a stale stored position, a profile asking for more items than
// it filled) must not leave a selection pointing past the items.
TEST(ChoiceListTest, PositionsOutsideTheListChangeNothing) {
  TChoiceList List;
  List.Assign(Rates, 1);
  for (int Position : {3, 20, -2}) {
    List.SetItemIndex(Position);
    EXPECT_EQ(List.ItemIndex(), 1) << Position;
  }
  List.Assign(Rates, 7);
  EXPECT_EQ(List.ItemIndex(), TChoiceList::NoSelection);
  EXPECT_EQ(List.Text(), "");
}

TEST(ChoiceListTest, ViewsAreToldOfEveryChangeOnly) {
  TChoiceList List;
  int Notices = 0;
  List.OnChange = [&] { ++Notices; };
  List.Clear();  // already empty
  EXPECT_EQ(Notices, 0);
  List.Assign(Rates, 0);  // one notice for a whole refill
  EXPECT_EQ(Notices, 1);
  List.SetItemIndex(0);  // same selection
  EXPECT_EQ(Notices, 1);
  List.SetItemIndex(2);
  List.Add("SECAM");
  List.SetDropDownCount(25);
  List.SetDropDownCount(25);
  EXPECT_EQ(Notices, 4);
  EXPECT_EQ(List.DropDownCount(), 25);
  List.Clear();
  EXPECT_EQ(Notices, 5);
}

}  // namespace
