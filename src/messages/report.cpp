#include "messages/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "messages/catalogue.h"

thread_local ReporterState* tReporter = nullptr;

namespace {

constexpr int kTextCapacity = 1024;

const VarnMessage* TableOf(int moduleIndex) {
    switch (moduleIndex) {
        case kModulePictor:
            return varnerrmsg_pictor;
        case kModuleCommon:
            return varnerrmsg_varn;
        default:
            return nullptr;
    }
}

}  // namespace

const char* LookupMessage(int code) {
    const VarnMessage* table = TableOf(tReporter->moduleIndex);
    if (table == nullptr) return nullptr;
    for (const VarnMessage* m = table; m->code != -1; ++m) {
        if (m->code == code) return m->format;
    }
    return nullptr;
}

int BindErrorText(char* buffer, int moduleIndex) {
    tReporter->errorText = buffer;
    if (buffer != nullptr) buffer[0] = '\0';
    tReporter->moduleIndex = kModuleCommon;
    const char* heading = LookupMessage(4);
    if (heading != nullptr) {
        // The heading keeps its conversion for the code; expanding it here
        // without arguments must not consume one, so it is copied as is.
        std::snprintf(tReporter->heading, sizeof tReporter->heading, "%s", heading);
        tReporter->moduleIndex = moduleIndex;
        return 1;
    }
    std::snprintf(tReporter->heading, sizeof tReporter->heading, "%s",
                  VARNERRMSG_CANT_FIND_MESSAGE);
    return 0;
}

int ReportError(int code, ...) {
    char* text = tReporter->errorText;
    const char* format = LookupMessage(code);
    if (format == nullptr) {
        if (text != nullptr)
            std::snprintf(text, kTextCapacity, "%s\n", VARNERRMSG_CANT_FIND_MESSAGE);
        return 0;
    }
    if (text == nullptr) return 1;
    char head[kTextCapacity];
    char body[kTextCapacity];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(head, sizeof head, tReporter->heading, code);
    va_list args;
    va_start(args, code);
    std::vsnprintf(body, sizeof body, format, args);
    va_end(args);
#pragma GCC diagnostic pop
    size_t used = std::strlen(text);
    size_t headLength = std::strlen(head);
    size_t bodyLength = std::strlen(body);
    if (used + bodyLength + headLength + 1 < kTextCapacity) {
        char* at = text + used;
        std::memcpy(at, head, headLength);
        std::memcpy(at + headLength, body, bodyLength);
        at[headLength + bodyLength] = '\n';
        at[headLength + bodyLength + 1] = '\0';
    }
    return 1;
}

int SeverityOf(int condition, int /*detail*/) {
    switch (condition) {
        case 10:
        case 100:
        case 1000:
            return 2;
        case 20:
        case 140:
            return 1;
        default:
            return 0;
    }
}
