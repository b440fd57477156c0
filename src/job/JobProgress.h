#pragma once

#include <atomic>

namespace velmora {

// The state of one download run that the buttons, the workers and the
// embedded browser share. The failed-chapter count lives with the other
// process-wide objects.
struct JobProgress {
    int doneCount = 0;                       // chapters saved this run; changed only under the progress lock
    std::atomic<bool> stopRequested{false};  // set by the stop button, cleared when a run starts
    std::atomic<bool> pauseRequested{false}; // browser mode: set and cleared by the pause button
    std::atomic<bool> pageLoaded{false};     // cleared before each navigation, set when the page has loaded
};

} // namespace velmora
