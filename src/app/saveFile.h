#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/png.h"

namespace bramblewisp {

// Writes a file through write into a temporary file beside path and then
// puts it in place in one step, so that path is either the complete new file
// or untouched; a symbolic link at path is replaced, never followed. On
// failure reason says why and no partial file is left. write returns false
// on a failed write, errno saying why.
bool saveFile(const std::string& path, const std::function<bool(std::FILE*)>& write,
              std::string& reason);

bool saveBmpFile(const std::string& path, const Bitmap& image, std::string& reason);

enum class PictureFormat { bmp, png };

// The format a file name asks for by its extension, in any letter case.
std::optional<PictureFormat> pictureFormatOf(const std::string& path);

// The picture in the format its path asks for (BMP for any other name); a
// PNG carries texts.
bool savePictureFile(const std::string& path, const Bitmap& image, std::span<const PngText> texts,
                     std::string& reason);

// The picture as savePictureFile saves it, a PNG carrying its recipe and
// the program's name and version.
bool savePicture(const std::string& path, const Bitmap& image, const std::string& recipe,
                 std::string& reason);

// Why a picture cannot be saved at path, as far as that can be known before
// any work: a name without .bmp or .png, a directory or other file that is
// not a regular one in its place, a directory that does not take the
// temporary file. Empty when saving may be tried.
std::string outputProblem(const std::string& path);

} // namespace bramblewisp
