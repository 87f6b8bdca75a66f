#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "app/console.h"
#include "app/picture.h"
#include "app/runBudget.h"
#include "app/settings.h"
#include "imaging/bitmap.h"

namespace bramblewisp {

inline constexpr const char* kFontFile = "font.bmp";
inline constexpr const char* kPictureWithoutText = "the picture gets no text";
inline constexpr const char* kPicturesWithoutText = "the pictures get no text";

// A saved picture handed on with the recipe its PNG carries: the page
// offers every picture in the other format too.
using PictureSaved = std::function<void(std::unique_ptr<Bitmap> image, const std::string& recipe)>;

// One run of the program: the options, the font, the picture, its file.
class App {
  public:
    explicit App(Console& console, BudgetSources sources = BudgetSources::platform(),
                 PictureSaved saved = {})
        : console(console), sources(std::move(sources)), saved(std::move(saved)) {}

    // The exit status: 0, also after the usage, help or version text; 1 when
    // a picture could not be saved or memory ran out; 2 when an output path,
    // the count's seeds or the rules file cannot be used (the reason is on
    // the console). A batch stopped by an ending signal returns; the caller
    // ends by that signal.
    int run(int32_t argumentCount, char** arguments);

  private:
    // The font from the working directory, else from where the program was
    // installed; null when there is none to be had, with a report that says
    // what goes without: after the next stage of a single picture, at once
    // before a batch's lines (which have no stages).
    std::unique_ptr<Bitmap> loadFont(const std::string& without, bool reportAtOnce);
    // Whether the pictures, and the sheets, can go where -out and -sheet
    // say, as far as that is known before any work; a refusal is reported.
    bool acceptOutputs(const Settings& settings);
    // The same for the file at path, which option's value names ("" for
    // the default name).
    bool acceptOutput(const std::string& option, const std::string& value, const std::string& path);
    bool save(const Settings& settings, const std::string& recipe, const Bitmap& image);

    Console& console;
    BudgetSources sources;
    PictureSaved saved;
};

} // namespace bramblewisp
