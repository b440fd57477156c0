#include "cli/Interrupt.h"

#include <csignal>
#include <unistd.h>

namespace velmora::cli {

namespace {

std::atomic<bool> flag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

void onInterrupt(int)
{
    if (flag.exchange(true)) {
        ::_exit(kInterruptedStatus);
    }
    constexpr char kNotice[] = "\nStopping: running chapters finish, queued ones are dropped (Ctrl-C again quits "
                               "at once)\n";
    const ssize_t written = ::write(STDERR_FILENO, kNotice, sizeof kNotice - 1);
    (void)written;
}

}  // namespace

void installInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
}

const std::atomic<bool>& interruptFlag()
{
    return flag;
}

}  // namespace velmora::cli
