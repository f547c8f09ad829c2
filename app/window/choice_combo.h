// A pick-only QComboBox that shows one TChoiceList: its items, its selection and its drop-down
// line count follow the model's OnChange; a pick by the user selects the item in the model and
// then runs OnPick. Main thread only.
#pragma once

#include <QComboBox>
#include <functional>

#include "profiles/choice_list.h"

class TChoiceCombo : public QComboBox {
 public:
  TChoiceCombo(TChoiceList &List, const char *ObjectName, QWidget *Parent = nullptr);
  ~TChoiceCombo() override;

  // Runs after the user picked an item, once the model holds the pick.
  std::function<void()> OnPick;
  // Runs before the list opens, so the model can set the line count it shows.
  std::function<void()> OnDropDown;

  // Shows the model as it is now.
  void Refresh();
  void showPopup() override;

 private:
  void Picked(int Index);

  TChoiceList &FList;
  bool FRefreshing = false;
};
