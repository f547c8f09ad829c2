// The batch journal's file: JSON through QtCore, written whole (atomic_file.h).

#include "app/batch_journal.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/atomic_file.h"
#include "app/converted_output.h"
#include "app/job_list.h"

namespace fs = std::filesystem;

namespace {

constexpr char JournalKind[] = "tarnwick batch";

QString Text(const std::string &Value) {
  return QString::fromStdString(Value);
}

std::string Text(const QJsonValue &Value) {
  return Value.toString().toStdString();
}

QByteArray JournalJson(const TBatchJournal &Journal) {
  QJsonObject Picks;
  for (const auto &[List, Selected] : Journal.Picks) Picks[Text(List)] = Text(Selected);
  QJsonArray Rows;
  for (const TJournalRow &Row : Journal.Rows)
    Rows.append(QJsonObject{{"file", Text(Row.File)},
                            {"checked", Row.Checked},
                            {"state", Text(Row.State)},
                            {"output", Text(Row.Output)},
                            {"video_size", Text(Row.VideoSize)},
                            {"frame_rate", Text(Row.FrameRate)},
                            {"duration", Text(Row.Duration)},
                            {"sub_folder", Text(Row.SubFolder)}});
  const QJsonObject Root{{"journal", JournalKind},
                         {"version", BatchJournalVersion},
                         {"entry", Text(Journal.Entry)},
                         {"picks", Picks},
                         {"output_folder", Text(Journal.OutputFolder)},
                         {"overwrite", Journal.Overwrite},
                         {"copy_streams", Journal.CopyStreams},
                         {"volume", Journal.Volume},
                         {"rows", Rows}};
  return QJsonDocument(Root).toJson(QJsonDocument::Indented);
}

// Empty when Root is a journal of this version, else why it is not.
std::string JournalProblem(const QJsonDocument &Document) {
  if (!Document.isObject()) return "it is not a batch journal";
  const QJsonObject Root = Document.object();
  if (Root["journal"].toString() != JournalKind) return "it is not a batch journal";
  if (!Root["version"].isDouble()) return "it has no version";
  const int Version = Root["version"].toInt();
  if (Version != BatchJournalVersion)
    return "it is of version " + std::to_string(Version) + ", this program reads version " +
           std::to_string(BatchJournalVersion);
  if (!Root["rows"].isArray()) return "it has no rows";
  return {};
}

TBatchJournal JournalOf(const QJsonObject &Root) {
  TBatchJournal Journal;
  Journal.Entry = Text(Root["entry"]);
  const QJsonObject Picks = Root["picks"].toObject();
  for (auto Pick = Picks.begin(); Pick != Picks.end(); ++Pick)
    Journal.Picks.emplace_back(Pick.key().toStdString(), Text(Pick.value()));
  Journal.OutputFolder = Text(Root["output_folder"]);
  Journal.Overwrite = Root["overwrite"].toBool();
  Journal.CopyStreams = Root["copy_streams"].toBool(true);
  Journal.Volume = Root["volume"].toInt(HundredPercentStep);
  for (const QJsonValue &Value : Root["rows"].toArray()) {
    const QJsonObject Row = Value.toObject();
    Journal.Rows.push_back({Text(Row["file"]), Row["checked"].toBool(true), Text(Row["state"]),
                            Text(Row["output"]), Text(Row["video_size"]), Text(Row["frame_rate"]),
                            Text(Row["duration"]), Text(Row["sub_folder"])});
  }
  return Journal;
}

}  // namespace

std::vector<TJournalRow> JournalRows(const TJobList &Rows) {
  std::vector<TJournalRow> Result;
  for (int Index = 0; Index < Rows.Count(); ++Index) {
    const TJobRow &Row = Rows.Row(Index);
    const std::string &Cell = Row.SubItems[jcProgress];
    TJournalRow Journal{Row.Caption,
                        Row.Checked,
                        "Waiting",
                        Row.OutputFile,
                        Row.SubItems[jcVideoSize],
                        Row.SubItems[jcFrameRate],
                        Row.SubItems[jcDuration],
                        Row.SubFolder};
    if (Cell == "Done" || Cell == "Fail" || Cell == "Abort")
      Journal.State = Cell;
    else if (Cell == AlreadyConvertedState)
      Journal.State = "Done";  // its output is whole: nothing to convert again
    else if (Cell.ends_with("%") || !Row.OutputFile.empty())
      Journal.State = "Converting";
    Result.push_back(std::move(Journal));
  }
  return Result;
}

bool WriteBatchJournal(const std::string &Path, const TBatchJournal &Journal, std::string &Error) {
  return WriteFileAtomically(Path, JournalJson(Journal).toStdString(), Error);
}

TJournalRead ReadBatchJournal(const std::string &Path) {
  TJournalRead Result;
  std::ifstream Stream(Path, std::ios::binary);
  if (!Stream) return Result;
  std::ostringstream Bytes;
  Bytes << Stream.rdbuf();
  const std::string Content = Bytes.str();
  QJsonParseError Parse{};
  const QJsonDocument Document = QJsonDocument::fromJson(
      QByteArray(Content.data(), static_cast<qsizetype>(Content.size())), &Parse);
  std::string Problem = Parse.error != QJsonParseError::NoError
                            ? "it cannot be read (" + Parse.errorString().toStdString() + ")"
                            : JournalProblem(Document);
  if (Problem.empty()) {
    Result.Outcome = TJournalOutcome::Read;
    Result.Journal = JournalOf(Document.object());
    return Result;
  }
  // Kept for whoever wants to look, out of the way of the next journal.
  const std::string Aside = Path + ".unreadable";
  std::error_code Failed;
  fs::rename(Path, Aside, Failed);
  Result.Outcome = TJournalOutcome::SetAside;
  Result.Message = "The batch journal " + Path + " was set aside" + (Failed ? "" : " as " + Aside) +
                   ": " + Problem + ".";
  return Result;
}

bool JournalRowConverted(const TJournalRow &Row, bool Overwrite) {
  std::error_code Ignored;
  if (Row.Output.empty() || !fs::is_regular_file(Row.Output, Ignored)) return false;
  return Row.State == "Done" || (Row.State == "Converting" && !Overwrite);
}
