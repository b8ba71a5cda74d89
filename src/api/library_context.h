// PictorForDA's own job context.
#ifndef PICTOR_API_LIBRARY_CONTEXT_H
#define PICTOR_API_LIBRARY_CONTEXT_H

#include "pictor/pictor.h"

// The context of PictorForDA jobs and their error text, which stays in the library: the
// entry point rewrites it at the start of each of its jobs.
struct LibraryContext {
    JobContext context;
    char errorText[1024];
};
extern LibraryContext gLibraryContext;

#endif
