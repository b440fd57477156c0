#pragma once

#include <QApplication>

namespace velmora {

// The start of a process that shows Velmora's windows: the window program, the
// window tests and the window benchmarks each make exactly one, on the thread
// that will run the windows, before any widget. In the order Qt requires:
//   1. the web engine's preparation, which must precede the application
//      object: shared OpenGL contexts, the engine's start-up and page console
//      logging silenced (QT_LOGGING_RULES still wins), and --no-sandbox on the
//      command line turning the engine's sandbox off (applySandboxOption);
//   2. the application object, given `argc` and `argv` (it removes the Qt
//      options it reads); both must outlive this object;
//   3. the event pump, so code below the window layer that waits on the
//      window thread keeps the windows painting (pumpEvents).
// Nothing else is decided here: whether the sandbox may stay on (browser mode
// refuses to start as root with it on) is asked when the engine is first
// needed, so an environment set before this object still counts.
// Ending it removes the event pump (if run has not), then the application
// object; every widget must be gone by then.
class ProgramStart {
public:
    ProgramStart(int& argc, char** argv);
    ~ProgramStart();

    ProgramStart(const ProgramStart&) = delete;
    ProgramStart& operator=(const ProgramStart&) = delete;

    QApplication& application() { return application_; }

    // Runs the event loop until the program quits and returns its exit code.
    // The event pump goes with the loop, so windows torn down afterwards
    // process no more events while they end.
    int run();

private:
    // Runs the first step before application_ is made.
    struct WebEnginePrepared {
        WebEnginePrepared(int argc, char** argv);
    };

    WebEnginePrepared prepared_;
    QApplication application_;
};

}  // namespace velmora
