#include "render/blood_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "core/log.h"
#include "host/sim/procedural_ped.h"
#include "host/sim/sim_host.h"
#include "render/blood_geometry.h"
#include "support/layer_fixture.h"
#include "wounds/blood_state.h"

namespace {

constexpr int32_t kMask = 64;  // the smallest MaskSize keeps whole-surface checks cheap
constexpr size_t kWidth = 2 * kMask;

struct TestMesh {
  HostMesh* mesh;
  HostGeometry* geometry;
  std::vector<HostMaterial*> materials;
  std::vector<HostTexture*> gameTextures;
};

class BloodPassTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    config.MaskSize = kMask;
    object = sim.AddRenderObject(nullptr);
    ped = sim.AddPed({0, 0, 0}, object);
  }

  // A one-triangle skinned mesh in the ped's render object, with game textures and
  // distinct colour words in each material.
  TestMesh AddMesh(int materialCount) {
    HostGeometry* geometry = sim.AddGeometry();
    SimGeometry* g = SimHost::Sim(geometry);
    g->vertexCount = 3;
    g->triangleCount = 1;
    g->format = 0x06;
    g->positions = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}};
    g->texCoords = {{0.1f, 0.1f}, {0.4f, 0.1f}, {0.1f, 0.4f}};
    g->triangles = {{{0, 1, 2}, 0}};
    g->skin = sim.AddSkin();
    TestMesh out{sim.AddMesh(object, geometry), geometry, {}, {}};
    for (int i = 0; i < materialCount; ++i) {
      HostTexture* texture = sim.AddTexture(8, 8);
      out.gameTextures.push_back(texture);
      out.materials.push_back(sim.AddMaterial(texture, 0x11223300u + static_cast<uint32_t>(i)));
      g->materials.push_back(out.materials.back());
    }
    return out;
  }

  MaskLayer& AddLayer(const TestMesh& mesh, int32_t materialIndex, uint8_t fill = 0) {
    MaskLayer layer;
    layer.mesh = mesh.mesh;
    layer.geometry = mesh.geometry;
    layer.materialIndex = materialIndex;
    ResetMask(layer.mask, kWidth, kMask);
    Fill(layer, [fill] { return fill; });
    std::vector<MaskLayer>& layers = FindOrCreateBloodState(Context(), ped).layers;
    layers.push_back(std::move(layer));
    return layers.back();
  }

  template <typename Amount>
  static void Fill(MaskLayer& layer, Amount amount) {
    for (int32_t y = 0; y < layer.mask.height; ++y) {
      for (int32_t x = 0; x < layer.mask.width; ++x) SetMaskAt(layer.mask, x, y, amount());
    }
  }

  std::vector<MaskLayer>& Layers() { return FindOrCreateBloodState(Context(), ped).layers; }

  int CountLogLines(const std::string& line) const {
    std::vector<std::string> lines = ReadLogLines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
  }

  static SimSurface* SurfaceOf(HostTexture* texture) {
    return texture ? SimHost::Sim(texture)->surface : nullptr;
  }

  static const uint8_t* Pixel(HostTexture* texture, size_t x, size_t y) {
    SimSurface* surface = SurfaceOf(texture);
    return surface->pixels.data() + y * static_cast<size_t>(surface->stride) + 4 * x;
  }

  HostRenderObject* object = nullptr;
  HostPed* ped = nullptr;
};

// Pixel bytes in memory order blue, green, red, alpha for one amount at one age.
TEST_F(BloodPassTest, UploadConvertsAmountsWithColourAlphaCurveAndDrying) {
  struct Case {
    uint8_t amount;
    uint32_t paintedMsAgo;
    uint8_t bgra[4];
  };
  const Case cases[] = {
      {89, 0, {2, 2, 33, 0}},          // just below the alpha ramp
      {141, 0, {1, 1, 30, 237}},       // just past it: the largest alpha byte
      {0, 0, {2, 2, 39, 0}},           // transparent, colour still base * 1.2
      {255, 0, {1, 1, 23, 237}},       // fresh blood 0.13 * 0.7
      {120, 0, {1, 1, 31, 154}},       // mid-ramp
      {255, 100000, {1, 2, 15, 237}},  // 100 s of 180: t = 0.556
      {255, 200000, {1, 2, 8, 237}},   // past DryTime: the dried colour
  };
  TestMesh mesh = AddMesh(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "amount " << int(c.amount) << " age " << c.paintedMsAgo);
    MaskLayer& layer = AddLayer(mesh, 0, c.amount);
    sim.clock = 300000;
    layer.lastPaint = static_cast<float>(sim.clock - c.paintedMsAgo) / 1000.0f;
    UploadLayer(Context(), pass, layer);
    ASSERT_NE(layer.texture, nullptr);
    const uint8_t* first = Pixel(layer.texture, 0, 0);
    const uint8_t* last = Pixel(layer.texture, kWidth - 1, kMask - 1);
    EXPECT_EQ(0, std::memcmp(first, c.bgra, 4));
    EXPECT_EQ(0, std::memcmp(last, c.bgra, 4));
  }
}

