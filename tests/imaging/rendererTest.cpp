#include "imaging/renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "app/consoleTranscript.h"
#include "imaging/backgrounds.h"
#include "imaging/particleBrush.h"
#include "imaging/plainDepthOrder.h"

namespace bramblewisp {
namespace {

struct Scene {
    Scene() { clearBackground(image, depth, 0xFFFFFF); }
    void add(int layer, Vec3 position, Vec3 direction) {
        system.store->currentBank()[layer].append(Particle{position, direction});
    }
    std::string render(bool keepDepth = true) {
        ConsoleTranscript transcript;
        renderParticles(canvas, image, depth, system, false, keepDepth, transcript.console,
                        workers);
        return transcript.text();
    }
    float depthAt(int x, int y) const {
        return bramblewisp::depthAt(depth, static_cast<std::size_t>(y) * 800 + x);
    }
    // Every pixel the strokes changed lies in the box (inclusive).
    void expectDrawnWithin(int left, int top, int right, int bottom) const {
        for (int y = 0; y < 600; ++y) {
            for (int x = 0; x < 800; ++x) {
                if (x < left || x > right || y < top || y > bottom) {
                    ASSERT_EQ(image.at(x, y), 0xFFFFFFu) << x << "," << y;
                }
            }
        }
    }

