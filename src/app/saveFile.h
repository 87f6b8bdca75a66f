#pragma once

#include <string>

#include "imaging/bitmap.h"

namespace bramblewisp {

// Writes the picture as a BMP file beside path and then puts it in place in
// one step, so that path is either the complete new picture or untouched.
// On failure reason says why and no partial file is left.
bool saveBmpFile(const std::string& path, const Bitmap& image, std::string& reason);

} // namespace bramblewisp
