// The desktop's notification at the end of a batch, through the freedesktop notification
// service on the session bus. Main thread only.
#pragma once

#include <string>

// Sends Summary and Body without waiting for an answer. False (and nothing sent) when there is
// no session bus or no notification service on it.
bool NotifyDesktop(const std::string &Summary, const std::string &Body);
