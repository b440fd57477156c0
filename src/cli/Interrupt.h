#pragma once

#include <atomic>

// Ctrl-C for the command line: the first SIGINT only raises a flag, which the
// running command polls and answers like the window's stop button; a second
// one ends the process at once with status 130.
namespace velmora::cli {

inline constexpr int kInterruptedStatus = 130;

// Installs the SIGINT handler. Call once, before any worker thread starts.
void installInterruptHandler();

// Raised by the first SIGINT; doubles as the cancel flag of transfers.
const std::atomic<bool>& interruptFlag();

inline bool interrupted()
{
    return interruptFlag().load();
}

}  // namespace velmora::cli