TEST_F(BloodPassTest, UploadMakesTheTextureAndMapsEveryTexelWithinTheStride) {
  TestMesh mesh = AddMesh(1);
  MaskLayer& layer = AddLayer(mesh, 0);
  // Distinct amounts at the corners: a flipped or transposed upload moves them.
  SetMaskAt(layer.mask, 0, 0, 255);
  SetMaskAt(layer.mask, kWidth - 1, 0, 141);
  SetMaskAt(layer.mask, 0, kMask - 1, 120);
  SetMaskAt(layer.mask, kWidth - 1, kMask - 1, 100);
  sim.clock = 12345;
  UploadLayer(Context(), pass, layer);

  ASSERT_NE(layer.texture, nullptr);
  SimSurface* surface = SurfaceOf(layer.texture);
  EXPECT_EQ(surface->width, 2 * kMask);
  EXPECT_EQ(surface->height, kMask);
  EXPECT_EQ(surface->depth, 32);
  EXPECT_EQ(surface->flags, 0x504u);
  EXPECT_EQ(SimHost::Sim(layer.texture)->sampling, 0x1102u);
  EXPECT_FALSE(surface->locked);
  EXPECT_FALSE(layer.dirty);
  EXPECT_FLOAT_EQ(layer.lastUpload, 12.345f);

  EXPECT_EQ(Pixel(layer.texture, 0, 0)[3], 237);
  EXPECT_EQ(Pixel(layer.texture, kWidth - 1, 0)[3], 237);
  EXPECT_EQ(Pixel(layer.texture, 1, 0)[3], 0);
  EXPECT_EQ(Pixel(layer.texture, 0, kMask - 1)[3], 154);
  EXPECT_EQ(Pixel(layer.texture, kWidth - 1, kMask - 1)[3], 27);
  EXPECT_EQ(Pixel(layer.texture, 0, 1)[3], 0);
  // The row padding past each row's pixels is never written.
  size_t rowBytes = kWidth * 4;
  for (size_t y = 0; y < kMask; ++y) {
    for (size_t i = rowBytes; i < static_cast<size_t>(surface->stride); ++i) {
      ASSERT_EQ(surface->pixels[y * static_cast<size_t>(surface->stride) + i], 0xCD) << y;
    }
  }
}

TEST_F(BloodPassTest, CleanLayersAreUploadedOnlyAfterFiveSeconds) {
  TestMesh mesh = AddMesh(1);
  AddLayer(mesh, 0, 255);
  sim.clock = 1000;
  DrawBloodPass(Context(), pass, ped);
  ASSERT_FLOAT_EQ(Layers()[0].lastUpload, 1.0f);

  struct Step {
    uint32_t clock;
    float lastUpload;
  };
  const Step steps[] = {{6000, 1.0f}, {6500, 6.5f}, {11500, 6.5f}, {11501, 11.501f}};
  for (const Step& step : steps) {
    sim.clock = step.clock;
    DrawBloodPass(Context(), pass, ped);
    EXPECT_FLOAT_EQ(Layers()[0].lastUpload, step.lastUpload) << step.clock;
  }
  // Painting makes it due at once.
  Layers()[0].dirty = true;
  sim.clock = 11502;
  DrawBloodPass(Context(), pass, ped);
  EXPECT_FLOAT_EQ(Layers()[0].lastUpload, 11.502f);
}

