// Error text of the running job: one line per reported problem.
#ifndef PICTOR_MESSAGES_REPORT_H
#define PICTOR_MESSAGES_REPORT_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "messages/codes.h"

enum {
    kModulePictor = 0,
    kModuleNone = 7,
    kModuleCommon = 8,
};

// Where the lines go and which table the codes are looked up in.
struct ReporterState {
    char* errorText;      // the job's buffer, at least 1024 bytes
    int32_t moduleIndex;  // 0 this library, 8 the common table, 7 none
    char heading[100];    // one integer conversion, receives the code
};
extern thread_local ReporterState* tReporter;

// Starts a job's error text and rewrites the whole reporter record, so binding is the
// reporter's reset. 1 when the heading was found, 0 when not. Reporting never fails a job:
// the results of this and of ReportError only say which texts were found, and callers may
// leave them unread.
int BindErrorText(char* buffer, int moduleIndex);
// Appends one line; 1 when the code has a text, 0 when the fallback was used.
int ReportError(int code, ...);

// The argument kinds of `code` in the message list; null for a code it lacks.
constexpr const char* ArgumentKindsOf(int code) {
#define PICTOR_MESSAGE_KINDS(name, number, text, kinds) \
    if (code == (number)) return kinds;
    PICTOR_MESSAGES(PICTOR_MESSAGE_KINDS)
#undef PICTOR_MESSAGE_KINDS
    return nullptr;
}

// 's' for a string, 'd' for an integer the variadic call passes as an int, '?' for anything else.
template <typename T>
constexpr char KindOf() {
    if constexpr (std::is_same_v<T, const char*> || std::is_same_v<T, char*>) return 's';
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool> && sizeof(T) <= sizeof(int))
        return 'd';
    return '?';
}

// Whether arguments of types Args are exactly what `kinds` lists.
template <typename... Args>
constexpr bool KindsAre(const char* kinds) {
    if (kinds == nullptr) return false;
    const char actual[] = {KindOf<Args>()..., '\0'};
    for (size_t i = 0; i <= sizeof...(Args); ++i) {
        if (kinds[i] != actual[i]) return false;
    }
    return true;
}

// ReportError of a listed code; a call whose arguments differ in kind from the list's does not
// compile.
template <MessageCode code, typename... Args>
int Report(Args... args) {
    static_assert(KindsAre<Args...>(ArgumentKindsOf(code)),
                  "the arguments differ from the kinds the message list gives the code");
    return ReportError(code, args...);
}
// Format of a code in the table of the current module, or null.
[[nodiscard]] const char* LookupMessage(int code);
// Severity class of an internal condition code: 2, 1 or 0.
[[nodiscard]] int SeverityOf(int condition, int detail);

#endif
