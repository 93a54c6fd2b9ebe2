// qv3: a command-line VST 2.x host for the limiter. `qv3 help` lists the subcommands.
#include "Commands.h"
#include "Errors.h"
#include "Help.h"
#include "Platform.h"
#include "Version.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    std::vector<std::string> arguments = programArguments(argc, argv);
    if (arguments.empty()) {
        printOverview(stderr);
        return 2;
    }
    if (arguments[0] == "help" || arguments[0] == "--help" || arguments[0] == "-h") {
        if (arguments.size() < 2) {
            printOverview(stdout);
            return 0;
        }
        if (printCommandHelp(arguments[1], stdout)) return 0;
        std::fprintf(stderr, "qv3: no command '%s' (qv3 help lists them)\n", arguments[1].c_str());
        return 2;
    }
    if (arguments[0] == "--version") {
        std::printf("qv3 %s\n", QV3_VERSION);
        return 0;
    }
    std::string command = arguments[0];
    arguments.erase(arguments.begin());
    for (const std::string& argument : arguments)
        if ((argument == "--help" || argument == "-h") && printCommandHelp(command, stdout)) return 0;
    try {
        if (command == "info") return runInfo(arguments);
        if (command == "render") return runRender(arguments);
        if (command == "analyze") return runAnalyze(arguments);
        if (command == "demo") return runDemo(arguments);
        throw UsageError("unknown command '" + command + "' (qv3 help lists them)");
    } catch (const UsageError& error) {
        std::fprintf(stderr, "qv3: %s\n", error.what());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "qv3: %s\n", error.what());
        return 1;
    }
}
