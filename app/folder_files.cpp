#include "app/folder_files.h"

#include <algorithm>
#include <filesystem>

#include "text/text_utils.h"

namespace fs = std::filesystem;

const std::vector<std::string> MediaFileExtensions = {
    "mov", "qt",   "mp4", "m4a",  "m4v",  "3gp", "3g2", "avi", "mkv", "webm",
    "mpg", "mpeg", "vob", "ts",   "m2ts", "flv", "wmv", "asf", "wma", "ogg",
    "ogv", "mp3",  "wav", "flac", "aac",  "ac3", "dv",  "rm"};

namespace {

bool Hidden(const fs::path &Path) {
  return Path.filename().string().starts_with('.');
}

// The folder's media files as paths relative to it.
std::vector<fs::path> FolderMediaFiles(const fs::path &Folder) {
  std::vector<fs::path> Found;
  std::error_code Error;
  fs::recursive_directory_iterator Walk(Folder, fs::directory_options::skip_permission_denied,
                                        Error);
  for (const fs::recursive_directory_iterator End; !Error && Walk != End; Walk.increment(Error)) {
    const fs::directory_entry &Entry = *Walk;
    if (Hidden(Entry.path())) {
      std::error_code Ignored;
      if (Entry.is_directory(Ignored)) Walk.disable_recursion_pending();
      continue;
    }
    std::error_code Ignored;
    if (Entry.is_regular_file(Ignored) && IsMediaFile(Entry.path().string()))
      Found.push_back(Entry.path().lexically_relative(Folder));
  }
  // Compared name by name: "2024/a.mov" comes with the "2024" of its folder, not between
  // names that happen to share its first letters.
  std::sort(Found.begin(), Found.end());
  return Found;
}

}  // namespace

bool IsMediaFile(const std::string &Path) {
  const std::string Extension = fs::path(Path).extension().string();
  if (Extension.size() < 2) return false;
  const std::string Name = LowerCaseText(Extension.substr(1));
  return std::find(MediaFileExtensions.begin(), MediaFileExtensions.end(), Name) !=
         MediaFileExtensions.end();
}

std::vector<TListedFile> ListedFiles(const std::vector<std::string> &Paths) {
  std::vector<TListedFile> Listed;
  for (const std::string &Path : Paths) {
    std::error_code Ignored;
    if (!fs::is_directory(Path, Ignored)) {
      Listed.push_back({Path, ""});
      continue;
    }
    // "media/" and "media" name the same folder; its files are named as the folder was.
    const fs::path Folder = fs::path(Path).lexically_normal();
    for (const fs::path &Relative : FolderMediaFiles(Folder))
      Listed.push_back({(Folder / Relative).string(), Relative.parent_path().string()});
  }
  return Listed;
}

std::string MirroredFolder(const std::string &Folder, const std::string &SubFolder) {
  return SubFolder.empty() ? Folder : (fs::path(Folder) / SubFolder).string();
}
