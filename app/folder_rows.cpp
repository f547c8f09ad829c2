// TForm1: the rows added from folders as a batch reaches them. With "Keep subfolders" a row's
// output goes into its subfolder under the output folder, made as the row starts; with "Skip
// files already converted" a row whose expected output already holds its whole conversion ends
// at once without being converted again.

#include <filesystem>
#include <system_error>

#include "app/additional_options.h"
#include "app/converted_output.h"
#include "app/folder_files.h"
#include "app/main_form.h"

std::string TForm1::RowOutputFolder(int Row) const {
  if (Form4 == nullptr || !Form4->CheckBoxKeepFolders) return EditOutputFolder;
  return MirroredFolder(EditOutputFolder, ListView1.Row(Row).SubFolder);
}

bool TForm1::PrepareRowFolder(TJobSlot &Slot) {
  const TJobOutput Output = RowOutput(Slot.Row);
  if (Form4 != nullptr && Form4->CheckBoxSkipConverted &&
      HoldsConversionOf(Output.FileName, ListView1.Row(Slot.Row).Caption)) {
    ListView1.SetCell(Slot.Row, jcProgress, AlreadyConvertedState);
    ListView1.SetOutputFile(Slot.Row, Output.FileName);
    EndFailedJob(Slot, "");
    return false;
  }
  const std::filesystem::path Folder = std::filesystem::path(Output.FileName).parent_path();
  std::error_code Error;
  if (Folder.empty() || std::filesystem::is_directory(Folder, Error)) return true;
  std::filesystem::create_directories(Folder, Error);
  if (!Error) return true;
  ListView1.SetCell(Slot.Row, jcProgress, "Fail");
  EndFailedJob(Slot, "Cannot create the folder \"" + Folder.string() + "\": " + Error.message());
  return false;
}
