#include "core/ProgramFolder.h"

int main()
{
    velmora::enterProgramFolder();
    return 0;
}
