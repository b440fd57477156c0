#include "core/ProgramFolder.h"
#include "rules/RuleStore.h"

int main()
{
    velmora::enterProgramFolder();
    velmora::RuleStore().ensureRulesFile();
    return 0;
}
