// The desktop's notification at the end of a batch, through the freedesktop notification
// service on the session bus. Main thread only.
#pragma once

#include <string>

class QDBusConnection;

// Sends Summary and Body without waiting for an answer. False (and nothing sent) when there is
// no session bus, or no notification service runs on it and none can be started on demand.
bool NotifyDesktop(const std::string &Summary, const std::string &Body);
// The same on a bus of the caller's choice.
bool NotifyDesktop(const QDBusConnection &Bus, const std::string &Summary, const std::string &Body);
