// A QComboBox showing one choice list.

#include "app/window/choice_combo.h"

#include <QStandardItemModel>

#include "profiles/catalogue.h"

TChoiceCombo::TChoiceCombo(TChoiceList &List, const char *ObjectName, QWidget *Parent)
    : QComboBox(Parent), FList(List) {
  setObjectName(ObjectName);
  setEditable(false);
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(8);
  // The menu-like pop-up of some styles ignores the line count the model asks for.
  setStyleSheet("QComboBox { combobox-popup: 0; }");
  connect(this, &QComboBox::activated, this, &TChoiceCombo::Picked);
  FList.OnChange = [this] { Refresh(); };
  Refresh();
}

TChoiceCombo::~TChoiceCombo() {
  FList.OnChange = nullptr;
}

void TChoiceCombo::Refresh() {
  FRefreshing = true;
  bool SameItems = count() == FList.Count();
  for (int Index = 0; SameItems && Index < count(); ++Index)
    SameItems = itemText(Index).toStdString() == FList.Items()[Index];
  if (!SameItems) {
    clear();
    for (const std::string &Text : FList.Items()) addItem(QString::fromStdString(Text));
    // Separator lines of the format list are there to be seen, not picked.
    if (auto *Items = qobject_cast<QStandardItemModel *>(model()))
      for (int Index = 0; Index < count(); ++Index)
        if (IsSeparator(FList.Items()[Index])) Items->item(Index)->setEnabled(false);
  }
  setCurrentIndex(FList.ItemIndex());
  setMaxVisibleItems(std::max(1, FList.DropDownCount()));
  FRefreshing = false;
}

void TChoiceCombo::showPopup() {
  if (OnDropDown) OnDropDown();
  QComboBox::showPopup();
}

void TChoiceCombo::Picked(int Index) {
  if (FRefreshing) return;
  FList.SetItemIndex(Index);
  if (OnPick) OnPick();
}