// An upload of the rectangle painted since the last upload gives the pixels a whole
// upload of the same mask gives; it leaves the rest of the texture alone, unless the
// colour moved or there is no rectangle to go by.
TEST_F(BloodPassTest, RectangleUploadMatchesAWholeUpload) {
  struct Case {
    const char* what;
    TexelRect changed;  // where the mask is repainted: the clipped rectangle
    bool repaint;       // painted afresh: the colour moves from the dried one
    bool whole;
    int32_t writtenTo = static_cast<int32_t>(kWidth);    // texels right of it are left unwritten
    int32_t writtenAbove = static_cast<int32_t>(kMask);  // and those from this row on
  };
  const Case cases[] = {
      {"inside", {10, 5, 40, 20}, false, false},
      {"last column and row", {100, 50, 128, 64}, false, false},
      {"clipped to the mask", {-5, -3, 200, 2}, false, false},
      {"no rectangle", {0, 0, 0, 0}, false, true},
      {"inverted rectangle", {40, 20, 10, 5}, false, true},
      {"colour moved", {10, 5, 40, 20}, true, true},
      // The right tile of the rectangle was not written: its pixels are left as they are.
      {"a tile not written", {10, 5, 100, 20}, false, false, kMaskTileSide},
      // Rows of a written tile that were not written are left as they are too.
      {"rows not written", {10, 5, 40, 20}, false, false, kWidth, 10},
  };
  TestMesh mesh = AddMesh(1);
  uint32_t h = 99;
  auto amount = [&h] {  // half the texels empty, in runs
    h = h * 1664525u + 1013904223u;
    return (h >> 28) < 8 ? 0 : static_cast<uint8_t>(h >> 20);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim.clock = 100000;
    MaskLayer& layer = AddLayer(mesh, 0);
    Fill(layer, amount);
    UploadLayer(Context(), pass, layer);
    ASSERT_NE(layer.texture, nullptr);

    const TexelRect clip{std::max(c.changed.x0, 0), std::max(c.changed.y0, 0),
                         std::min<int32_t>(c.changed.x1, kWidth),
                         std::min<int32_t>(c.changed.y1, kMask)};
    for (int32_t y = clip.y0; y < std::min(clip.y1, c.writtenAbove); ++y) {
      for (int32_t x = clip.x0; x < std::min(clip.x1, c.writtenTo); ++x) {
        SetMaskAt(layer.mask, x, y, amount());
      }
    }
    layer.dirty = true;
    layer.changed = c.changed;
    if (c.repaint) {
      sim.clock = 101000;
      layer.lastPaint = 101.0f;
    }
    uint8_t* outside = const_cast<uint8_t*>(Pixel(layer.texture, 0, kMask - 1));
    const bool partly = c.writtenTo < static_cast<int32_t>(kWidth) || c.writtenAbove < kMask;
    const size_t unwrittenX = c.writtenTo < static_cast<int32_t>(kWidth) ? 90 : 20;
    const size_t unwrittenY = c.writtenTo < static_cast<int32_t>(kWidth) ? 10 : 15;
    uint8_t* unwritten = const_cast<uint8_t*>(Pixel(layer.texture, 0, unwrittenY)) + 4 * unwrittenX;
    const uint8_t poison[4] = {7, 7, 7, 7};
    std::memcpy(outside, poison, 4);
    if (partly) std::memcpy(unwritten, poison, 4);
    UploadLayer(Context(), pass, layer);
    EXPECT_FALSE(layer.dirty);
    EXPECT_EQ(layer.changed.x1, 0);

    MaskLayer whole;
    whole.mask = layer.mask;
    whole.lastPaint = layer.lastPaint;
    UploadLayer(Context(), pass, whole);
    ASSERT_NE(whole.texture, nullptr);
    EXPECT_EQ(std::memcmp(outside, poison, 4) != 0, c.whole);
    std::memcpy(outside, Pixel(whole.texture, 0, kMask - 1), 4);
    if (partly) {
      EXPECT_EQ(std::memcmp(unwritten, poison, 4), 0);
      std::memcpy(unwritten, Pixel(whole.texture, 0, unwrittenY) + 4 * unwrittenX, 4);
    }
    for (size_t y = 0; y < kMask; ++y) {
      ASSERT_EQ(std::memcmp(Pixel(layer.texture, 0, y), Pixel(whole.texture, 0, y), 4 * kWidth), 0)
          << "row " << y;
    }
    ReleaseLayerTexture(sim, whole);
  }
}

