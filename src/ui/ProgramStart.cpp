#include "ui/ProgramStart.h"

#include "core/EventPump.h"
#include "ui/PageBrowser.h"

#include <QLoggingCategory>

namespace velmora {

ProgramStart::WebEnginePrepared::WebEnginePrepared(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The engine prints its start-up settings on every run, and pages their
    // script console: noise in the terminal a user started Velmora from.
    // QT_LOGGING_RULES still turns them back on.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\njs=false"));
    applySandboxOption(argc, argv);
}

ProgramStart::ProgramStart(int& argc, char** argv) : prepared_(argc, argv), application_(argc, argv)
{
    setEventPump([] { QCoreApplication::processEvents(); });
}

int ProgramStart::run()
{
    const int code = QApplication::exec();
    setEventPump(nullptr);
    return code;
}

ProgramStart::~ProgramStart()
{
    setEventPump(nullptr);
}

}  // namespace velmora
