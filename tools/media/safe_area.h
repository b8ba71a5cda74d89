// The safe areas of a television picture, for --preview --safe-area: of the display area (the
// active width of the line and all lines), the centred 90% where action is seen on any set and
// the centred 80% where titles are.
#ifndef PICTOR_TOOLS_MEDIA_SAFE_AREA_H
#define PICTOR_TOOLS_MEDIA_SAFE_AREA_H

#include <cstdint>
#include <vector>

struct SafeRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// The rectangle of `percent` of the display area of a coded picture of width x height (PAL
// heights 576, 288, 144, 80: 702 of 720 or 704 samples active; NTSC: 704; narrower sizes in
// proportion to 704).
SafeRect SafeArea(int width, int height, int percent);

// Draws the action-safe (90%, light grey) and title-safe (80%, yellow) outlines, one sample
// wide, into 8-bit RGB of width x height.
void DrawSafeAreas(int width, int height, std::vector<uint8_t>* rgb);

#endif
