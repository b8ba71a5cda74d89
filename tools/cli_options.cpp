// The command line read by the table of options.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli_command_line.h"
#include "cli_help.h"
#include "cli_option_table.h"
#include "cli_options.h"

namespace {

// The option `arg` names ("--name", "--name=value", "-x", "-xvalue"), or nullptr;
// `attached` gets a value given in the same argument.
const Option* FindOption(const char* arg, const char** attached) {
    *attached = nullptr;
    for (const Option& option : Options()) {
        const size_t length = std::strlen(option.name);
        if (std::strncmp(arg, option.name, length) == 0) {
            if (arg[length] == '\0') return &option;
            if (arg[length] == '=' && option.value != nullptr) {
                *attached = arg + length + 1;
                return &option;
            }
        }
        if (option.letter != 0 && arg[0] == '-' && arg[1] == option.letter) {
            if (arg[2] == '\0') return &option;
            if (option.value != nullptr) {
                *attached = arg + 2;
                return &option;
            }
        }
    }
    return nullptr;
}

const char* CommandName(Command command) {
    return command == Command::kRun ? "run" : command == Command::kEncode ? "encode" : "pictor";
}

unsigned CommandBit(Command command) {
    return command == Command::kRun ? kRun : command == Command::kEncode ? kEncode : 0;
}

// Everything encode needs that the command line lacks, named together so that one run shows
// them all; "" when nothing is missing.
std::string MissingForEncode(const CommandLine& line) {
    const EncodeSettings& e = line.encode;
    std::vector<std::string> missing;
    if (line.inputs.empty()) missing.push_back("a picture");
    if (line.output.empty() && line.outDir.empty())
        missing.push_back("-o OUT or --out-dir DIR for the stream");
    if (!e.targetGiven) missing.push_back("--target BITS (160000 to 1800000)");
    if (e.standard.empty()) missing.push_back("--standard pal or ntsc");
    if (e.aspect.empty()) missing.push_back("--aspect 4:3 or 16:9");
    std::string text;
    for (const std::string& item : missing) text += (text.empty() ? "" : "; ") + item;
    return text;
}

// Checks what a subcommand needs once every argument has been read.
std::string Complete(CommandLine* line) {
    if (line->help || line->version) return "";
    const bool streamOut = line->stream == "-" || line->output == "-";
    if (streamOut && line->json == "-")
        return "standard output cannot carry both the stream and the JSON summary";
    if (!line->preview.empty() && line->inputs.size() > 1)
        return "--preview takes one input; a batch has no single picture to preview";
    if (line->command == Command::kRun) {
        if (line->inputs.empty()) return "run needs a job parameter file";
        if (line->inputs.size() > 1 && !line->stream.empty())
            return "--stream takes one job parameter file; several write beside theirs";
        return "";
    }
    EncodeSettings& e = line->encode;
    if (!line->output.empty() && !line->outDir.empty()) return "encode takes -o or --out-dir";
    if (line->inputs.size() > 1 && !line->output.empty())
        return "-o takes one picture; --out-dir DIR takes several";
    const std::string missing = MissingForEncode(*line);
    if (!missing.empty()) return "encode needs " + missing;
    if (e.panScan && e.aspect != "16:9") return "--pan-scan needs --aspect 16:9";
    return "";
}

}  // namespace

int UsageError(const std::string& message) {
    std::fprintf(stderr, "pictor: %s\nTry 'pictor --help' for the ways to call it.\n",
                 message.c_str());
    return kExitUsage;
}

int ParseCommandLine(int argc, char** argv, CommandLine* line) {
    int next = 1;
    if (argc > 1 && std::strcmp(argv[1], "run") == 0) line->command = Command::kRun;
    if (argc > 1 && std::strcmp(argv[1], "encode") == 0) line->command = Command::kEncode;
    if (line->command != Command::kNone) next = 2;
    if (argc > 1 && std::strcmp(argv[1], "help") == 0) {
        line->help = true;
        next = 2;
    }
    bool optionsEnd = false;
    for (; next < argc; ++next) {
        const char* arg = argv[next];
        if (optionsEnd || arg[0] != '-' || arg[1] == '\0') {
            if (line->command == Command::kNone)
                return UsageError(std::string("unknown command '") + arg + "'");
            line->inputs.push_back(arg);
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            optionsEnd = true;
            continue;
        }
        const char* value = nullptr;
        const Option* option = FindOption(arg, &value);
        if (option == nullptr || (option->commands & (CommandBit(line->command) | kGeneral)) == 0)
            return UsageError(std::string(CommandName(line->command)) + ": unknown option '" + arg +
                              "'");
        if (option->value != nullptr && value == nullptr) {
            if (next + 1 >= argc) return UsageError(std::string(option->name) + " needs a value");
            value = argv[++next];
        }
        const std::string wrong = option->apply(line, value != nullptr ? value : "");
        if (!wrong.empty()) return UsageError(wrong);
    }
    if (line->command == Command::kNone && !line->help && !line->version) {
        PrintHelp(stderr);
        return kExitUsage;
    }
    const std::string missing = Complete(line);
    return missing.empty() ? 0 : UsageError(missing);
}
