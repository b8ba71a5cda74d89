// Command-line pieces the subcommands share.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli.h"

int UsageError(const std::string& message) {
    std::fprintf(stderr, "pictor: %s\nTry 'pictor --help' for the ways to call it.\n",
                 message.c_str());
    return kExitUsage;
}

int TakeValue(ArgCursor* args, const char* name, std::string* value) {
    const char* arg = args->argv[args->next];
    size_t length = std::strlen(name);
    if (std::strncmp(arg, name, length) != 0) return 0;
    if (arg[length] == '=') {
        *value = arg + length + 1;
        args->next += 1;
        return 1;
    }
    if (arg[length] != '\0') return 0;
    if (args->next + 1 >= args->argc) {
        UsageError(std::string(name) + " needs a value");
        return -1;
    }
    *value = args->argv[args->next + 1];
    args->next += 2;
    return 1;
}

int TakeJobFlag(ArgCursor* args, JobFlags* flags) {
    const std::string arg = args->argv[args->next];
    if (arg == "--extended") {
        flags->extendedAnalysis = 1;
    } else if (arg == "--progressive-still") {
        flags->progressiveStill = 1;
    } else if (arg == "--quiet" || arg == "-q") {
        flags->quiet = true;
    } else {
        std::string levels;
        int taken = TakeValue(args, "--levels", &levels);
        if (taken <= 0) return taken;
        if (levels == "video") {
            flags->levelMode = 0;
        } else if (levels == "full") {
            flags->levelMode = 2;
        } else if (levels == "full-wide") {
            flags->levelMode = 1;
        } else {
            UsageError("--levels takes video, full or full-wide, not '" + levels + "'");
            return -1;
        }
        return 1;
    }
    args->next += 1;
    return 1;
}

std::string StemOf(const std::string& jobFilePath) {
    size_t cut = jobFilePath.find(".tp");
    return cut == std::string::npos ? jobFilePath : jobFilePath.substr(0, cut);
}

long long ReadJobTarget(const std::string& jobFilePath) {
    FILE* in = std::fopen(jobFilePath.c_str(), "r");
    if (in == nullptr) return -1;
    char line[256];
    long long target = -1;
    while (target < 0 && std::fgets(line, sizeof line, in) != nullptr) {
        char* hash = std::strchr(line, '#');
        if (hash != nullptr) *hash = '\0';
        char key[256], value[256];
        int words = std::sscanf(line, "%255s %255s", key, value);
        if (words >= 1 && std::strcmp(key, "TARGET_SIZE") == 0) {
            target = words == 2 ? std::strtoll(value, nullptr, 10) : 0;
            if (target < 0) target = 0;
        }
    }
    std::fclose(in);
    return target;
}
