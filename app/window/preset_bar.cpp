// The preset list's widgets.

#include "app/window/preset_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <functional>

#include "app/presets_list.h"
#include "app/window/choice_combo.h"

TPresetBar::TPresetBar(TPresetList &Presets, QWidget *Parent) : QWidget(Parent), FPresets(Presets) {
  setObjectName("PresetBar");
  auto *Layout = new QHBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  FCombo = new TChoiceCombo(Presets.ComboPresets, "ComboPresets");
  FCombo->setMinimumContentsLength(10);
  FCombo->setPlaceholderText("No preset chosen");
  FCombo->setAccessibleName("Presets");
  FCombo->OnDropDown = [this] { Reload(); };
  FCombo->OnPick = [this] { FPresets.ComboPresetsChange(); };
  auto *Label = new QLabel("Pre&set:");
  Label->setBuddy(FCombo);

  auto *Button = new QToolButton;
  Button->setObjectName("ButtonPresets");
  Button->setText("Presets");
  Button->setPopupMode(QToolButton::InstantPopup);
  auto *Menu = new QMenu(Button);
  Menu->setObjectName("PresetMenu");
  auto Item = [this, Menu](const char *Caption, const char *Name, void (TPresetList::*Run)()) {
    QAction *Action = Menu->addAction(Caption);
    Action->setObjectName(Name);
    connect(Action, &QAction::triggered, this, [this, Run] { std::invoke(Run, FPresets); });
  };
  Item("&Save as preset...", "SaveAsPreset1", &TPresetList::SaveAsPresetClick);
  Item("&Rename Preset...", "RenamePreset1", &TPresetList::RenamePresetClick);
  Item("&Delete Preset", "DeletePreset1", &TPresetList::DeletePresetClick);
  Menu->addSeparator();
  Item("&Import Presets...", "ImportPresets1", &TPresetList::ImportPresetsClick);
  Item("&Export This Preset...", "ExportPreset1", &TPresetList::ExportPresetClick);
  Item("Export &All Presets...", "ExportAllPresets1", &TPresetList::ExportAllPresetsClick);
  connect(Menu, &QMenu::aboutToShow, this, [this] { Reload(); });
  Button->setMenu(Menu);

  Layout->addWidget(Label);
  Layout->addWidget(FCombo, 1);
  Layout->addWidget(Button);
  Reload();
}

void TPresetBar::Reload() {
  FPresets.Reload();
  FCombo->setToolTip(QString::fromStdString(
      FPresets.Problem.empty() ? "Your own settings, saved with Presets > Save as preset..."
                               : FPresets.Problem));
}
