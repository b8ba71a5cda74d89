// The picture sizes the library codes: every accepted width and height, the television standard
// each height belongs to, and which of them a 16:9 picture may have. The TIFF reader refuses any
// other size; the job's settings check a size against the standard and the aspect ratio.
#ifndef PICTOR_TIFF_PICTURE_SIZES_H
#define PICTOR_TIFF_PICTURE_SIZES_H

#include <cstdint>

struct PictureWidth {
    int32_t samples;
    bool wide;  // a 16:9 picture may be this wide
};

struct PictureHeight {
    int32_t rows;
    bool pal;   // a height of the 25 Hz standard; the others are of the 30 Hz one
    bool wide;  // a 16:9 picture may be this high
};

// In the order messages and the command list them.
inline constexpr PictureWidth kPictureWidths[] = {
    {720, true}, {704, true}, {352, false}, {176, false}, {96, false}};
inline constexpr PictureHeight kPictureHeights[] = {
    {480, false, true},  {576, true, true},  {240, false, false}, {288, true, false},
    {112, false, false}, {64, false, false}, {144, true, false},  {80, true, false}};

// The table's entry for a width or a height, or null for a size the library does not code.
constexpr const PictureWidth* FindPictureWidth(int64_t samples) {
    for (const PictureWidth& w : kPictureWidths) {
        if (w.samples == samples) return &w;
    }
    return nullptr;
}

constexpr const PictureHeight* FindPictureHeight(int64_t rows) {
    for (const PictureHeight& h : kPictureHeights) {
        if (h.rows == rows) return &h;
    }
    return nullptr;
}

#endif
