// The Additional Options dialog and the about box on screen.

#include "app/window/secondary_forms.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/about_form.h"
#include "app/additional_options.h"

TAdditionalOptionsDialog::TAdditionalOptionsDialog(TForm4 &Form4, QWidget *Parent)
    : QDialog(Parent, Qt::Dialog | Qt::WindowStaysOnTopHint), FForm4(Form4) {
  setObjectName("Form4");
  setWindowTitle("Additional Options");
  setModal(false);

  FOverWrite = new QCheckBox("Overwrite Existing File With The Same Name", this);
  FOverWrite->setObjectName("CheckBoxOverWrite");
  FCopyStreams = new QCheckBox("Copy streams that already fit", this);
  FCopyStreams->setObjectName("CheckBoxCopyStreams");
  for (const TSourceSwitch &Switch : SourceSwitches) {
    auto *Box = new QCheckBox(Switch.Caption, this);
    Box->setObjectName(Switch.Name);
    connect(Box, &QCheckBox::toggled, this, [this, &Switch](bool Checked) {
      if (!FRefreshing) FForm4.SetSourceSwitch(Switch.Box, Checked);
    });
    FSourceSwitches.push_back(Box);
  }
  FDropDownItems = new QSpinBox(this);
  FDropDownItems->setObjectName("SpinEdit1");
  FDropDownItems->setRange(TForm4::SpinEdit1Min, TForm4::SpinEdit1Max);
  auto *SpinLabel = new QLabel(" Drop Down Items in Output Format List", this);
  SpinLabel->setBuddy(FDropDownItems);
  FJobs = new QSpinBox(this);
  FJobs->setObjectName("SpinEditJobs");
  FJobs->setRange(1, TForm4::SpinEditJobsMax());
  auto *JobsLabel = new QLabel(" Simultaneous conversions", this);
  JobsLabel->setBuddy(FJobs);
  FAutoJobs = new QCheckBox("Automatic (one per processor core)", this);
  FAutoJobs->setObjectName("CheckBoxAutoJobs");
  auto *Done = new QPushButton("Done", this);
  Done->setObjectName("Button1");
  Done->setDefault(true);

  auto *SpinRow = new QHBoxLayout;
  SpinRow->addWidget(FDropDownItems);
  SpinRow->addWidget(SpinLabel, 1);
  auto *JobsRow = new QHBoxLayout;
  JobsRow->addWidget(FJobs);
  JobsRow->addWidget(JobsLabel);
  JobsRow->addWidget(FAutoJobs, 1);
  auto *Buttons = new QHBoxLayout;
  Buttons->addStretch(1);
  Buttons->addWidget(Done);
  auto *Layout = new QVBoxLayout(this);
  Layout->addWidget(FOverWrite);
  Layout->addWidget(FCopyStreams);
  for (QCheckBox *Box : FSourceSwitches) Layout->addWidget(Box);
  Layout->addLayout(SpinRow);
  Layout->addLayout(JobsRow);
  // Added folders.
  FKeepFolders = new QCheckBox("Keep subfolders in the output folder", this);
  FKeepFolders->setObjectName("CheckBoxKeepFolders");
  FSkipConverted = new QCheckBox("Skip files already converted", this);
  FSkipConverted->setObjectName("CheckBoxSkipConverted");
  Layout->addWidget(FKeepFolders);
  Layout->addWidget(FSkipConverted);
  connect(FKeepFolders, &QCheckBox::toggled, this, [this](bool Checked) {
    if (!FRefreshing) FForm4.SetCheckBoxKeepFolders(Checked);
  });
  connect(FSkipConverted, &QCheckBox::toggled, this, [this](bool Checked) {
    if (!FRefreshing) FForm4.SetCheckBoxSkipConverted(Checked);
  });
  Layout->addSpacing(8);
  Layout->addLayout(Buttons);
  Layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(FOverWrite, &QCheckBox::toggled, this, [this](bool Checked) {
    if (!FRefreshing) FForm4.SetCheckBoxOverWrite(Checked);
  });
  connect(FCopyStreams, &QCheckBox::toggled, this, [this](bool Checked) {
    if (!FRefreshing) FForm4.SetCheckBoxCopyStreams(Checked);
  });
  connect(FDropDownItems, &QSpinBox::valueChanged, this, [this](int Value) {
    if (!FRefreshing) FForm4.SetSpinEdit1(Value);
  });
  connect(FJobs, &QSpinBox::valueChanged, this, [this](int Value) {
    if (!FRefreshing) FForm4.SetSpinEditJobs(Value);
  });
  connect(FAutoJobs, &QCheckBox::toggled, this, [this](bool Checked) {
    if (!FRefreshing) FForm4.SetCheckBoxAutoJobs(Checked);
  });
  connect(Done, &QPushButton::clicked, this, [this] { FForm4.Button1Click(); });
  FForm4.OnChange = [this] { Refresh(); };
  FForm4.OnClose = [this] { hide(); };
  UseVistaFont(*this);
  Refresh();
}

