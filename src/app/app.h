#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/runBudget.h"
#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/effect.h"
#include "imaging/textOverlay.h"
#include "presets/preset.h"

namespace bramblewisp {

inline constexpr int32_t kPictureWidth = 800;
inline constexpr int32_t kPictureHeight = 600;
inline constexpr int32_t kFontCellWidth = 14;
inline constexpr const char* kFontFile = "font.bmp";
inline constexpr const char* kPictureFile = "testSystem.bmp";

// One run: options, then three stages, each once and in order.
class App {
  public:
    // False (after printing the usage text) when -time, -mem or -cpu is
    // missing, or (with refused set, after one line on standard error) when
    // the rules file cannot be used; nothing has been created then.
    bool parseOptions(int32_t argumentCount, char** arguments);

    // The canvas, the two bitmaps, the font, the overlay and the background.
    void createBitmaps();

    // Builds, grows and renders the system, applies the post effect and
    // labels the picture.
    void growAndRender();

    // Signs and saves the picture; false when it could not be saved (the
    // reason is on standard error).
    bool saveImage();

    std::unique_ptr<Bitmap> image;
    std::unique_ptr<Bitmap> depth;
    std::unique_ptr<Canvas> canvas;
    std::unique_ptr<Bitmap> font;
    std::unique_ptr<TextOverlay> overlay;
    std::unique_ptr<RunTimer> timer;
    std::unique_ptr<MemoryGuard> memory;
    int32_t timeLimit = -1;
    int32_t memOption = -1;
    int32_t cpuOption = -1;
    std::unique_ptr<Effect> background;
    std::unique_ptr<Effect> postEffect;
    SystemDescription preset;
    int32_t seed = 0;
    int32_t iterations = -1;
    bool dark = false;
    bool refused = false;

  private:
    void loadFont();
    void drawText(const std::string& text, int32_t x, int32_t y);
};

} // namespace bramblewisp
