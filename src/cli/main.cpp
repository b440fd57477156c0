// velmora-cli: the download flow of the window program for the terminal and
// for scripts. See `velmora-cli --help` and the README's "Command line".
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/RuleCommands.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    using namespace velmora::cli;
    installInterruptHandler();
    const std::vector<std::string> words(argv + 1, argv + argc);
    try {
        if (const std::optional<int> status = runRuleCommand(words, stdout, stderr)) {
            return *status;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-cli: %s\n", e.what());
        return kRefused;
    }
    const ParsedArguments parsed = parseArguments(words);
    if (!parsed.arguments) {
        std::fprintf(stderr, "velmora-cli: %s\n", parsed.error.c_str());
        return kRefused;
    }
    const Arguments& arguments = *parsed.arguments;
    try {
        switch (arguments.command) {
        case Command::help:
            std::fputs(helpText(), stdout);
            std::fputs(ruleCommandsHelp(), stdout);
            return 0;
        case Command::version:
            std::puts("velmora-cli " VELMORA_VERSION);
            return 0;
        case Command::get:
            return runGet(arguments, stdout, stderr);
        case Command::list:
            return runList(arguments, stdout, stderr);
        case Command::rules:
            return runRules(arguments, stdout, stderr);
        case Command::update:
            return runUpdate(arguments, stdout, stderr);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-cli: %s\n", e.what());
    }
    return kRefused;
}
