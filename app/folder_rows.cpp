// TBatch: the rows added from folders as a batch reaches them. With "Keep subfolders" a row's
// output goes into its subfolder under the output folder, made as the row starts; with "Skip
// files already converted" a row whose expected output already holds its whole conversion ends
// at once without being converted again.

#include <filesystem>
#include <system_error>

#include "app/batch.h"
#include "app/converted_output.h"

bool TBatch::PrepareRowFolder(TJobSlot &Slot, const TJobSettings &Settings) {
  const TJobOutput Output = RowOutput(Slot.Row, Settings);
  if (Settings.SkipConverted && HoldsConversionOf(Output.FileName, FRows.Row(Slot.Row).Caption)) {
    FRows.SetCell(Slot.Row, jcProgress, AlreadyConvertedState);
    FRows.SetOutputFile(Slot.Row, Output.FileName);
    EndFailedJob(Slot, "");
    return false;
  }
  const std::filesystem::path Folder = std::filesystem::path(Output.FileName).parent_path();
  std::error_code Error;
  if (Folder.empty() || std::filesystem::is_directory(Folder, Error)) return true;
  std::filesystem::create_directories(Folder, Error);
  if (!Error) return true;
  FRows.SetCell(Slot.Row, jcProgress, "Fail");
  EndFailedJob(Slot, "Cannot create the folder \"" + Folder.string() + "\": " + Error.message());
  return false;
}
