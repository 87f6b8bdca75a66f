// similarity: how much a larger picture looks like a smaller one.
//
//   similarity REFERENCE PICTURE [BACKGROUND]
//
// Scales PICTURE down to the size of REFERENCE, every reference pixel the
// area-weighted mean of the pixels it covers, and prints one line:
//
//   mean M bias B overlap O
//
// M is the mean absolute difference per channel (0 to 255), B the mean
// difference of the grey level, PICTURE minus REFERENCE (negative: the
// scaled picture is darker), and O the overlap of the two silhouettes,
// intersection over union, where a pixel belongs to a silhouette when a
// channel differs from BACKGROUND (hex, default FFFFFF) by more than 24.
// Both pictures are 24-bit BMP files as the program writes them.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/bmp.h"

namespace {

using namespace bramblewisp;

std::unique_ptr<Bitmap> load(const char* path) {
    std::FILE* in = std::fopen(path, "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "similarity: %s cannot be opened\n", path);
        std::exit(2);
    }
    BmpReadResult result = readBmp(in);
    std::fclose(in);
    if (!result.bitmap) {
        std::fprintf(stderr, "similarity: %s: %s\n", path, result.problem.c_str());
        std::exit(2);
    }
    return std::move(result.bitmap);
}

// The source pixels that output pixel i of n covers out of m, with the
// share of each: [i m / n, (i + 1) m / n).
struct Cover {
    int32_t first;
    std::vector<double> weights;
};

std::vector<Cover> covers(int32_t n, int32_t m) {
    std::vector<Cover> all(static_cast<std::size_t>(n));
    const double ratio = static_cast<double>(m) / n;
    for (int32_t i = 0; i < n; ++i) {
        const double from = i * ratio;
        const double to = (i + 1) * ratio;
        Cover& cover = all[static_cast<std::size_t>(i)];
        cover.first = static_cast<int32_t>(std::floor(from));
        for (int32_t s = cover.first; s < m && s < to; ++s) {
            cover.weights.push_back((std::min<double>(s + 1, to) - std::max<double>(s, from)) /
                                    ratio);
        }
    }
    return all;
}

// The channels of the picture scaled down to width x height, as doubles.
std::vector<double> scaledDown(const Bitmap& picture, int32_t width, int32_t height) {
    const std::vector<Cover> across = covers(width, picture.width);
    const std::vector<Cover> down = covers(height, picture.height);
    std::vector<double> channels(static_cast<std::size_t>(width) * height * 3, 0.0);
    for (int32_t y = 0; y < height; ++y) {
        const Cover& rows = down[static_cast<std::size_t>(y)];
        for (int32_t x = 0; x < width; ++x) {
            const Cover& columns = across[static_cast<std::size_t>(x)];
            double* out = &channels[(static_cast<std::size_t>(y) * width + x) * 3];
            for (std::size_t r = 0; r < rows.weights.size(); ++r) {
                const uint32_t* row = picture.row(rows.first + static_cast<int32_t>(r));
                for (std::size_t c = 0; c < columns.weights.size(); ++c) {
                    const uint32_t cell = row[columns.first + static_cast<int32_t>(c)];
                    const double w = rows.weights[r] * columns.weights[c];
                    out[0] += w * ((cell >> 16) & 255);
                    out[1] += w * ((cell >> 8) & 255);
                    out[2] += w * (cell & 255);
                }
            }
        }
    }
    return channels;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: similarity REFERENCE PICTURE [BACKGROUND]\n");
        return 2;
    }
    const std::unique_ptr<Bitmap> reference = load(argv[1]);
    const std::unique_ptr<Bitmap> picture = load(argv[2]);
    const uint32_t background = argc == 4 ? std::strtoul(argv[3], nullptr, 16) : 0xFFFFFFu;
    const int32_t w = reference->width;
    const int32_t h = reference->height;
    const std::vector<double> scaled = scaledDown(*picture, w, h);
    const double back[3] = {static_cast<double>((background >> 16) & 255),
                            static_cast<double>((background >> 8) & 255),
                            static_cast<double>(background & 255)};
    auto inSilhouette = [&](const double* rgb) {
        for (int c = 0; c < 3; ++c) {
            if (std::fabs(rgb[c] - back[c]) > 24.0) {
                return true;
            }
        }
        return false;
    };
    double difference = 0.0;
    double bias = 0.0;
    int64_t both = 0;
    int64_t either = 0;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t cell = reference->at(x, y);
            const double ref[3] = {static_cast<double>((cell >> 16) & 255),
                                   static_cast<double>((cell >> 8) & 255),
                                   static_cast<double>(cell & 255)};
            const double* got = &scaled[(static_cast<std::size_t>(y) * w + x) * 3];
            for (int c = 0; c < 3; ++c) {
                difference += std::fabs(got[c] - ref[c]);
                bias += (got[c] - ref[c]) / 3.0;
            }
            const bool a = inSilhouette(ref);
            const bool b = inSilhouette(got);
            both += a && b;
            either += a || b;
        }
    }
    const double pixels = static_cast<double>(w) * h;
    std::printf("mean %.2f bias %+.2f overlap %.3f\n", difference / (3.0 * pixels), bias / pixels,
                either == 0 ? 1.0 : static_cast<double>(both) / static_cast<double>(either));
    return 0;
}