// Refreshes of the drying colour convert one whole texture per pass; a layer whose pixels
// would not change is only marked up to date.
TEST_F(BloodPassTest, DryingRefreshesAreSpreadOverPasses) {
  TestMesh mesh = AddMesh(3);
  const float painted[3] = {1.0f, -1000.0f, 1.0f};  // the middle layer has dried already
  for (int32_t i = 0; i < 3; ++i) AddLayer(mesh, i, 255).lastPaint = painted[i];
  sim.clock = 1000;
  DrawBloodPass(Context(), pass, ped);
  uint8_t* dried = const_cast<uint8_t*>(Pixel(Layers()[1].texture, 5, 5));
  std::memset(dried, 7, 4);  // a conversion would overwrite it

  struct Step {
    uint32_t clock;
    float lastUpload[3];
  };
  const Step steps[] = {
      {99000, {99.0f, 99.0f, 1.0f}},
      {99016, {99.0f, 99.0f, 99.016f}},
      {99032, {99.0f, 99.0f, 99.016f}},
  };
  for (const Step& step : steps) {
    sim.clock = step.clock;
    DrawBloodPass(Context(), pass, ped);
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_FLOAT_EQ(Layers()[i].lastUpload, step.lastUpload[i]) << step.clock << " " << i;
    }
  }
  EXPECT_EQ(dried[0], 7);
  EXPECT_EQ(Pixel(Layers()[2].texture, 5, 5)[2], 15);  // 98 s of 180 dried
}

// Under a paint budget a ped's new textures are made one a pass; without one, all at once.
TEST_F(BloodPassTest, NewTexturesAreSpreadOverFramesUnderABudget) {
  for (float budget : {0.0f, 1.0f}) {
    config.PaintBudget = budget;
    TestMesh mesh = AddMesh(3);
    for (int32_t i = 0; i < 3; ++i) AddLayer(mesh, i, 255);
    for (uint32_t frame = 0; frame < 3; ++frame) {
      sim.clock = 1000 + 16 * frame;
      DrawBloodPass(Context(), pass, ped);
      size_t made = 0;
      for (const MaskLayer& layer : Layers()) made += layer.texture != nullptr;
      EXPECT_EQ(made, budget > 0.0f ? frame + 1 : 3) << "budget " << budget << ", frame " << frame;
    }
    for (MaskLayer& layer : Layers()) ReleaseLayerTexture(sim, layer);
    Layers().clear();
  }
}

// A painting that raises no texel of an old stain still makes its blood fresh: the next
// pass shows the fresh colour, without waiting for the drying refresh.
TEST_F(BloodPassTest, AStainPaintedAgainShowsFreshBloodAtOnce) {
  TestMesh mesh = AddMesh(1);
  AddLayer(mesh, 0, 255).lastPaint = 1.0f;
  sim.clock = 200000;
  DrawBloodPass(Context(), pass, ped);  // uploaded long dried
  const uint8_t driedRed = Pixel(Layers()[0].texture, 5, 5)[2];
  sim.clock = 200500;
  Layers()[0].lastPaint = 200.5f;  // painted, nothing raised, so not dirty
  Layers()[0].dirty = false;
  sim.clock = 200516;
  DrawBloodPass(Context(), pass, ped);
  EXPECT_LT(driedRed, Pixel(Layers()[0].texture, 5, 5)[2]);
  EXPECT_FLOAT_EQ(Layers()[0].lastUpload, 200.516f);
}

TEST_F(BloodPassTest, OnlyMeshesWithATexturedLayerAreDrawnAgain) {
  TestMesh plain = AddMesh(1);
  TestMesh bloody = AddMesh(1);
  AddLayer(bloody, 0, 255);
  DrawBloodPass(Context(), pass, ped);

  ASSERT_EQ(sim.draws.size(), 1u);
  EXPECT_EQ(sim.draws[0].mesh, bloody.mesh);
  HostGeometry* copy = GetBloodGeometry(Context(), bloody.geometry);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(sim.draws[0].geometry, copy);
  ASSERT_EQ(sim.draws[0].textures.size(), 1u);
  EXPECT_EQ(sim.draws[0].textures[0], Layers()[0].texture);
  EXPECT_EQ(sim.draws[0].colours[0], 0xFFFFFFFFu);
  EXPECT_EQ(sim.MeshGeometry(bloody.mesh), bloody.geometry);
  EXPECT_EQ(sim.MeshGeometry(plain.mesh), plain.geometry);
}

