// The presets file: JSON through QtCore, read strictly (all or nothing), changed under flock
// and written whole (atomic_file.h); and presets taken from and applied to the window's lists.

#include "app/presets.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/additional_options.h"
#include "app/atomic_file.h"
#include "app/job_rules.h"
#include "app/main_form.h"
#include "profiles/catalogue.h"
#include "profiles/format_settings.h"
#include "text/text_utils.h"

namespace fs = std::filesystem;

namespace {

constexpr char PresetsKind[] = "tarnwick";

QString Text(const std::string &Value) {
  return QString::fromStdString(Value);
}

std::string Quoted(const std::string &Name) {
  return "\"" + Name + "\"";
}

QJsonObject PresetJson(const TPreset &Preset) {
  QJsonObject Picks, Options;
  for (const auto &[List, Selected] : Preset.Picks) Picks[Text(List)] = Text(Selected);
  for (const auto &[Key, On] : Preset.Options) Options[Text(Key)] = On;
  return {{"name", Text(Preset.Name)},
          {"entry", Text(Preset.Entry)},
          {"picks", Picks},
          {"volume", Preset.Volume},
          {"options", Options}};
}

// The preset of Item, or why Item is not one; Position counts from 1 for the message.
std::string PresetOfJson(const QJsonValue &Item, size_t Position, TPreset &Preset) {
  const std::string Which = "item " + std::to_string(Position);
  if (!Item.isObject()) return Which + " is not a preset";
  const QJsonObject Object = Item.toObject();
  if (!Object["name"].isString() || TrimmedText(Object["name"].toString().toStdString()).empty())
    return Which + " has no name";
  Preset.Name = TrimmedText(Object["name"].toString().toStdString());
  if (!Object["entry"].isString() || Object["entry"].toString().isEmpty())
    return "the preset " + Quoted(Preset.Name) + " has no format list entry";
  Preset.Entry = Object["entry"].toString().toStdString();
  const QJsonObject Picks = Object["picks"].toObject();
  for (auto Pick = Picks.begin(); Pick != Picks.end(); ++Pick)
    if (Pick.value().isString())
      Preset.Picks.emplace_back(Pick.key().toStdString(), Pick.value().toString().toStdString());
  if (Object.contains("volume")) {
    const QJsonValue Volume = Object["volume"];
    const double Position = Volume.toDouble(-1);
    if (!Volume.isDouble() || Position != static_cast<int>(Position) || Position < 0 ||
        Position >= VolumeStepCount)
      return "the preset " + Quoted(Preset.Name) + " has a volume other than 0 to 10";
    Preset.Volume = static_cast<int>(Position);
  }
  const QJsonObject Options = Object["options"].toObject();
  for (const TPresetOption &Option : PresetOptions())
    if (Options[Text(Option.Key)].isBool())
      Preset.Options[Option.Key] = Options[Text(Option.Key)].toBool();
  return {};
}

// The presets of Bytes, or why they are not a presets file this version reads.
TPresetFile ParsePresets(const QByteArray &Bytes) {
  TPresetFile Result;
  QJsonParseError Parse{};
  const QJsonDocument Document = QJsonDocument::fromJson(Bytes, &Parse);
  if (Parse.error != QJsonParseError::NoError) {
    Result.Problem = "it is not JSON (" + Parse.errorString().toStdString() + ")";
    return Result;
  }
  const QJsonObject Root = Document.object();
  if (!Document.isObject() || Root["presets"].toString() != PresetsKind) {
    Result.Problem = "it is not a Tarnwick presets file";
    return Result;
  }
  const int Version = Root["version"].toInt(0);
  if (Version < 1 || Version > PresetFileVersion) {
    Result.Problem = "it is of version " + std::to_string(Version) +
                     ", this program reads versions 1 to " + std::to_string(PresetFileVersion);
    return Result;
  }
  if (!Root["items"].isArray()) {
    Result.Problem = "it has no list of presets";
    return Result;
  }
  for (const QJsonValue &Item : Root["items"].toArray()) {
    TPreset Preset;
    Result.Problem = PresetOfJson(Item, Result.Items.size() + 1, Preset);
    if (!Result.Problem.empty()) {
      Result.Items.clear();
      return Result;
    }
    if (FindPreset(Result.Items, Preset.Name)) {
      Result.Problem = "it has two presets named " + Quoted(Preset.Name);
      Result.Items.clear();
      return Result;
    }
    Result.Items.push_back(std::move(Preset));
  }
  Result.Read = true;
  return Result;
}

std::string FileProblem(const std::string &Path, const std::string &Problem) {
  return "The presets file " + Path + " cannot be used: " + Problem + ".";
}

// flock() on a file beside the presets: held from the reading to the rename, it is what keeps
// two writers from each writing their own copy of an older file.
class TPresetLock {
 public:
  explicit TPresetLock(const std::string &Path) {
    std::error_code Ignored;
    const fs::path Target(Path);
    if (Target.has_parent_path()) fs::create_directories(Target.parent_path(), Ignored);
    const std::string Lock = Path + ".lock";
    FFile = open(Lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (FFile < 0) {
      FError = Lock + ": " + std::strerror(errno);
      return;
    }
    while (flock(FFile, LOCK_EX) != 0)
      if (errno != EINTR) {
        FError = Lock + ": " + std::strerror(errno);
        return;
      }
  }
  ~TPresetLock() {
    if (FFile >= 0) close(FFile);  // closing lets go of the lock
  }
  TPresetLock(const TPresetLock &) = delete;
  TPresetLock &operator=(const TPresetLock &) = delete;
  const std::string &Error() const { return FError; }

 private:
  int FFile = -1;
  std::string FError;
};

std::vector<TPreset>::iterator Named(std::vector<TPreset> &Presets, const std::string &Name) {
  return std::find_if(Presets.begin(), Presets.end(),
                      [&Name](const TPreset &Preset) { return Preset.Name == Name; });
}

std::string NoPreset(const std::string &Name) {
  return "There is no preset named " + Quoted(Name) + ".";
}

}  // namespace

const std::vector<TPresetOption> &PresetOptions() {
  static const std::vector<TPresetOption> Options = [] {
    std::vector<TPresetOption> Result{{"CopyStreams", &TForm4::CheckBoxCopyStreams}};
    for (const TSourceSwitch &Switch : SourceSwitches) Result.push_back({Switch.Key, Switch.Box});
    return Result;
  }();
  return Options;
}

bool PresetOption(const TPreset &Preset, bool TForm4::*Box) {
  for (const TPresetOption &Option : PresetOptions())
    if (Option.Box == Box) {
      const auto On = Preset.Options.find(Option.Key);
      return On == Preset.Options.end() || On->second;
    }
  return true;
}

std::string PresetsPath() {
  const char *Config = std::getenv("XDG_CONFIG_HOME");
  fs::path Folder;
  if (Config != nullptr && *Config == '/') {
    Folder = Config;
  } else {
    const char *Home = std::getenv("HOME");
    if (Home == nullptr || *Home == '\0') return {};
    Folder = fs::path(Home) / ".config";
  }
  // Beside the settings, which QSettings keeps in Brimvale/Tarnwick.conf.
  return (Folder / "Brimvale" / "tarnwick-presets.json").string();
}

TPresetFile ReadPresetFile(const std::string &Path) {
  std::error_code Failed;
  std::ifstream Stream(Path, std::ios::binary);
  if (!Stream || !fs::is_regular_file(Path, Failed)) {
    TPresetFile Missing;
    Missing.Missing = !fs::exists(Path, Failed);
    Missing.Problem = Missing.Missing                      ? "it does not exist"
                      : !fs::is_regular_file(Path, Failed) ? "it is not a file"
                                                           : "it cannot be read";
    return Missing;
  }
  std::ostringstream Bytes;
  Bytes << Stream.rdbuf();
  const std::string Content = Bytes.str();
  return ParsePresets(QByteArray(Content.data(), static_cast<qsizetype>(Content.size())));
}

std::string PresetFileJson(const std::vector<TPreset> &Presets) {
  QJsonArray Items;
  for (const TPreset &Preset : Presets) Items.append(PresetJson(Preset));
  const QJsonObject Root{
      {"presets", PresetsKind}, {"version", PresetFileVersion}, {"items", Items}};
  return QJsonDocument(Root).toJson(QJsonDocument::Indented).toStdString();
}

const TPreset *FindPreset(const std::vector<TPreset> &Presets, const std::string &Name) {
  for (const TPreset &Preset : Presets)
    if (Preset.Name == Name) return &Preset;
  return nullptr;
}

bool TPresetStore::Load(std::vector<TPreset> &Presets, std::string &Problem) const {
  TPresetFile File = ReadPresetFile(FPath);
  Presets = std::move(File.Items);
  if (File.Read || File.Missing) return true;
  Problem = FileProblem(FPath, File.Problem);
  return false;
}

std::string TPresetStore::Change(const std::function<std::string(std::vector<TPreset> &)> &Edit) {
  if (FPath.empty()) return "There is no folder for presets (HOME is not set).";
  TPresetLock Lock(FPath);
  if (!Lock.Error().empty()) return "The presets cannot be locked: " + Lock.Error();
  std::vector<TPreset> Presets;
  std::string Problem;
  if (!Load(Presets, Problem)) return Problem;
  Problem = Edit(Presets);
  if (!Problem.empty()) return Problem;
  std::string Error;
  if (!WriteFileAtomically(FPath, PresetFileJson(Presets), Error))
    return "The presets could not be written: " + Error;
  return {};
}

std::string TPresetStore::Save(const TPreset &Preset, bool Replace) {
  return Change([&](std::vector<TPreset> &Presets) -> std::string {
    const auto Same = Named(Presets, Preset.Name);
    if (Same == Presets.end())
      Presets.push_back(Preset);
    else if (Replace)
      *Same = Preset;
    else
      return "A preset named " + Quoted(Preset.Name) + " already exists.";
    return {};
  });
}

std::string TPresetStore::Rename(const std::string &From, const std::string &To) {
  return Change([&](std::vector<TPreset> &Presets) -> std::string {
    const auto Preset = Named(Presets, From);
    if (Preset == Presets.end()) return NoPreset(From);
    if (From != To && Named(Presets, To) != Presets.end())
      return "A preset named " + Quoted(To) + " already exists.";
    Preset->Name = To;
    return {};
  });
}

std::string TPresetStore::Delete(const std::string &Name) {
  return Change([&](std::vector<TPreset> &Presets) -> std::string {
    const auto Preset = Named(Presets, Name);
    if (Preset == Presets.end()) return NoPreset(Name);
    Presets.erase(Preset);
    return {};
  });
}

std::string TPresetStore::Import(const std::string &File, std::vector<std::string> &Imported) {
  Imported.clear();
  const TPresetFile Read = ReadPresetFile(File);
  if (!Read.Read) return "Nothing was imported from " + File + ": " + Read.Problem + ".";
  const std::string Problem = Change([&Read](std::vector<TPreset> &Presets) -> std::string {
    for (const TPreset &Preset : Read.Items) {
      const auto Same = Named(Presets, Preset.Name);
      if (Same == Presets.end())
        Presets.push_back(Preset);
      else
        *Same = Preset;
    }
    return {};
  });
  if (Problem.empty())
    for (const TPreset &Preset : Read.Items) Imported.push_back(Preset.Name);
  return Problem;
}

std::string TPresetStore::Export(const std::string &File,
                                 const std::vector<std::string> &Names) const {
  std::vector<TPreset> Presets, Chosen;
  std::string Problem;
  if (!Load(Presets, Problem)) return Problem;
  for (const std::string &Name : Names) {
    const TPreset *Preset = FindPreset(Presets, Name);
    if (Preset == nullptr) return NoPreset(Name);
    Chosen.push_back(*Preset);
  }
  if (Names.empty()) Chosen = Presets;
  if (Chosen.empty()) return "There are no presets to export.";
  std::string Error;
  if (!WriteNewFileAtomically(File, PresetFileJson(Chosen), Error))
    return "The presets could not be exported: " + Error;
  return {};
}

TPreset PresetOf(const TFormatSettings &Formats, const std::string &Name) {
  TPreset Preset;
  Preset.Name = Name;
  Preset.Entry = Formats.ComboOutputFormat.Text();
  for (const TSettingsListName &List : SettingsListNames)
    if (!(Formats.*List.List).Text().empty())
      Preset.Picks.emplace_back(List.Name, (Formats.*List.List).Text());
  return Preset;
}

std::vector<std::string> ApplyPresetLists(TFormatSettings &Formats, const TPreset &Preset) {
  const int Entry = Formats.ComboOutputFormat.IndexOf(Preset.Entry);
  if (Entry < 0 || IsSeparator(Preset.Entry))
    return {"the format list has no entry " + Quoted(Preset.Entry) +
            " any more (the entry's settings were left out too)"};
  Formats.ComboOutputFormat.SetItemIndex(Entry);
  Formats.ComboOutputFormatChange();
  std::vector<std::string> Missed;
  for (const auto &[Name, Selected] : Preset.Picks) {
    TChoiceList *List = FindSettingsList(Formats, Name);
    if (List == nullptr)
      Missed.push_back("there is no settings list " + Name + " any more");
    else if (!List->SelectText(Selected))
      Missed.push_back(Name + " has no item " + Quoted(Selected) + " for this entry");
  }
  return Missed;
}

TPreset PresetOf(const TForm1 &Form1, const std::string &Name) {
  TPreset Preset = PresetOf(static_cast<const TFormatSettings &>(Form1), Name);
  Preset.Volume = Form1.TrackBar1;
  if (Form1.Form4 != nullptr)
    for (const TPresetOption &Option : PresetOptions())
      Preset.Options[Option.Key] = Form1.Form4->*Option.Box;
  return Preset;
}

std::vector<std::string> ApplyPreset(TForm1 &Form1, const TPreset &Preset) {
  std::vector<std::string> Missed = ApplyPresetLists(Form1, Preset);
  Form1.SetTrackBar1(Preset.Volume);
  if (Form1.Form4 != nullptr)
    for (const TPresetOption &Option : PresetOptions())
      Form1.Form4->SetSourceSwitch(Option.Box, PresetOption(Preset, Option.Box));
  return Missed;
}
