// qv3: a command-line VST 2.x host for the limiter. `qv3 help` lists the subcommands.
#include "Commands.h"
#include "Errors.h"
#include "Platform.h"
#include "Version.h"

#include <cstdio>
#include <exception>

namespace {
constexpr const char* kUsage =
    "usage: qv3 info [--plugin PATH]\n"
    "       qv3 render [options] INPUT OUTPUT\n"
    "       qv3 render [options] -o FOLDER INPUT...\n"
    "       qv3 analyze [--jobs N] [--report FILE.json] INPUT...\n"
    "       qv3 demo [--seconds S] OUTPUT\n"
    "       qv3 --version\n"
    "\n"
    "render options (settings apply after the program, in the order given):\n"
    "  --program N|NAME        factory program by index or exact name\n"
    "  --makeup DB             makeup gain, 0 to 48\n"
    "  --ceiling DB            output ceiling, -6 to 0\n"
    "  --release auto:PERCENT  auto release, 0 to 100\n"
    "  --release manual:MS     manual release time, 0.01 to 999.99\n"
    "  --shape soft|2|3|4|hard shape of the gain transitions\n"
    "  --monitor on|bypass     limited signal or the delayed input\n"
    "  --set INDEX=VALUE       raw normalised parameter value, 0 to 1\n"
    "  --block N               frames per processing block (default 512)\n"
    "  --keep-latency          keep the plug-in's delay instead of removing it\n"
    "  --format float|pcm16|pcm24  sample format (default: the input's; 16 bits get TPDF dither)\n"
    "  --plugin PATH           plug-in library (default: the build beside qv3 for the input's channels)\n"
    "  --target-lufs L         choose Makeup (and, if needed, a lower Ceiling) for L LUFS integrated\n"
    "  --true-peak DBTP        highest true peak with --target-lufs (default -1.0)\n"
    "  --album                 with -o and --target-lufs: one setting for all files, taken together\n"
    "  -o FOLDER               write each INPUT under its own name into FOLDER\n"
    "  -n                      never overwrite: an OUTPUT that exists is kept and its INPUT skipped\n"
    "  -y                      overwrite OUTPUTs that exist (the default)\n"
    "  --jobs N                files rendered at once (default: one per processor)\n"
    "  --report FILE.json      measurements and settings of every file as JSON ('-': standard output)\n";
} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments = programArguments(argc, argv);
    if (arguments.empty() || arguments[0] == "help" || arguments[0] == "--help" || arguments[0] == "-h") {
        std::fputs(kUsage, arguments.empty() ? stderr : stdout);
        return arguments.empty() ? 2 : 0;
    }
    if (arguments[0] == "--version") {
        std::printf("qv3 %s\n", QV3_VERSION);
        return 0;
    }
    std::string command = arguments[0];
    arguments.erase(arguments.begin());
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
