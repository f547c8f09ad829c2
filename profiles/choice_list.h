// The model behind every pick list of the main window: ordered item texts, a selected
// position (or none) and the current text. Toolkit-free; a window shows it and listens to
// OnChange.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

class TChoiceList {
 public:
  static constexpr int NoSelection = -1;

  const std::vector<std::string> &Items() const { return FItems; }
  int Count() const { return static_cast<int>(FItems.size()); }
  int ItemIndex() const { return FItemIndex; }
  // The selected item's text; empty when nothing is selected.
  std::string Text() const;
  // Position of the first item equal to Text, or NoSelection.
  int IndexOf(const std::string &Text) const;

  void Clear();
  void Add(const std::string &Text);
  // Replaces every item at once and selects Selected (NoSelection for none).
  void Assign(std::span<const char *const> NewItems, int Selected);
  void Assign(const std::vector<std::string> &NewItems, int Selected);
  // NoSelection deselects. A position the list does not have changes nothing, so a stale
  // or mistaken position can never leave a selection that points past the items.
  void SetItemIndex(int Position);
  // Selects the first item equal to Text; false (and no change) when there is none.
  bool SelectText(const std::string &Text);

  int DropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(int Lines);

  // Views refresh on it: called after the items, the selection or the drop-down line count
  // changed, whether by code or by the user. It is not the user's pick event. Main thread.
  std::function<void()> OnChange;

 private:
  void Changed();

  std::vector<std::string> FItems;
  int FItemIndex = NoSelection;
  int FDropDownCount = 8;
};