TAdditionalOptionsDialog::~TAdditionalOptionsDialog() {
  FForm4.OnChange = nullptr;
  FForm4.OnClose = nullptr;
}

void TAdditionalOptionsDialog::ShowOver(QWidget *Window) {
  Refresh();
  adjustSize();
  if (Window) move(Window->frameGeometry().center() - rect().center());
  show();
  raise();
  activateWindow();
}

void TAdditionalOptionsDialog::Refresh() {
  FRefreshing = true;
  FOverWrite->setChecked(FForm4.CheckBoxOverWrite);
  FCopyStreams->setChecked(FForm4.CheckBoxCopyStreams);
  for (size_t Index = 0; Index < FSourceSwitches.size(); ++Index)
    FSourceSwitches[Index]->setChecked(FForm4.*SourceSwitches[Index].Box);
  FDropDownItems->setValue(FForm4.SpinEdit1);
  FJobs->setValue(FForm4.SpinEditJobs);
  FJobs->setEnabled(!FForm4.CheckBoxAutoJobs);
  FAutoJobs->setChecked(FForm4.CheckBoxAutoJobs);
  FKeepFolders->setChecked(FForm4.CheckBoxKeepFolders);
  FSkipConverted->setChecked(FForm4.CheckBoxSkipConverted);
  FRefreshing = false;
}

TAboutBox::TAboutBox(QWidget *Parent) : QDialog(Parent) {
  setObjectName("FormAbout");
  setWindowTitle(TFormAbout::Caption);
  setModal(true);

  auto *Product = new QLabel(TFormAbout::ProductName, this);
  Product->setObjectName("ProductName");
  QFont Large = Product->font();
  Large.setPointSizeF(Large.pointSizeF() * 1.6);
  Large.setBold(true);
  Product->setFont(Large);
  auto *Version = new QLabel(TFormAbout::Version, this);
  Version->setObjectName("Version");
  auto *Description = new QLabel(TFormAbout::Description, this);
  Description->setObjectName("Comments");
  Description->setWordWrap(true);
  Description->setMinimumWidth(Description->fontMetrics().averageCharWidth() * 44);
  auto *Copyright = new QLabel(TFormAbout::Copyright, this);
  Copyright->setObjectName("Copyright");
  auto *Buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  Buttons->button(QDialogButtonBox::Ok)->setObjectName("OKButton");
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto *Layout = new QVBoxLayout(this);
  Layout->addWidget(Product);
  Layout->addWidget(Version);
  Layout->addSpacing(6);
  Layout->addWidget(Description);
  Layout->addWidget(Copyright);
  Layout->addSpacing(6);
  Layout->addWidget(Buttons);
  Layout->setSizeConstraint(QLayout::SetFixedSize);
  UseVistaFont(*this);
}

void UseVistaFont(QWidget &Widget) {
  static const QString Family = "Segoe UI";
  QFont Font = Widget.font();
  if (Font.family().compare(Family, Qt::CaseInsensitive) == 0) return;
  if (!QFontDatabase::families().contains(Family, Qt::CaseInsensitive)) return;
  Font.setFamily(Family);
  if (Font.pointSizeF() > 0) Font.setPointSizeF(Font.pointSizeF() + 1);
  Widget.setFont(Font);
}
