#include "core/ProgramFolder.h"
#include "core/ProgramGlobals.h"
#include "ui/MainWindow.h"
#include "ui/ProgramStart.h"

int main(int argc, char** argv)
{
    velmora::enterProgramFolder();
    // Released at exit, however the program ends.
    velmora::ProgramGlobals& globals = velmora::startProgramGlobals();
    velmora::ProgramStart start(argc, argv);
    velmora::MainWindow window(globals);
    window.show();
    return start.run();
}
