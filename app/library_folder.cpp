#include "library_folder.h"

#include <filesystem>

namespace {

std::filesystem::path ProgramFolder() {
  std::error_code Error;
  const std::filesystem::path Executable = std::filesystem::read_symlink("/proc/self/exe", Error);
  return Error ? std::filesystem::path() : Executable.parent_path();
}

}  // namespace

std::string ApplicationLibraryFolder() {
  return (ProgramFolder() / "Common Files").string();
}

std::string ApplicationHelpFile() {
  const std::filesystem::path Beside = ProgramFolder() / "help.html";
  const std::filesystem::path Installed =
      ProgramFolder() / ".." / "share" / "tarnwick" / "help.html";
  std::error_code Error;
  if (!std::filesystem::exists(Beside, Error) && std::filesystem::exists(Installed, Error))
    return Installed.lexically_normal().string();
  return Beside.string();
}
