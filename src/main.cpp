#include "core/EventPump.h"
#include "core/ProgramFolder.h"
#include "core/ProgramGlobals.h"
#include "ui/MainWindow.h"
#include "ui/PageBrowser.h"

#include <QApplication>

int main(int argc, char** argv)
{
    velmora::enterProgramFolder();
    // Released at exit, however the program ends.
    velmora::ProgramGlobals& globals = velmora::startProgramGlobals();
    velmora::prepareWebEngine(argc, argv);
    QApplication app(argc, argv);
    velmora::setEventPump([] { QCoreApplication::processEvents(); });
    velmora::MainWindow window(globals);
    window.show();
    const int code = app.exec();
    velmora::setEventPump(nullptr);
    return code;
}
