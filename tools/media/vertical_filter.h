// --deflicker: a one-pixel horizontal line shows on one field of an interlaced display only and
// flickers at the field rate; spreading each row a quarter into its neighbours ([1 2 1] / 4
// down each column) puts it on both fields.
#ifndef PICTOR_TOOLS_MEDIA_VERTICAL_FILTER_H
#define PICTOR_TOOLS_MEDIA_VERTICAL_FILTER_H

#include "media/picture.h"

// The [1 2 1] / 4 vertical low-pass, rounded, the top and bottom rows repeated beyond the edge.
void SoftenLines(RgbPicture* picture);

#endif
