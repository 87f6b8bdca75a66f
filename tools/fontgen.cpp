// fontgen: builds the glyph sheet font.bmp from its text drawing.
//
//   fontgen GLYPHS OUTPUT
//
// GLYPHS (tools/font/glyphs.txt) declares the cell size and the grey level of
// each drawing character, then draws every glyph of the alphabet as rows
// framed by '|'. The sheet holds the glyphs side by side in alphabet order,
// grey on black, padded with black columns to a width that is a multiple of 4
// (the reader accepts nothing else).

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/picture.h"
#include "app/saveFile.h"
#include "imaging/bitmap.h"
#include "imaging/textOverlay.h"

namespace {

using bramblewisp::Bitmap;
using bramblewisp::kFontAlphabet;
using bramblewisp::kFontCellWidth;
using bramblewisp::kGlyphCount;

constexpr int32_t kMaxCellHeight = 256; // far beyond any legible line of text
constexpr int32_t kSkipRows = -2;       // rows of a rejected glyph line: one report is enough

struct FontSource {
    int32_t cellHeight = 0;           // 0 until the cell line is read
    std::array<int32_t, 256> level{}; // grey of each drawing character, -1: unknown
    std::array<std::vector<std::string>, kGlyphCount> rows; // per glyph, framing removed
    std::array<std::vector<int32_t>, kGlyphCount> rowLines; // where each row is
    std::array<int32_t, kGlyphCount> line{};                // where each glyph starts, 0: not drawn
};

// Every problem names the file and line, so a bad edit is found at once.
class Problems {
  public:
    explicit Problems(std::string path) : path(std::move(path)) {}

    [[gnu::format(printf, 3, 4)]] void report(int32_t line, const char* format, ...) {
        if (line > 0) {
            std::fprintf(stderr, "fontgen: %s:%d: ", path.c_str(), line);
        } else {
            std::fprintf(stderr, "fontgen: %s: ", path.c_str());
        }
        va_list arguments;
        va_start(arguments, format);
        std::vfprintf(stderr, format, arguments);
        va_end(arguments);
        std::fputc('\n', stderr);
        ++count;
    }

