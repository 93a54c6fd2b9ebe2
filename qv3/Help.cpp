#include "Help.h"

#include "Platform.h"
#include "PluginHost.h"

#include <exception>

namespace {
constexpr const char* kOverview = "usage: qv3 info [--plugin PATH]\n"
                                  "       qv3 render [options] INPUT OUTPUT\n"
                                  "       qv3 render [options] -o FOLDER INPUT...\n"
                                  "       qv3 analyze [options] INPUT...\n"
                                  "       qv3 demo [--seconds S] OUTPUT\n"
                                  "       qv3 --version\n"
                                  "\n"
                                  "qv3 help COMMAND or qv3 COMMAND --help shows a command's options.\n";

constexpr const char* kInfo =
    "usage: qv3 info [--plugin PATH]\n"
    "names, ID, latency, parameters with their texts, and programs of the plug-in\n"
    "  --plugin PATH           plug-in library (default: the stereo build beside qv3)\n";

constexpr const char* kRender =
    "usage: qv3 render [options] INPUT OUTPUT\n"
    "       qv3 render [options] -o FOLDER INPUT...\n"
    "INPUT or OUTPUT '-' is standard input or output: a WAV stream, or with --raw headerless samples.\n"
    "\n"
    "options (settings apply after the program, in the order given):\n"
    "  --program N|NAME        factory program by index or exact name (listed below)\n"
    "  --makeup DB             makeup gain, 0 to 48\n"
    "  --ceiling DB            output ceiling, -6 to 0\n"
    "  --release auto:PERCENT  auto release, 0 to 100\n"
    "  --release manual:MS     manual release time, 0.01 to 999.99\n"
    "  --shape soft|2|3|4|hard shape of the gain transitions\n"
    "  --monitor on|bypass     limited signal or the delayed input\n"
    "  --set INDEX=VALUE       raw normalised parameter value, 0 to 1\n"
    "  --block N               frames per processing block (default 512)\n"
    "  --keep-latency          keep the plug-in's delay instead of removing it\n"
    "  --strict                refuse an INPUT that holds less audio than its header promises\n"
    "                          (by default it is rendered as far as it goes, with a warning)\n"
    "  --format float|pcm16|pcm24  sample format (default: the input's; 16 bits get TPDF dither)\n"
    "  --quality Q             lossy outputs (.ogg, .opus, .mp3): 0 (smallest) to 1 (best)\n"
    "  --raw RATE:CHANNELS:ENC '-' carries headerless little-endian samples, as 44100:2:pcm16\n"
    "                          (ENC float, pcm16 or pcm24); a '-' OUTPUT streams them as they are made\n"
    "The OUTPUT's extension chooses its format: .wav .aif(f) .flac .caf .w64 .rf64 .au .ogg .opus .mp3.\n"
    "The INPUT's tags are written to the OUTPUT.\n"
    "  --write-tags            ReplayGain 2 tags of the result (and of the album with --album) in the\n"
    "                          OUTPUT's tags: .flac, .ogg, .opus (as R128 gains) and .mp3 only\n"
    "  --plugin PATH           plug-in library (default: the build beside qv3 for the input's channels)\n"
    "  --target-lufs L         choose Makeup (and, if needed, a lower Ceiling) for L LUFS integrated\n"
    "  --true-peak DBTP        highest true peak (default -1.0 with --target-lufs; alone, it lowers the\n"
    "                          Ceiling just enough, keeping the Makeup)\n"
    "  --album                 with -o and --target-lufs: one setting for all files, taken together\n"
    "  -o FOLDER               write each INPUT under its own name into FOLDER\n"
    "  -n                      never overwrite: an OUTPUT that exists is kept and its INPUT skipped\n"
    "  -y                      overwrite OUTPUTs that exist (the default)\n"
    "  --jobs N                files rendered at once (default: one per processor)\n"
    "  --report FILE.json      measurements and settings of every file as JSON ('-': standard output);\n"
    "                          FILE.html: one page with the summary table and every file's picture\n"
    "  --plot FILE.png|.svg    a picture of the file: waveforms, gain reduction, short-term loudness,\n"
    "                          true-peak overs; with -o, one beside each output (song.wav.png)\n";

constexpr const char* kAnalyze =
    "usage: qv3 analyze [options] INPUT...\n"
    "sample peak, true peak, integrated loudness and loudness range of each file and of all together;\n"
    "INPUT '-' is standard input (a pipe works as a file does)\n"
    "  --jobs N                files measured at once (default: one per processor)\n"
    "  --report FILE.json      the measurements as JSON ('-': standard output); FILE.html: one page\n"
    "                          with the table and every file's picture\n"
    "  --plot FILE.png|.svg    a picture of the file's waveform and short-term loudness; for several\n"
    "                          files one each, named after them (levels.png: levels-song.wav.png)\n"
    "  --raw RATE:CHANNELS:ENC standard input holds headerless little-endian samples, as 44100:2:pcm16\n";

constexpr const char* kDemo = "usage: qv3 demo [--seconds S] OUTPUT\n"
                              "generated music to try the limiter on\n"
                              "  --seconds S             length in seconds, up to 3600 (default 8)\n";

// The factory programs of the stereo plug-in beside qv3; nothing when it does not load.
void printPrograms(std::FILE* to) {
    try {
        PluginHost host(executableDirectory() / pluginFileName("Orvanta_QV3"));
        std::fprintf(to, "\nprograms:\n");
        for (std::int32_t index = 0; index < host.programCount(); ++index)
            std::fprintf(to, "  %2d  %s\n", index, host.programName(index).c_str());
    } catch (const std::exception&) {
        // Help shows what it can; `qv3 info` reports why the plug-in does not load.
    }
}
} // namespace

void printOverview(std::FILE* to) { std::fputs(kOverview, to); }

bool printCommandHelp(const std::string& command, std::FILE* to) {
    if (command == "info")
        std::fputs(kInfo, to);
    else if (command == "render")
        std::fputs(kRender, to);
    else if (command == "analyze")
        std::fputs(kAnalyze, to);
    else if (command == "demo")
        std::fputs(kDemo, to);
    else
        return false;
    if (command == "render") printPrograms(to);
    return true;
}
