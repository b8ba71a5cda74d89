// The sizes a job takes, from the library's own table, in the words of the command's messages.
#include <string>

#include "door/library_door.h"
#include "media/picture_input.h"

namespace {

// "a, b or c" of the table's entries that `pick` keeps.
template <typename Entry, size_t N, typename Pick, typename Size>
std::string Listed(const Entry (&table)[N], Pick pick, Size size, const char* last) {
    std::string text;
    std::string pending;
    for (const Entry& e : table) {
        if (!pick(e)) continue;
        if (!pending.empty()) text += (text.empty() ? "" : ", ") + pending;
        pending = std::to_string(size(e));
    }
    if (text.empty()) return pending;
    return text + last + pending;
}

int32_t Samples(const PictureWidth& w) { return w.samples; }
int32_t Rows(const PictureHeight& h) { return h.rows; }

}  // namespace

std::string AcceptedSizesText() {
    const auto all = [](const auto&) { return true; };
    return "widths " + Listed(kPictureWidths, all, Samples, ", ") + "; heights " +
           Listed(kPictureHeights, all, Rows, ", ");
}

std::string JobSizesText(bool pal, bool wide) {
    const auto width = [wide](const PictureWidth& w) { return w.wide || !wide; };
    const auto height = [pal, wide](const PictureHeight& h) {
        return h.pal == pal && (h.wide || !wide);
    };
    return "widths " + Listed(kPictureWidths, width, Samples, ", ") + "; heights " +
           Listed(kPictureHeights, height, Rows, ", ");
}

bool SizeSuitsJob(int width, int height, bool pal, bool wide, std::string* why) {
    const PictureWidth* w = FindPictureWidth(width);
    const PictureHeight* h = FindPictureHeight(height);
    const auto wideWidth = [](const PictureWidth& e) { return e.wide; };
    const auto wideHeight = [](const PictureHeight& e) { return e.wide; };
    std::string cause;
    if (w == nullptr || h == nullptr) {
        cause = std::to_string(width) + "x" + std::to_string(height) +
                " is not an accepted size (" + AcceptedSizesText() + ")";
    } else if (wide && !w->wide) {
        cause = "a 16:9 picture must be " + Listed(kPictureWidths, wideWidth, Samples, " or ") +
                " wide, not " + std::to_string(width);
    } else if (wide && !h->wide) {
        cause = "a 16:9 picture must be " + Listed(kPictureHeights, wideHeight, Rows, " or ") +
                " high, not " + std::to_string(height);
    } else if (pal && !h->pal) {
        cause = "height " + std::to_string(height) + " is an NTSC height, the job is PAL";
    } else if (!pal && h->pal) {
        cause = "height " + std::to_string(height) + " is a PAL height, the job is NTSC";
    }
    if (why != nullptr) *why = cause;
    return cause.empty();
}
