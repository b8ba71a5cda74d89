// Message tables of the host's message library, kept as data.
#ifndef PICTOR_MESSAGES_CATALOGUE_H
#define PICTOR_MESSAGES_CATALOGUE_H

#include <cstdint>

// One entry of a message table; a table ends with code -1.
struct VarnMessage {
    int32_t code;
    const char* format;
};

extern "C" {
// Texts of this library (module 0).
extern const VarnMessage varnerrmsg_pictor[];
// Common table (module 8); code 4 is the heading of every error line.
extern const VarnMessage varnerrmsg_varn[];
// Text used when a code has no entry.
extern const char* const VARNERRMSG_CANT_FIND_MESSAGE;
}

#endif