TEST_F(BloodPassTest, MaterialsWithoutBloodShowTheBlankTextureAndAreRestored) {
  TestMesh mesh = AddMesh(3);
  AddLayer(mesh, 1, 255);
  DrawBloodPass(Context(), pass, ped);

  ASSERT_EQ(sim.draws.size(), 1u);
  const SimDraw& draw = sim.draws[0];
  HostTexture* blank = pass.blankTexture;
  ASSERT_NE(blank, nullptr);
  ASSERT_EQ(draw.textures.size(), 3u);
  EXPECT_EQ(draw.textures[0], blank);
  EXPECT_EQ(draw.textures[1], Layers()[0].texture);
  EXPECT_EQ(draw.textures[2], blank);
  EXPECT_EQ(draw.colours, std::vector<uint32_t>(3, 0xFFFFFFFFu));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(sim.MaterialTexture(mesh.materials[i]), mesh.gameTextures[i]) << i;
    EXPECT_EQ(sim.MaterialColour(mesh.materials[i]), 0x11223300u + i) << i;
  }
  EXPECT_EQ(sim.MeshGeometry(mesh.mesh), mesh.geometry);

  // BlankTexture: 4 x 4, transparent black, sampling word left alone; made once.
  SimSurface* surface = SurfaceOf(blank);
  EXPECT_EQ(surface->width, 4);
  EXPECT_EQ(surface->height, 4);
  EXPECT_EQ(surface->flags, 0x504u);
  EXPECT_EQ(SimHost::Sim(blank)->sampling, 0u);
  for (size_t y = 0; y < 4; ++y) {
    for (size_t i = 0; i < static_cast<size_t>(surface->stride); ++i) {
      EXPECT_EQ(surface->pixels[y * static_cast<size_t>(surface->stride) + i], i < 16 ? 0 : 0xCD);
    }
  }
  DrawBloodPass(Context(), pass, ped);
  EXPECT_EQ(sim.draws[1].textures[0], blank);
  EXPECT_EQ(sim.TexturesCreated(), 2);
}

TEST_F(BloodPassTest, NoBloodGeometryOrNoRenderCallbackDrawsNothingAndRestores) {
  TestMesh noSkin = AddMesh(2);
  SimHost::Sim(noSkin.geometry)->skin = nullptr;
  TestMesh noCallback = AddMesh(1);
  SimHost::Sim(noCallback.mesh)->hasRenderCallback = false;
  AddLayer(noSkin, 0, 255);
  AddLayer(noCallback, 0, 255);
  DrawBloodPass(Context(), pass, ped);

  EXPECT_TRUE(sim.draws.empty());
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(sim.MaterialTexture(noSkin.materials[i]), noSkin.gameTextures[i]);
    EXPECT_EQ(sim.MaterialColour(noSkin.materials[i]), 0x11223300u + i);
  }
  EXPECT_EQ(sim.MeshGeometry(noSkin.mesh), noSkin.geometry);
}

TEST_F(BloodPassTest, FirstPassLineIsWrittenOnceForTheFirstMeshDrawn) {
  OpenLog();
  TestMesh first = AddMesh(3);
  TestMesh second = AddMesh(1);
  AddLayer(first, 0, 255);
  AddLayer(second, 0, 255);
  DrawBloodPass(Context(), pass, ped);
  DrawBloodPass(Context(), pass, ped);
  EXPECT_EQ(sim.draws.size(), 4u);
  std::vector<std::string> renderLines;
  for (const std::string& line : ReadLogLines()) {
    if (line.rfind("render:", 0) == 0) renderLines.push_back(line);
  }
  EXPECT_EQ(renderLines, std::vector<std::string>{
                             "render: first blood pass through the ped pipeline (3 materials)"});
}

