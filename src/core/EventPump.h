#pragma once

namespace velmora {

// Processes the calling thread's pending window events. Code below the user
// interface calls pumpEvents() while it waits on the window thread, so the
// window keeps repainting; the interface installs the routine that does the
// work. Until one is installed (or after nullptr is installed) it does nothing.
using EventPumpRoutine = void (*)();

void setEventPump(EventPumpRoutine routine);
void pumpEvents();

}  // namespace velmora
