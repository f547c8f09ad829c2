// Where the application looks for its own copy of the media libraries: the folder
// "Common Files" beside the executable. Libraries not found there come from the system.
#pragma once

#include <string>

std::string ApplicationLibraryFolder();

// help.html beside the program (a build folder) or in the installed data folder.
std::string ApplicationHelpFile();
