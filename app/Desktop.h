#pragma once

// The start-up check that differs between desktops. Each platform has its
// own unit (DesktopLinux.cpp, DesktopWindows.cpp); the build picks one.

#include <QString>

// Why the program cannot show its windows here, in words for the person who
// started it; empty when it can. Asked before the toolkit starts.
QString WhyNoDisplay(const char *program);