TEST_F(BloodPassTest, CreationFailsLoudlyEveryTimeAndLockFailsQuietlyAfterTheFirst) {
  OpenLog();
  TestMesh mesh = AddMesh(1);
  AddLayer(mesh, 0, 255);

  sim.failCreateSurface = true;
  DrawBloodPass(Context(), pass, ped);
  DrawBloodPass(Context(), pass, ped);
  sim.failCreateSurface = false;
  sim.failCreateTexture = true;
  DrawBloodPass(Context(), pass, ped);
  EXPECT_EQ(CountLogLines("render: blood texture creation FAILED"), 3);
  EXPECT_EQ(sim.surfacesMade, 1);
  EXPECT_EQ(sim.surfacesDestroyed, 1);  // the surface the texture did not take
  EXPECT_EQ(Layers()[0].texture, nullptr);
  EXPECT_TRUE(Layers()[0].dirty);
  EXPECT_TRUE(sim.draws.empty());

  // A texture that could not be filled is not kept: its pixels would be drawn unset.
  sim.failCreateTexture = false;
  sim.failLock = true;
  DrawBloodPass(Context(), pass, ped);
  DrawBloodPass(Context(), pass, ped);
  EXPECT_EQ(CountLogLines("render: blood texture lock FAILED"), 1);
  EXPECT_TRUE(Layers()[0].dirty);
  EXPECT_EQ(Layers()[0].texture, nullptr);
  EXPECT_TRUE(sim.draws.empty());
  EXPECT_EQ(sim.TexturesCreated(), 2);
  EXPECT_EQ(sim.TexturesLive(), 0);

  sim.failLock = false;
  DrawBloodPass(Context(), pass, ped);
  EXPECT_FALSE(Layers()[0].dirty);
  EXPECT_EQ(sim.draws.size(), 1u);
  EXPECT_EQ(Pixel(Layers()[0].texture, 0, 0)[3], 237);
  // A lock failing on a texture that holds an upload keeps it.
  sim.failLock = true;
  Layers()[0].dirty = true;
  DrawBloodPass(Context(), pass, ped);
  EXPECT_NE(Layers()[0].texture, nullptr);
  EXPECT_EQ(sim.draws.size(), 2u);
  EXPECT_EQ(CountLogLines("render: blood texture lock FAILED"), 1);
}

TEST_F(BloodPassTest, BlankTextureIsRetriedAfterFailuresWithoutLeakingSurfaces) {
  sim.failCreateSurface = true;
  EXPECT_EQ(BlankTexture(Context(), pass), nullptr);
  sim.failCreateSurface = false;
  sim.failCreateTexture = true;
  EXPECT_EQ(BlankTexture(Context(), pass), nullptr);
  EXPECT_EQ(sim.surfacesDestroyed, 1);
  sim.failCreateTexture = false;
  sim.failLock = true;
  HostTexture* blank = BlankTexture(Context(), pass);  // kept unfilled: the lock gave no pixels
  ASSERT_NE(blank, nullptr);
  sim.failLock = false;
  EXPECT_EQ(BlankTexture(Context(), pass), blank);
  EXPECT_EQ(sim.TexturesCreated(), 1);
}

TEST_F(BloodPassTest, LayersOfGoneMeshesAndChangedGeometriesArePrunedInOrder) {
  TestMesh a = AddMesh(3);
  TestMesh b = AddMesh(1);
  TestMesh c = AddMesh(1);
  AddLayer(a, 0, 255);
  AddLayer(b, 0, 255);
  AddLayer(a, 1, 255);
  AddLayer(c, 0, 255);
  DrawBloodPass(Context(), pass, ped);
  ASSERT_EQ(sim.TexturesLive(), 5);  // four layers and BlankTexture

  // b leaves the render object, c gets another geometry.
  auto& meshes = SimHost::Sim(object)->meshes;
  meshes.erase(std::find(meshes.begin(), meshes.end(), b.mesh));
  SimHost::Sim(c.mesh)->geometry = sim.AddGeometry();
  DrawBloodPass(Context(), pass, ped);
  ASSERT_EQ(Layers().size(), 2u);
  EXPECT_EQ(Layers()[0].mesh, a.mesh);
  EXPECT_EQ(Layers()[0].materialIndex, 0);
  EXPECT_EQ(Layers()[1].mesh, a.mesh);
  EXPECT_EQ(Layers()[1].materialIndex, 1);
  EXPECT_EQ(sim.TexturesReleased(), 2);

  // Without a render object every layer goes and nothing is drawn.
  size_t drawsBefore = sim.draws.size();
  SimHost::Sim(ped)->renderObject = nullptr;
  DrawBloodPass(Context(), pass, ped);
  EXPECT_TRUE(Layers().empty());
  EXPECT_EQ(sim.draws.size(), drawsBefore);
  EXPECT_EQ(sim.TexturesReleased(), 4);
  EXPECT_EQ(sim.TexturesReleasedTwice(), 0);
  EXPECT_EQ(sim.TexturesLive(), 1);  // BlankTexture lives on
}

