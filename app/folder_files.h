// The files a folder holds for the job list: its media files, found through every subfolder, in
// name order, each with the subfolder it sits in, so that an output folder can mirror the tree.
// Toolkit-free, so the window and the command line add folders alike.
#pragma once

#include <string>
#include <vector>

// The extensions, lower case without the dot, of the files taken from a folder and offered by
// the open dialog's "All media files".
extern const std::vector<std::string> MediaFileExtensions;

// Whether Path's extension is one of MediaFileExtensions, in any case.
bool IsMediaFile(const std::string &Path);

struct TListedFile {
  std::string File;
  // The folder File sits in under the folder that was added ("2024/june"); empty for a file
  // given by itself or at the top of the added folder.
  std::string SubFolder;
};

// Files stay as they are, whatever their extension (a file chosen by its name is the user's
// choice); each folder becomes its media files, hidden files and folders left out. Folder links
// are not followed, so a link back up the tree cannot make a loop; an unreadable subfolder is
// passed over.
std::vector<TListedFile> ListedFiles(const std::vector<std::string> &Paths);

// Folder with SubFolder under it, as outputs of mirrored subfolders go.
std::string MirroredFolder(const std::string &Folder, const std::string &SubFolder);
