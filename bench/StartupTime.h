// Start-up time: from the moment a copy of the program is started to the moment
// its main window is shown (before the creation handler's one-second wait).
#pragma once

#include <string>

inline constexpr const char* StartupChildMode = "startup-child";

// CLOCK_MONOTONIC in nanoseconds; comparable between processes.
long long StartupClockNs();

// Starts this executable several times in the child mode on a private agent
// and prints the times; 0 when every copy reported.
int StartupBench(const std::string& lptwdmio);

// The child: brings the two windows up like the program does, prints the times
// since it was spawned to main() and to the main window's show, then ends.
int StartupChild(int argc, char** argv, long long mainNs);
