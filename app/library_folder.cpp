#include "library_folder.h"

#include <filesystem>

std::string ApplicationLibraryFolder() {
  std::error_code Error;
  const std::filesystem::path Executable = std::filesystem::read_symlink("/proc/self/exe", Error);
  if (Error) return "Common Files";
  return (Executable.parent_path() / "Common Files").string();
}
