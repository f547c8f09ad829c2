// What ties the window to the desktop: the program's icon (from the icon theme, else the
// copy built into the program) and the files named on the command line, which a file
// manager's "Open With" passes as paths or file URLs. Main thread only.
#pragma once

#include <QIcon>
#include <QStringList>
#include <string>
#include <vector>

// The name the desktop file, the icon and the metainfo share.
inline constexpr char DesktopAppId[] = "example.brimvale.Tarnwick";

QIcon TarnwickIcon();

// The files among the arguments after the program's name, as absolute paths in their order;
// "--" ends the options, other words starting with "-" are not files.
std::vector<std::string> CommandLineFiles(const QStringList &Arguments);
