// Error text of the running job: one line per reported problem.
#ifndef PICTOR_MESSAGES_REPORT_H
#define PICTOR_MESSAGES_REPORT_H

#include <cstdint>

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
extern ReporterState gReporter;

// Starts a job's error text and rewrites the whole reporter record, so binding is the
// reporter's reset. 1 when the heading was found, 0 when not. Reporting never fails a job:
// the results of this and of ReportError only say which texts were found, and callers may
// leave them unread.
int BindErrorText(char* buffer, int moduleIndex);
// Appends one line; 1 when the code has a text, 0 when the fallback was used.
int ReportError(int code, ...);
// Format of a code in the table of the current module, or null.
[[nodiscard]] const char* LookupMessage(int code);
// Severity class of an internal condition code: 2, 1 or 0.
[[nodiscard]] int SeverityOf(int condition, int detail);

#endif
