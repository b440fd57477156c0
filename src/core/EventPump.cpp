#include "core/EventPump.h"

#include <atomic>

namespace velmora {

namespace {
std::atomic<EventPumpRoutine> installedPump{nullptr};
}

void setEventPump(EventPumpRoutine routine)
{
    installedPump.store(routine);
}

void pumpEvents()
{
    if (const EventPumpRoutine routine = installedPump.load()) {
        routine();
    }
}

}  // namespace velmora