    Canvas canvas;
    Bitmap image{800, 600};
    Bitmap depth{800, 600};
    ParticleSystem system;
    platform::WorkerPool workers{3};
};

TEST(Renderer, EmptySystemPrintsEveryWordAndDrawsNothing) {
    Scene scene, untouched;
    EXPECT_EQ(scene.render(), "get (0) sort bbox draw ");
    EXPECT_EQ(scene.image.pixels, untouched.image.pixels);
    EXPECT_EQ(scene.depth.pixels, untouched.depth.pixels);
}

// Particles that all share one place draw over each other. Each points one
// unit to the left and carries its own id in its direction's z, so the depth
// at the left end of the shared stroke (where the walk starts, exactly)
// tells which particle was drawn last.
TEST(Renderer, DrawsFarToNearInTheQuicksortOrder) {
    std::vector<float> bigTie;
    for (int i = 0; i < 300; ++i) {
        bigTie.push_back(static_cast<float>((i * 7) % 3));
    }
    for (const std::vector<float>& z :
         {std::vector<float>{5, 1, 3}, std::vector<float>(9, 2.0f), bigTie}) {
        Scene scene;
        std::vector<int> collected; // ids in layer order, as the renderer gathers them
        std::vector<float> keys;
        for (int layer = 0; layer < 4; ++layer) {
            for (std::size_t i = layer; i < z.size(); i += 4) {
                scene.add(layer, {0, 0, z[i]}, {-1, 0, static_cast<float>(i)});
                collected.push_back(static_cast<int>(i));
                keys.push_back(z[i]);
            }
        }
        // The next generation is not drawn; here it would be drawn last.
        scene.system.store->nextBank()[0].append(Particle{{0, 0, -9}, {-1, 0, 0}});
        EXPECT_EQ(scene.render(), "get (" + std::to_string(z.size()) + ") sort bbox draw ");
        const std::vector<int> order = plainDepthOrder(keys);
        const float nearest = *std::min_element(z.begin(), z.end());
        const int last = collected[order.back()];
        EXPECT_EQ(scene.depthAt(55, 300), z[last] + static_cast<float>(last) - nearest)
            << z.size() << " particles";
        if (z.size() > 16) {
            int lastStable = 0; // the last of the nearest particles in collection order
            for (std::size_t k = 0; k < keys.size(); ++k) {
                lastStable = keys[k] == nearest ? collected[k] : lastStable;
            }
            EXPECT_NE(last, lastStable) << "the case no longer tells the sorts apart";
        }
    }
}

TEST(Renderer, ZeroExtentCloudLandsOnTheCentre) {
    Scene scene;
    scene.add(2, {3, -2, 7}, {0, 0, 0});
    scene.render();
    EXPECT_NE(scene.image.at(400, 300), 0xFFFFFFu);
    EXPECT_EQ(scene.depthAt(400, 300), 0.0f);
    scene.expectDrawnWithin(393, 293, 407, 307);
}

// 2 x 1 world units: the width is the tighter fit, 0.95 * 800 / 2.1 pixels
// per unit, so the stroke runs from (39, 480) to (761, 120).
TEST(Renderer, WideCloudFillsNinetyFivePercentOfTheWidth) {
    Scene scene;
    scene.add(0, {-1, -0.5f, 0}, {2, 1, 0});
    scene.render();
    EXPECT_EQ(scene.depthAt(39, 480), 0.0f);
    EXPECT_EQ(scene.depthAt(761, 120), 0.0f);
    scene.expectDrawnWithin(32, 113, 768, 487);
}

// Points on a 50 x 37 grid, 15 pixels apart once fitted, so no two strokes
// meet, each at its own depth: every depth must turn up in the picture. The
// first layer holds more than one chunk of particles.
TEST(Renderer, DrawsEveryParticleOfEveryLayer) {
    Scene scene;
    for (int k = 0; k < 50 * 37; ++k) {
        scene.add(k < 1100 ? 0 : k % 3 + 1,
                  {static_cast<float>(k % 50), static_cast<float>(k / 50), static_cast<float>(k)},
                  {0, 0, 0});
    }
    EXPECT_EQ(scene.render(), "get (1850) sort bbox draw ");
    std::vector<bool> seen(50 * 37);
    for (std::size_t i = 0; i < scene.depth.cellCount(); ++i) {
        const float z = depthAt(scene.depth, i);
        if (z != kFarDepth) {
            ASSERT_TRUE(z >= 0 && z < 1850 && z == std::floor(z)) << z;
            seen[static_cast<std::size_t>(z)] = true;
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), false), 0);
}

// Runs that no post effect reads depths from skip writing them: the picture
// must not notice.
TEST(Renderer, SkippingTheDepthsLeavesThePictureAsItIs) {
    Scene withDepth, withoutDepth, untouched;
    for (Scene* scene : {&withDepth, &withoutDepth}) {
        for (int k = 0; k < 3000; ++k) {
            const float t = static_cast<float>(k);
            scene->add(k % 4, {std::sin(t) * 40, std::cos(t * 0.7f) * 30, std::sin(t * 0.3f) * 20},
                       {std::cos(t) * 3, std::sin(t) * 3, 1});
        }
    }
    // Each render starts its own jitter, so the second one jitters as the first.
    const std::string withDepthSaid = withDepth.render(true);
    EXPECT_EQ(withoutDepth.render(false), withDepthSaid);
    EXPECT_EQ(withDepth.image.pixels, withoutDepth.image.pixels);
    EXPECT_EQ(withoutDepth.depth.pixels, untouched.depth.pixels);
    EXPECT_NE(withDepth.depth.pixels, untouched.depth.pixels);
}

// Strokes all at one depth are drawn in the quicksort's order without a sort.
// Over several chunks per layer and several drawing windows, the picture must
// be the one that drawing in that order, fitted as the renderer fits, gives.
TEST(Renderer, DrawsStrokesAtOneDepthInTheQuicksortOrder) {
    Scene scene, reference;
    std::vector<Particle> layers[4];
    for (int k = 0; k < 5000; ++k) {
        const float t = static_cast<float>(k);
        const Particle p{{std::sin(t) * 40, std::cos(t * 0.7f) * 30, 2.5f},
                         {std::cos(t) * 3, std::sin(t) * 3, std::sin(t * 0.3f)}};
        scene.add(k % 4, p.position, p.direction);
        layers[k % 4].push_back(p);
    }
    EXPECT_EQ(scene.render(), "get (5000) sort bbox draw ");

    std::vector<Particle> collected;
    for (const auto& layer : layers) {
        collected.insert(collected.end(), layer.begin(), layer.end());
    }
    Vec3 high{-1000000.0f, -1000000.0f, -1000000.0f}, low{1000000.0f, 1000000.0f, 1000000.0f};
    auto include = [&](const Vec3& v) {
        high = Vec3{v.x > high.x ? v.x : high.x, v.y > high.y ? v.y : high.y,
                    v.z > high.z ? v.z : high.z};
        low = Vec3{v.x < low.x ? v.x : low.x, v.y < low.y ? v.y : low.y, v.z < low.z ? v.z : low.z};
    };
    auto end = [](const Particle& p) {
        return Vec3{p.position.x + p.direction.x, p.position.y + p.direction.y,
                    p.position.z + p.direction.z};
    };
    for (const Particle& p : collected) {
        include(end(p));
        include(p.position);
    }
    const float centreX = (low.x + high.x) * 0.5f, centreY = (low.y + high.y) * 0.5f;
    const float scale =
        0.95f * std::min(800.0f / (high.x - low.x + 0.1f), 600.0f / (high.y - low.y + 0.1f));
    auto project = [&](const Vec3& v) {
        return Vec3{(v.x - centreX) * scale, (v.y - centreY) * scale, v.z - low.z};
    };
    const ParticleBrush brush{reference.canvas, reference.image, reference.depth,
                              255.0f / (high.z - low.z + 0.1f), false};
    StrokeJitter jitter = startedStrokeJitter();
    for (const int k : plainDepthOrder(std::vector<float>(collected.size(), 2.5f))) {
        brush.drawParticle(project(collected[k].position), project(end(collected[k])), jitter);
    }
    EXPECT_EQ(scene.image.pixels, reference.image.pixels);
    EXPECT_EQ(scene.depth.pixels, reference.depth.pixels);
}

// However small, odd or large the picture, the fit leaves room for every
// stroke's jitter and width: the line walks assert that their ends lie
// inside, and AddressSanitizer watches the cells. Corner particles pointing
// outward reach the extremes of the fit.
TEST(Renderer, StrokesStayInsidePicturesOfAnySize) {
    EXPECT_EQ(strokeReach(800, 600), 14);
    EXPECT_EQ(strokeReach(16, 16), 0);
    const std::pair<int32_t, int32_t> sizes[] = {{16, 16},   {17, 41},     {41, 17},
                                                 {801, 601}, {1601, 1203}, {3840, 2160}};
    for (const auto& [width, height] : sizes) {
        Canvas canvas;
        Bitmap image(width, height), depth(width, height);
        clearBackground(image, depth, 0xFFFFFF);
        ParticleSystem system;
        for (const float x : {-1.0f, 1.0f}) {
            for (const float y : {-1.0f, 1.0f}) {
                system.store->currentBank()[0].append(
                    Particle{{x * 1e7f, y * 3e6f, x}, {x * 1e6f, y * 1e6f, y}});
            }
        }
        ConsoleTranscript transcript;
        platform::WorkerPool workers(2);
        renderParticles(canvas, image, depth, system, false, true, transcript.console, workers, 5);
        EXPECT_NE(std::count(image.pixels.begin(), image.pixels.end(), 0xFFFFFFu),
                  static_cast<std::ptrdiff_t>(image.pixels.size()))
            << width << " x " << height;
    }
}

} // namespace
} // namespace bramblewisp
