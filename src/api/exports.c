/* The shared library's own translation unit; the entry points come from the
 * core archive, which is linked in whole. */
#include "pictor/pictor.h"