TEST_F(BloodPassTest, PedsWithoutBloodStateAreNotTouched) {
  AddMesh(1);
  DrawBloodPass(Context(), pass, ped);
  DrawBloodPass(Context(), pass, nullptr);
  EXPECT_TRUE(sim.draws.empty());
  EXPECT_EQ(sim.TexturesCreated(), 0);
  EXPECT_EQ(tables.bloodStates.count(ped), 0u);
}

TEST_F(BloodPassTest, BrokenMaterialListsNeverReachBeyondTheArray) {
  struct Case {
    const char* name;
    int materials;
    int32_t reported;
  };
  const Case cases[] = {
      {"negative count", 2, -3},
      {"count without an array", 0, 4},
      {"huge count without an array", 0, INT32_MAX},
      {"count below the array", 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    object = sim.AddRenderObject(nullptr);
    ped = sim.AddPed({0, 0, 0}, object);
    TestMesh mesh = AddMesh(c.materials);
    SimHost::Sim(mesh.geometry)->reportedMaterialCount = c.reported;
    AddLayer(mesh, 0, 255);
    DrawBloodPass(Context(), pass, ped);
    ASSERT_EQ(sim.draws.size(), 1u);  // drawn, with whatever materials could be reached
    for (size_t i = 0; i < mesh.materials.size(); ++i) {
      EXPECT_EQ(sim.MaterialTexture(mesh.materials[i]), mesh.gameTextures[i]);
      EXPECT_EQ(sim.MaterialColour(mesh.materials[i]), 0x11223300u + i);
    }
    EXPECT_LE(pass.savedTextures.size(), mesh.materials.size());
    sim.draws.clear();
  }
}

TEST_F(BloodPassTest, HostileSurfacesAndShortMasksAreNeverOverrun) {
  OpenLog();
  TestMesh mesh = AddMesh(1);
  MaskLayer& layer = AddLayer(mesh, 0, 255);
  UploadLayer(Context(), pass, layer);
  ASSERT_NE(layer.texture, nullptr);
  SimSurface* surface = SurfaceOf(layer.texture);

  // A stride narrower than a row: nothing written, retried later.
  std::fill(surface->pixels.begin(), surface->pixels.end(), 0xAB);
  layer.dirty = true;
  surface->stride = static_cast<int32_t>(kWidth * 4) - 4;
  UploadLayer(Context(), pass, layer);
  EXPECT_TRUE(layer.dirty);
  EXPECT_FALSE(surface->locked);
  EXPECT_EQ(std::count(surface->pixels.begin(), surface->pixels.end(), 0xAB),
            static_cast<long>(surface->pixels.size()));
  // Negative, or padded beyond any driver's habit: the rows would land past the surface.
  for (int32_t stride : {-static_cast<int32_t>(kWidth * 4),
                         2 * static_cast<int32_t>(kWidth * 4) + 4100, INT32_MAX}) {
    surface->stride = stride;
    UploadLayer(Context(), pass, layer);
    EXPECT_TRUE(layer.dirty) << stride;
  }
  EXPECT_EQ(CountLogLines("render: blood texture lock FAILED"), 1);

  // A texture without a surface counts as a failed lock.
  surface->stride = static_cast<int32_t>(kWidth * 4);
  SimHost::Sim(layer.texture)->surface = nullptr;
  UploadLayer(Context(), pass, layer);
  EXPECT_TRUE(layer.dirty);
  SimHost::Sim(layer.texture)->surface = surface;

  // A mask smaller than the texture uploads its missing texels as empty.
  BloodMask corner;
  ResetMask(corner, 3, 2);
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 3; ++x) SetMaskAt(corner, x, y, MaskAt(layer.mask, x, y));
  }
  layer.mask = corner;
  UploadLayer(Context(), pass, layer);
  EXPECT_FALSE(layer.dirty);
  EXPECT_EQ(Pixel(layer.texture, 2, 1)[3], 237);
  EXPECT_EQ(Pixel(layer.texture, 3, 1)[3], 0);
  EXPECT_EQ(Pixel(layer.texture, kWidth - 1, kMask - 1)[3], 0);
  layer.mask = BloodMask{};
  UploadLayer(Context(), pass, layer);
  EXPECT_EQ(Pixel(layer.texture, 0, 0)[3], 0);
}

}  // namespace
