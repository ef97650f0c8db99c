// The program's start: the single-instance lock (a second start restores the running window
// and ends), the automation server's lock, the main window on the bus, the event loop and the
// closing question.
#pragma once

#include <string>
#include <string_view>

namespace ov {

inline constexpr std::string_view AutomationLockName = "OVCalcCOMMutex";

// "OVCalcMutex-" and a suffix naming the session bus: one instance per desktop session (a
// private bus, as the demo and the tests use, is a session of its own).
std::string InstanceLockName(std::string_view sessionBusAddress);

// Runs OV Calc; the process's exit code. Reads no options of its own.
int RunOVCalc(int& argc, char** argv);

}  // namespace ov