    const std::string path;
    int32_t count = 0;
};

int32_t glyphOf(unsigned char character) {
    for (int32_t g = 0; g < kGlyphCount; ++g) {
        if (static_cast<unsigned char>(kFontAlphabet[g]) == character) {
            return g;
        }
    }
    return -1;
}

// "'x'" at the start of text, as in level and glyph lines; -1 otherwise.
int32_t quotedCharacter(const std::string& text) {
    if (text.size() < 3 || text[0] != '\'' || text[2] != '\'') {
        return -1;
    }
    return static_cast<unsigned char>(text[1]);
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

void parseLevel(const std::string& rest, int32_t line, FontSource& font, Problems& problems) {
    const int32_t character = quotedCharacter(rest);
    int value = -1;
    char trailing = 0;
    if (character < 0 || std::sscanf(rest.c_str() + 3, "%d %c", &value, &trailing) != 1 ||
        value < 0 || value > 255) {
        problems.report(line, "expected: level 'c' GREY, with GREY from 0 to 255");
        return;
    }
    if (character == '|') {
        problems.report(line, "'|' frames the rows and cannot be a level");
        return;
    }
    if (font.level[static_cast<std::size_t>(character)] >= 0) {
        problems.report(line, "level '%c' is declared twice", character);
        return;
    }
    font.level[static_cast<std::size_t>(character)] = value;
}

void parseCell(const std::string& rest, int32_t line, FontSource& font, Problems& problems) {
    int width = 0;
    int height = 0;
    char trailing = 0;
    if (std::sscanf(rest.c_str(), "%d %d %c", &width, &height, &trailing) != 2) {
        problems.report(line, "expected: cell WIDTH HEIGHT");
        return;
    }
    if (width != kFontCellWidth) {
        problems.report(line, "cells must be %d pixels wide, not %d", kFontCellWidth, width);
    }
    if (height < 1 || height > kMaxCellHeight) {
        problems.report(line, "cell height %d is not between 1 and %d", height, kMaxCellHeight);
        return;
    }
    font.cellHeight = height;
}

FontSource parse(std::istream& in, Problems& problems) {
    FontSource font;
    font.level.fill(-1);
    std::string text;
    int32_t line = 0;
    int32_t glyph = -1; // the glyph whose rows follow; -1: none, kSkipRows: a bad one
    while (std::getline(in, text)) {
        ++line;
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        if (text.empty() || text[0] == '#') {
            continue;
        }
        if (text[0] == '|') {
            if (glyph == kSkipRows) {
                continue;
            }
            if (glyph < 0) {
                problems.report(line, "a row outside any glyph");
                continue;
            }
            if (text.size() < 2 || text.back() != '|') {
                problems.report(line, "a row must end with '|'");
                continue;
            }
            font.rows[static_cast<std::size_t>(glyph)].push_back(text.substr(1, text.size() - 2));
            font.rowLines[static_cast<std::size_t>(glyph)].push_back(line);
            continue;
        }
        if (startsWith(text, "cell ")) {
            glyph = -1;
            parseCell(text.substr(5), line, font, problems);
        } else if (startsWith(text, "level ")) {
            glyph = -1;
            parseLevel(text.substr(6), line, font, problems);
        } else if (startsWith(text, "glyph ")) {
            const std::string rest = text.substr(6);
            const int32_t character = quotedCharacter(rest);
            glyph = character < 0 ? -1 : glyphOf(static_cast<unsigned char>(character));
            if (character < 0 || rest.size() != 3) {
                problems.report(line, "expected: glyph 'c'");
                glyph = kSkipRows;
            } else if (glyph < 0) {
                problems.report(line, "'%c' is not in the alphabet", character);
                glyph = kSkipRows;
            } else if (font.line[static_cast<std::size_t>(glyph)] != 0) {
                problems.report(line, "glyph '%c' is drawn twice (first on line %d)", character,
                                font.line[static_cast<std::size_t>(glyph)]);
                glyph = kSkipRows;
            } else {
                font.line[static_cast<std::size_t>(glyph)] = line;
            }
        } else {
            problems.report(line, "expected a cell, level or glyph line, a row or a comment");
        }
    }
    return font;
}

// Checks what can only be judged once the whole file is read: every glyph
// drawn, every row the width of a cell, every drawing character declared.
void check(const FontSource& font, Problems& problems) {
    if (font.cellHeight == 0) {
        problems.report(0, "no cell line");
        return;
    }
    std::array<bool, 256> undeclaredSeen{}; // one report per character, not per pixel
    for (int32_t g = 0; g < kGlyphCount; ++g) {
        const std::size_t at = static_cast<std::size_t>(g);
        const int32_t line = font.line[at];
        if (line == 0) {
            problems.report(0, "glyph '%c' is missing", kFontAlphabet[g]);
            continue;
        }
        const std::vector<std::string>& rows = font.rows[at];
        if (static_cast<int32_t>(rows.size()) != font.cellHeight) {
            problems.report(line, "glyph '%c' has %zu rows, not %d", kFontAlphabet[g], rows.size(),
                            font.cellHeight);
        }
        for (std::size_t r = 0; r < rows.size(); ++r) {
            const int32_t rowLine = font.rowLines[at][r];
            if (static_cast<int32_t>(rows[r].size()) != kFontCellWidth) {
                problems.report(rowLine, "row %zu of glyph '%c' is %zu wide, not %d", r,
                                kFontAlphabet[g], rows[r].size(), kFontCellWidth);
            }
            for (const char c : rows[r]) {
                const unsigned char u = static_cast<unsigned char>(c);
                if (font.level[u] < 0 && !undeclaredSeen[u]) {
                    problems.report(rowLine, "'%c' in glyph '%c' is not a declared level", c,
                                    kFontAlphabet[g]);
                    undeclaredSeen[u] = true;
                }
            }
        }
    }
}

std::unique_ptr<Bitmap> draw(const FontSource& font) {
    const int32_t usedWidth = kGlyphCount * kFontCellWidth;
    auto sheet = std::make_unique<Bitmap>((usedWidth + 3) / 4 * 4, font.cellHeight);
    std::fill(sheet->pixels.begin(), sheet->pixels.end(), 0u);
    for (int32_t g = 0; g < kGlyphCount; ++g) {
        const std::vector<std::string>& rows = font.rows[static_cast<std::size_t>(g)];
        for (int32_t r = 0; r < font.cellHeight; ++r) {
            for (int32_t c = 0; c < kFontCellWidth; ++c) {
                const char drawn = rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
                const uint32_t grey =
                    static_cast<uint32_t>(font.level[static_cast<unsigned char>(drawn)]);
                sheet->at(g * kFontCellWidth + c, r) = grey << 16 | grey << 8 | grey;
            }
        }
    }
    return sheet;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs("usage: fontgen GLYPHS OUTPUT\nWrites the font sheet OUTPUT (a BMP) from the "
                   "text drawing GLYPHS, such as\ntools/font/glyphs.txt; names the line of every "
                   "problem in it.\n",
                   stdout);
        return 0;
    }
    if (argc != 3) {
        std::fputs("usage: fontgen GLYPHS OUTPUT\n", stderr);
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "fontgen: cannot open %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    Problems problems(argv[1]);
    const FontSource font = parse(in, problems);
    if (in.bad()) {
        std::fprintf(stderr, "fontgen: cannot read %s\n", argv[1]);
        return 1;
    }
    check(font, problems);
    if (problems.count > 0) {
        std::fprintf(stderr, "fontgen: %d problem(s); %s is not written\n", problems.count,
                     argv[2]);
        return 1;
    }
    std::string reason;
    if (!bramblewisp::saveBmpFile(argv[2], *draw(font), reason)) {
        std::fprintf(stderr, "fontgen: cannot write %s: %s\n", argv[2], reason.c_str());
        return 1;
    }
    return 0;
}
