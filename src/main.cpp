#include "core/ProgramFolder.h"
#include "core/ProgramGlobals.h"
#include "ui/MainWindow.h"

#include <QApplication>

int main(int argc, char** argv)
{
    velmora::enterProgramFolder();
    // Released at exit, however the program ends.
    velmora::startProgramGlobals();
    QApplication app(argc, argv);
    velmora::MainWindow window;
    window.show();
    return app.exec();
}
