// fontpreview: shows a glyph sheet the way the run uses it.
//
//   fontpreview FONT OUTPUT
//
// Reads FONT as the run reads font.bmp and writes OUTPUT, an 800 x 600 BMP:
// the run's three lines and the whole alphabet subtracted from a white half
// and added to a black half, through the run's own text overlay. Fails when
// the sheet would be rejected or is too narrow for the alphabet.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/picture.h"
#include "app/saveFile.h"
#include "imaging/bitmap.h"
#include "imaging/bmp.h"
#include "imaging/textOverlay.h"

namespace {

using namespace bramblewisp;

constexpr int32_t kPanelHeight = kPictureHeight / 2;
constexpr int32_t kLineGap = 5; // as between the run's count and remark lines

const char* const kLines[] = {
    "1165184 particles",
    "size doesnt change, its 1.0 all the time",
    "bramblewisp by wrenfold",
    kFontAlphabet,
};

void drawPanel(const Bitmap& font, Bitmap& image, int32_t top, bool dark) {
    const uint32_t background = dark ? 0x000000u : 0xFFFFFFu;
    std::fill(image.pixels.begin() + top * image.width,
              image.pixels.begin() + (top + kPanelHeight) * image.width, background);
    int32_t y = top + 5;
    for (const char* line : kLines) {
        drawText(image, font, kFontCellWidth, line, 5, y, dark);
        y += font.height + kLineGap;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs("usage: fontpreview FONT OUTPUT\nDraws every glyph of FONT into the picture "
                   "OUTPUT (a BMP) the way a run\nwould, on light and on dark backgrounds.\n",
                   stdout);
        return 0;
    }
    if (argc != 3) {
        std::fputs("usage: fontpreview FONT OUTPUT\n", stderr);
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "fontpreview: cannot open %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    BmpReadResult font = readBmp(in);
    std::fclose(in);
    if (!font.bitmap) {
        std::fprintf(stderr, "fontpreview: %s %s\n", argv[1], font.problem.c_str());
        return 1;
    }
    if (font.bitmap->width < kGlyphCount * kFontCellWidth) {
        std::fprintf(stderr, "fontpreview: %s is %d pixels wide, too narrow for %d glyphs\n",
                     argv[1], font.bitmap->width, kGlyphCount);
        return 1;
    }

    Bitmap image(kPictureWidth, kPictureHeight);
    drawPanel(*font.bitmap, image, 0, false);
    drawPanel(*font.bitmap, image, kPanelHeight, true);

    std::string reason;
    if (!saveBmpFile(argv[2], image, reason)) {
        std::fprintf(stderr, "fontpreview: cannot write %s: %s\n", argv[2], reason.c_str());
        return 1;
    }
    return 0;
}
