#pragma once

#include <atomic>

namespace velmora {

// The flags of one download run that the buttons, the browser pass and the
// embedded browser share. The counts live with the download engine and the
// failed-chapter counter with the other process-wide objects.
struct JobProgress {
    std::atomic<bool> stopRequested{false};   // set by the stop button, cleared when a run starts
    std::atomic<bool> pauseRequested{false};  // browser mode: set and cleared by the pause button
    std::atomic<bool> pageLoaded{false};      // cleared before each navigation, set when the page has loaded
};

}  // namespace velmora
