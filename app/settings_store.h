// Where the user's few settings live: the key "Brimvale/Tarnwick" of the user's QSettings, or
// a file of the caller's choice (tests never touch the user's own settings). Reads throw
// ESettingsError for a value that is missing or of the wrong type, as a first run has them.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

class QSettings;
struct TOpenDialogMemory;

class ESettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What Read gives, or nothing when the settings lack that value (a file saved before it existed).
template <typename TRead>
auto TryRead(TRead &&Read) -> std::optional<decltype(Read())> {
  try {
    return Read();
  } catch (const ESettingsError &) {
    return std::nullopt;
  }
}

class TSettingsStore {
 public:
  virtual ~TSettingsStore() = default;
  virtual std::string ReadString(const std::string &Name) = 0;
  virtual int ReadInteger(const std::string &Name) = 0;
  virtual bool ReadBool(const std::string &Name) = 0;
  virtual void WriteString(const std::string &Name, const std::string &Value) = 0;
  virtual void WriteInteger(const std::string &Name, int Value) = 0;
  virtual void WriteBool(const std::string &Name, bool Value) = 0;
  // Writes are on disk once this returns; throws ESettingsError when they could not be.
  virtual void Flush() = 0;
};

class TQSettingsStore : public TSettingsStore {
 public:
  // Without a file: QSettings("Brimvale", "Tarnwick"); with one: that INI file.
  explicit TQSettingsStore(const std::optional<std::string> &FilePath = std::nullopt);
  ~TQSettingsStore() override;

  std::string ReadString(const std::string &Name) override;
  int ReadInteger(const std::string &Name) override;
  bool ReadBool(const std::string &Name) override;
  void WriteString(const std::string &Name, const std::string &Value) override;
  void WriteInteger(const std::string &Name, int Value) override;
  void WriteBool(const std::string &Name, bool Value) override;
  void Flush() override;

 private:
  std::unique_ptr<QSettings> FSettings;
};

// Settings that live only as long as the object: for runs that must not touch the user's.
class TMemorySettingsStore : public TSettingsStore {
 public:
  std::string ReadString(const std::string &Name) override { return Read<std::string>(Name); }
  int ReadInteger(const std::string &Name) override { return Read<int>(Name); }
  bool ReadBool(const std::string &Name) override { return Read<bool>(Name); }
  void WriteString(const std::string &Name, const std::string &Value) override {
    FValues[Name] = Value;
  }
  void WriteInteger(const std::string &Name, int Value) override { FValues[Name] = Value; }
  void WriteBool(const std::string &Name, bool Value) override { FValues[Name] = Value; }
  void Flush() override {}

 private:
  template <typename T>
  T Read(const std::string &Name) const {
    const auto Found = FValues.find(Name);
    if (Found == FValues.end() || !std::holds_alternative<T>(Found->second))
      throw ESettingsError("Settings value \"" + Name + "\" is missing or of another type");
    return std::get<T>(Found->second);
  }

  std::map<std::string, std::variant<std::string, int, bool>> FValues;
};

// The open dialog's folder and filter, kept as "Open Folder" and "Open Filter"; empty when
// never saved.
TOpenDialogMemory ReadOpenDialogMemory(TSettingsStore &Store);
// Written at once: a window that closes later rewrites only its own values. Errors are ignored:
// the dialog then starts where it did before.
void WriteOpenDialogMemory(TSettingsStore &Store, const TOpenDialogMemory &Memory);
