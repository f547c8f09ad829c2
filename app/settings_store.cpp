// The user's settings in QSettings or in a file of the caller's choice.

#include "app/settings_store.h"

#include <QSettings>

#include "app/dialogs.h"

namespace {

QString Key(const std::string &Name) {
  return QString::fromStdString(Name);
}

[[noreturn]] void Missing(const std::string &Name, const char *Type) {
  throw ESettingsError("Settings value \"" + Name + "\" is missing or not " + Type);
}

}  // namespace

TQSettingsStore::TQSettingsStore(const std::optional<std::string> &FilePath)
    : FSettings(FilePath ? std::make_unique<QSettings>(QString::fromStdString(*FilePath),
                                                       QSettings::IniFormat)
                         : std::make_unique<QSettings>("Brimvale", "Tarnwick")) {}

TQSettingsStore::~TQSettingsStore() = default;

std::string TQSettingsStore::ReadString(const std::string &Name) {
  const QVariant Value = FSettings->value(Key(Name));
  if (!Value.isValid() || Value.typeId() != QMetaType::QString) Missing(Name, "a text");
  return Value.toString().toStdString();
}

int TQSettingsStore::ReadInteger(const std::string &Name) {
  // An INI file keeps numbers as text: a value counts as an integer when all of it is one.
  const QVariant Value = FSettings->value(Key(Name));
  bool Ok = false;
  const int Result = Value.typeId() == QMetaType::QString ? Value.toString().toInt(&Ok)
                     : Value.typeId() == QMetaType::Int   ? (Ok = true, Value.toInt())
                                                          : 0;
  if (!Ok) Missing(Name, "an integer");
  return Result;
}

bool TQSettingsStore::ReadBool(const std::string &Name) {
  const QVariant Value = FSettings->value(Key(Name));
  if (Value.typeId() == QMetaType::Bool) return Value.toBool();
  const QString Text = Value.typeId() == QMetaType::QString ? Value.toString() : QString();
  if (Text == "true" || Text == "1") return true;
  if (Text == "false" || Text == "0") return false;
  Missing(Name, "a Boolean");
}

void TQSettingsStore::WriteString(const std::string &Name, const std::string &Value) {
  FSettings->setValue(Key(Name), QString::fromStdString(Value));
}

void TQSettingsStore::WriteInteger(const std::string &Name, int Value) {
  FSettings->setValue(Key(Name), Value);
}

void TQSettingsStore::WriteBool(const std::string &Name, bool Value) {
  FSettings->setValue(Key(Name), Value);
}

void TQSettingsStore::Flush() {
  FSettings->sync();
  if (FSettings->status() != QSettings::NoError)
    throw ESettingsError("Settings could not be written to " + FSettings->fileName().toStdString());
}

TOpenDialogMemory ReadOpenDialogMemory(TSettingsStore &Store) {
  TOpenDialogMemory Memory;
  Memory.Folder = TryRead([&Store] { return Store.ReadString("Open Folder"); }).value_or("");
  Memory.Filter = TryRead([&Store] { return Store.ReadString("Open Filter"); }).value_or("");
  return Memory;
}

void WriteOpenDialogMemory(TSettingsStore &Store, const TOpenDialogMemory &Memory) {
  try {
    Store.WriteString("Open Folder", Memory.Folder);
    Store.WriteString("Open Filter", Memory.Filter);
    Store.Flush();
  } catch (const ESettingsError &) {
  }
}
