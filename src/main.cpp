#include "core/ProgramFolder.h"
#include "ui/MainWindow.h"

#include <QApplication>

int main(int argc, char** argv)
{
    velmora::enterProgramFolder();
    QApplication app(argc, argv);
    velmora::MainWindow window;
    window.show();
    return app.exec();
}
