// The plug-in library in a synthetic game process: a session of start-up, a pistol hit, a
// shot into a corpse, ped removal and game resets, unload; the refused builds; a run
// without log. Each test is its own process (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "plugin_case.h"
#include "synthetic_game.h"

namespace synthetic {
namespace {

namespace ga = game_address;

// Failure messages reach the output at once: under an x86 emulator the process may not
// survive the debugger notification that follows a failure.
[[maybe_unused]] const int kUnbufferedOutput = std::setvbuf(stdout, nullptr, _IONBF, 0);

constexpr int32_t kPistol = 22;
constexpr uint8_t kTorso = 3;
constexpr uintptr_t kCallSites[5] = {ga::kPedRemovalCall, ga::kFrameCall, ga::kFirstResetCall,
                                     ga::kSecondResetCallA, ga::kSecondResetCallB};
constexpr uintptr_t kHookTargets[3] = {ga::kDamageRoutine, ga::kFireRoutine, ga::kPedRender};

std::string Format(const char* format, const void* pointer) {
  char text[128];
  std::snprintf(text, sizeof text, format,
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer)));
  return text;
}

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& start) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.rfind(start, 0) == 0; });
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Where a segment first meets the ped's posed meshes (the nearest triangle along it).
struct Hit {
  int mesh = -1;
  int triangle = -1;
  float u = 0, v = 0;
};

Hit FirstHit(const SyntheticGame& game, const Ped& ped, Vec3 start, Vec3 end) {
  Hit best;
  float bestT = 2.0f;
  const Vec3 d = end - start;
  for (size_t m = 0; m < ped.meshes.size(); ++m) {
    const std::vector<Vec3> posed = game.PosedPositions(ped, m);
    const GeometryInfo& info = game.geometries.at(ped.geometries[m]);
    for (size_t t = 0; t < info.triangles.size(); ++t) {
      const HostTriangle& tri = info.triangles[t];
      const Vec3 v0 = posed[tri.vertex[0]];
      const Vec3 e1 = posed[tri.vertex[1]] - v0, e2 = posed[tri.vertex[2]] - v0;
      const Vec3 p = Cross(d, e2);
      const float det = Dot(e1, p);
      if (std::fabs(det) < 1e-9f) continue;
      const Vec3 s = start - v0;
      const float u = Dot(s, p) / det;
      const Vec3 q = Cross(s, e1);
      const float v = Dot(d, q) / det;
      const float hitT = Dot(e2, q) / det;
      if (u < 0 || u > 1 || v < 0 || u + v > 1 || hitT < 0 || hitT >= bestT) continue;
      best = {static_cast<int>(m), static_cast<int>(t), u, v};
      bestT = hitT;
    }
  }
  return best;
}

// The draws of one render of the ped: its base draws and then its blood draws.
std::vector<Draw> DrawsOf(const SyntheticGame& game, size_t from, const Ped& ped) {
  std::vector<Draw> draws;
  for (size_t i = from; i < game.draws.size(); ++i) {
    const Draw& draw = game.draws[i];
    if (std::find(ped.meshes.begin(), ped.meshes.end(), draw.mesh) != ped.meshes.end()) {
      draws.push_back(draw);
    }
  }
  return draws;
}

struct Pixel {
  uint8_t b, g, r, a;
};

Pixel PixelAt(const SurfaceInfo& surface, int x, int y) {
  x = ((x % surface.width) + surface.width) % surface.width;
  y = ((y % surface.height) + surface.height) % surface.height;
  const uint8_t* p = &surface.pixels[static_cast<size_t>(y) * surface.width * 4 + x * 4];
  return {p[0], p[1], p[2], p[3]};
}

int BloodPixels(const SurfaceInfo& surface) {
  int count = 0;
  for (size_t i = 3; i < surface.pixels.size(); i += 4) count += surface.pixels[i] != 0;
  return count;
}

// The blood texture drawn for the hit's material in the ped's blood draw of that mesh,
// and the strongest blood pixel within two texels of the wound centre there.
struct WoundPixel {
  const SurfaceInfo* surface = nullptr;
  Pixel strongest{0, 0, 0, 0};
};

WoundPixel BloodAtWound(const SyntheticGame& game, const Ped& ped, const std::vector<Draw>& draws,
                        const Hit& hit) {
  WoundPixel found;
  HostMesh* mesh = ped.meshes[hit.mesh];
  const GeometryInfo& source = game.geometries.at(ped.geometries[hit.mesh]);
  for (const Draw& draw : draws) {
    if (draw.mesh != mesh || draw.geometry == ped.geometries[hit.mesh]) continue;
    const GeometryInfo& copy = game.geometries.at(draw.geometry);
    const HostTriangle& tri = copy.triangles[hit.triangle];
    const TexCoord c0 = copy.texCoords[tri.vertex[0]], c1 = copy.texCoords[tri.vertex[1]],
                   c2 = copy.texCoords[tri.vertex[2]];
    const float w0 = 1 - hit.u - hit.v;
    const float u = c0.u * w0 + c1.u * hit.u + c2.u * hit.v;
    const float v = c0.v * w0 + c1.v * hit.u + c2.v * hit.v;
    HostTexture* texture = draw.textures[source.triangles[hit.triangle].material];
    const HostSurface* surface = reinterpret_cast<GameTexture*>(texture)->surface;
    found.surface = &game.surfaces.at(const_cast<HostSurface*>(surface));
    const int x = static_cast<int>(std::floor(u * found.surface->width));
    const int y = static_cast<int>(std::floor(v * found.surface->height));
    for (int dy = -2; dy <= 2; ++dy) {
      for (int dx = -2; dx <= 2; ++dx) {
        const Pixel p = PixelAt(*found.surface, x + dx, y + dy);
        if (p.a > found.strongest.a) found.strongest = p;
      }
    }
  }
  return found;
}

// The material records of the ped's meshes with their texture and colour word.
std::vector<GameMaterial> Materials(const SyntheticGame& game, const Ped& ped) {
  std::vector<GameMaterial> materials;
  for (HostGeometry* geometry : ped.geometries) {
    for (HostMaterial* material : game.geometries.at(geometry).materials) {
      materials.push_back(*reinterpret_cast<GameMaterial*>(material));
    }
  }
  return materials;
}

bool SameMaterials(const std::vector<GameMaterial>& a, const std::vector<GameMaterial>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](const GameMaterial& x, const GameMaterial& y) {
                                              return x.texture == y.texture && x.colour == y.colour;
                                            });
}

// Shoots ped with a pistol as the game does: the fire routine, then the damage routine.
void PistolHitAsAimed(SyntheticGame& game, const Ped& player, const Ped& ped) {
  EXPECT_EQ(game.Fire(kPistol, player), 1);
  GameDamage* hit =
      game.AddDamage(reinterpret_cast<HostEntity*>(player.game), 25.0f, kTorso, kPistol);
  game.Damage(hit, reinterpret_cast<HostEntity*>(ped.game));
}

// The same, aimed at the ped's chest.
void PistolHit(SyntheticGame& game, const Ped& player, const Ped& ped) {
  game.AimAt(game.BonePosition(ped, 3));
  PistolHitAsAimed(game, player, ped);
}

// One game session, played through in moments: each GameMoment test is the next moment
// of the same session, in the order written (later moments are skipped once one fails).
struct Session {
  Session() { game.SetPlayer(player); }
  SyntheticGame game;
  Ped& player = game.AddPed({0, 4, 0}, false);
  Ped& target = game.AddPed({0, 0, 0}, false);
  Ped& corpse = game.AddPed({3, 0, 0}, true);
  const CodeBytes before = SyntheticGame::ReadCode();
  PluginCase plugin{"moment"};
  CodeBytes loaded{};   // once the library is in
  Hit hit;              // the pistol hit on target
  int freshPixels = 0;  // blood pixels of that wound when it is fresh
  bool broken = false;
};

class GameMoment : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { session = new Session; }
  static void TearDownTestSuite() {
    delete session;
    session = nullptr;
  }
  void SetUp() override {
    if (session->broken) GTEST_SKIP() << "an earlier moment of the session failed";
  }
  void TearDown() override {
    if (HasFailure()) session->broken = true;
  }

  static Session* session;
  SyntheticGame& game = session->game;
  PluginCase& plugin = session->plugin;
  Ped& player = session->player;
  Ped& target = session->target;
  Ped& corpse = session->corpse;
};
Session* GameMoment::session = nullptr;

TEST_F(GameMoment, LoadsWithItsHooksCallSitesAndHeadCall) {
  ASSERT_TRUE(plugin.Load());

  // Start-up: the three lines, the three hooks, the five call sites and the head call.
  std::vector<std::string> lines = plugin.LogLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Vermiltrace loaded");
  EXPECT_EQ(lines[1], "damage hook installed, fire hook installed");
  EXPECT_EQ(lines[2], "render hook installed");
  session->loaded = SyntheticGame::ReadCode();
  const CodeBytes& loaded = session->loaded;
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(loaded.hookTargets[i][0], 0xE9);
    // The jump leads to the trampoline's jump to the system's entry.
    EXPECT_TRUE(plugin.InLibrary(
        SyntheticGame::BranchTarget(SyntheticGame::BranchTarget(kHookTargets[i]))));
  }
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(loaded.callSites[i][0], 0xE8);
    // The call leads to a stub that jumps to the system's dispatcher.
    EXPECT_TRUE(
        plugin.InLibrary(SyntheticGame::BranchTarget(SyntheticGame::BranchTarget(kCallSites[i]))));
  }
  EXPECT_EQ(loaded.headCall[0], 0xE8);
  // The rewritten call stays after unloading, so its callee lies outside the library.
  const uintptr_t headCallee = SyntheticGame::BranchTarget(ga::kHeadRemovalCall);
  EXPECT_FALSE(plugin.InLibrary(headCallee));
  EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(headCallee), "\xC2\x08\x00", 3), 0);
  game.RemoveHead(target);  // the rewritten call removes its two arguments and nothing else
  EXPECT_EQ(game.headRemovals, 0);
}

TEST_F(GameMoment, PistolHitIsPaintedAndDrawnAfterThePed) {
  // Frames pass, the player shoots the ped, the game draws it.
  EXPECT_EQ(game.Frame(), reinterpret_cast<void*>(0x5EED0002));
  game.RunFrames(4);
  EXPECT_EQ(game.frameCalls, 5);
  PistolHit(game, player, target);
  EXPECT_EQ(game.fireCalls, 1);
  EXPECT_EQ(game.damageCalls, 1);
  EXPECT_EQ(game.lastFireArgs[0], 2u);
  EXPECT_EQ(game.lastFireArgs[4], 6u);
  EXPECT_EQ(game.lastDamageArgs[1], 0xA2A2A2A2u);
  EXPECT_FLOAT_EQ(target.game->health, 75.0f);
  const Hit hit = session->hit = FirstHit(game, target, game.lastAimStart, game.lastAimEnd);
  ASSERT_GE(hit.mesh, 0);

  const std::vector<GameMaterial> materialsBefore = Materials(game, target);
  const size_t firstDraw = game.draws.size();
  game.Render(target);
  std::vector<Draw> draws = DrawsOf(game, firstDraw, target);
  ASSERT_GT(draws.size(), target.meshes.size());
  for (size_t i = 0; i < target.meshes.size(); ++i) {
    EXPECT_EQ(draws[i].geometry, target.geometries[i]);  // the game's own draw first
  }
  const Draw& blood = draws[target.meshes.size()];
  const GeometryInfo& copy = game.geometries.at(blood.geometry);
  const GeometryInfo& source = game.geometries.at(
      target.geometries[std::find(target.meshes.begin(), target.meshes.end(), blood.mesh) -
                        target.meshes.begin()]);
  EXPECT_TRUE(copy.madeBySystem);
  EXPECT_TRUE(copy.finished);
  EXPECT_EQ(copy.skin, source.skin);
  EXPECT_EQ(copy.triangles.size(), source.triangles.size());
  for (size_t i = 0; i < blood.textures.size(); ++i) {
    EXPECT_TRUE(game.textures.at(blood.textures[i]).madeBySystem);
    EXPECT_EQ(blood.colours[i], 0xFFFFFFFFu);
  }
  EXPECT_TRUE(SameMaterials(Materials(game, target), materialsBefore));
  EXPECT_EQ(game.badLocks, 0);

  WoundPixel wound = BloodAtWound(game, target, draws, hit);
  ASSERT_NE(wound.surface, nullptr);
  EXPECT_EQ(wound.surface->width, 512);
  EXPECT_EQ(wound.surface->height, 256);
  EXPECT_GT(wound.strongest.a, 0);
  EXPECT_GT(wound.strongest.r, wound.strongest.g);
  EXPECT_GT(wound.strongest.r, wound.strongest.b);
  const int freshPixels = session->freshPixels = BloodPixels(*wound.surface);
  EXPECT_LT(freshPixels, wound.surface->width * wound.surface->height / 20);  // one small blot

  const std::vector<std::string> lines = plugin.LogLines();
  EXPECT_TRUE(HasLine(lines, "shot w22 x1: 0 corpses near the aim ray (1 dead peds in pool)"));
  EXPECT_TRUE(HasLineStartingWith(
      lines, Format("aim w22 p3 ped %08X model 7: wound 1, ray hit mesh, r ", target.game)));
  EXPECT_TRUE(HasLineStartingWith(lines, "render: first blood pass through the ped pipeline ("));
}

TEST_F(GameMoment, WoundFlowsWhileFramesPass) {
  // The next upload shows a larger blot.
  game.RunFrames(60);
  const size_t firstDraw = game.draws.size();
  game.Render(target);
  const WoundPixel wound =
      BloodAtWound(game, target, DrawsOf(game, firstDraw, target), session->hit);
  ASSERT_NE(wound.surface, nullptr);
  EXPECT_GT(BloodPixels(*wound.surface), session->freshPixels);
}

TEST_F(GameMoment, ShotIntoTheCorpseWoundsIt) {
  // Through the fire routine alone.
  game.AimAt(game.BonePosition(corpse, 1));
  EXPECT_EQ(game.Fire(kPistol, player), 1);
  const Hit corpseHit = FirstHit(game, corpse, game.lastAimStart, game.lastAimEnd);
  ASSERT_GE(corpseHit.mesh, 0);
  const std::vector<std::string> lines = plugin.LogLines();
  EXPECT_TRUE(HasLine(lines, "shot w22 x1: 1 corpses near the aim ray (1 dead peds in pool)"));
  EXPECT_TRUE(HasLineStartingWith(
      lines, Format("corpse w22 ped %08X model 7: wound 1, ray hit mesh, r ", corpse.game)));
  const size_t firstDraw = game.draws.size();
  game.Render(corpse);
  const WoundPixel wound = BloodAtWound(game, corpse, DrawsOf(game, firstDraw, corpse), corpseHit);
  ASSERT_NE(wound.surface, nullptr);
  EXPECT_GT(wound.strongest.a, 0);
  EXPECT_EQ(game.badLineTests, 0);
  EXPECT_EQ(game.badPlayerLookups, 0);
}

TEST_F(GameMoment, PedRemovalAndFirstResetDropBlood) {
  // Removing the ped drops its blood before the game's own removal runs; a reset drops
  // the rest. Every texture is released exactly once.
  const std::vector<HostTexture*> targetTextures = game.TexturesDrawnFor(target);
  const std::vector<HostTexture*> corpseTextures = game.TexturesDrawnFor(corpse);
  ASSERT_FALSE(targetTextures.empty());
  ASSERT_FALSE(corpseTextures.empty());
  EXPECT_EQ(game.RemovePed(target), reinterpret_cast<void*>(0x5EED0001));
  EXPECT_EQ(game.removeCalls, 1);
  EXPECT_FALSE(game.removedPedHadTextures);
  for (HostTexture* texture : targetTextures) EXPECT_EQ(game.textures.at(texture).releases, 1);
  for (HostTexture* texture : corpseTextures) EXPECT_EQ(game.textures.at(texture).releases, 0);
  EXPECT_EQ(game.Reset(0), reinterpret_cast<void*>(0x5EED0003));
  for (HostTexture* texture : corpseTextures) EXPECT_EQ(game.textures.at(texture).releases, 1);
  const size_t firstDraw = game.draws.size();
  game.Render(corpse);
  EXPECT_EQ(DrawsOf(game, firstDraw, corpse).size(), corpse.meshes.size());  // no blood left
}

TEST_F(GameMoment, SecondResetDropsBloodThroughEitherCallSite) {
  game.AimAt(game.BonePosition(corpse, 1));
  game.Fire(kPistol, player);
  game.Render(corpse);
  EXPECT_GT(game.LiveBloodTextures(), 0);
  game.Reset(1);
  EXPECT_EQ(game.Reset(2), reinterpret_cast<void*>(0x5EED0003));
  EXPECT_EQ(game.resetCalls[0] + game.resetCalls[1] + game.resetCalls[2], 3);
  EXPECT_EQ(game.LiveBloodTextures(), 0);
  EXPECT_EQ(game.TexturesReleasedTwice(), 0);
}

TEST_F(GameMoment, UnloadGivesBackEveryByteButTheHeadCall) {
  const CodeBytes& before = session->before;
  const CodeBytes& loaded = session->loaded;
  ASSERT_TRUE(plugin.Unload());
  const CodeBytes unloaded = SyntheticGame::ReadCode();
  EXPECT_EQ(std::memcmp(unloaded.hookTargets, before.hookTargets, sizeof before.hookTargets), 0);
  EXPECT_EQ(std::memcmp(unloaded.callSites, before.callSites, sizeof before.callSites), 0);
  EXPECT_EQ(std::memcmp(unloaded.headCall, loaded.headCall, 5), 0);
  EXPECT_NE(SyntheticGame::BranchTarget(ga::kHeadRemovalCall), SyntheticGame::OriginalHeadCallee());
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(SyntheticGame::BranchTarget(kCallSites[i]), SyntheticGame::OriginalCallee(i));
  }
}

TEST_F(GameMoment, GameRunsOnWithoutTheSystem) {
  const size_t drawsBefore = game.draws.size();
  PistolHit(game, player, corpse);
  game.Render(corpse);
  game.Frame();
  EXPECT_EQ(game.draws.size() - drawsBefore, corpse.meshes.size());
  EXPECT_EQ(game.fireCalls, 4);
  game.RemoveHead(corpse);  // through the call the system rewrote, its callee still there
  EXPECT_EQ(game.headRemovals, 0);
  EXPECT_TRUE(MessageBoxCalls().empty());
}

TEST(SyntheticGame, RefusesAnUnknownBuildWithOneMessageAndNoChange) {
  SyntheticGame game;
  game.SetPlayer(game.AddPed({0, 4, 0}, false));
  SyntheticGame::SetProbe(0x90909090);
  const uint8_t* image = reinterpret_cast<const uint8_t*>(ga::kCodeStart);
  const std::vector<uint8_t> before(image, image + (0xC90000 - ga::kCodeStart));

  PluginCase plugin("refused");
  ASSERT_TRUE(plugin.Load());
  ASSERT_EQ(MessageBoxCalls().size(), 1u);
  const MessageBoxCall& box = MessageBoxCalls()[0];
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(box.text,
            "Vermiltrace needs GTA San Andreas 1.0 US (original or downgraded).\n"
            "This version isn't supported, so the mod is turned off.");
  EXPECT_EQ(box.caption, "Vermiltrace");
  EXPECT_EQ(box.style, 0x30u);
  EXPECT_FALSE(plugin.LogExists());
  EXPECT_TRUE(std::equal(before.begin(), before.end(), image));
  ASSERT_TRUE(plugin.Unload());
  EXPECT_TRUE(std::equal(before.begin(), before.end(), image));
  EXPECT_EQ(MessageBoxCalls().size(), 1u);
}

TEST(SyntheticGame, AcceptsTheSecondBuild) {
  SyntheticGame game;
  Ped& player = game.AddPed({0, 4, 0}, false);
  game.SetPlayer(player);
  // Off the line of the player's eye: a view segment in the ped's plane of symmetry would run
  // along the shared edges of its triangles, where a 32-bit float test may slip between them.
  Ped& target = game.AddPed({0.03f, 0, 0}, false);
  SyntheticGame::SetProbe(0x16197BE9);  // E9 7B 19 16
  const CodeBytes before = SyntheticGame::ReadCode();
  PluginCase plugin("build1002");
  ASSERT_TRUE(plugin.Load());
  std::vector<std::string> lines = plugin.LogLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], "damage hook installed, fire hook installed");
  EXPECT_EQ(lines[2], "render hook installed");
  EXPECT_FALSE(SyntheticGame::ReadCode() == before);

  // An aimed hit whose aim segment passes over the ped lands through the camera's active
  // view (the second of its views) instead.
  game.aimQueryMisses = true;
  PistolHit(game, player, target);
  lines = plugin.LogLines();
  EXPECT_TRUE(HasLineStartingWith(
      lines, Format("aim w22 p3 ped %08X model 7: wound 1, ray hit mesh, r ", target.game)));

  // A view index beyond the camera's three views gives no view segment, even when the
  // memory past the camera holds one that would hit: the shot becomes a body wound.
  game.AimAt(game.BonePosition(target, 3));
  auto* camera = reinterpret_cast<GameCamera*>(ga::kCamera);
  camera->activeView = 7;
  reinterpret_cast<GameCameraView*>(ga::kCamera + offsetof(GameCamera, views))[7] =
      camera->views[1];
  game.RunFrames(5);  // past the repeat window of the first hit
  PistolHitAsAimed(game, player, target);
  lines = plugin.LogLines();
  EXPECT_FALSE(
      HasLineStartingWith(lines, Format("aim w22 p3 ped %08X model 7: wound 2", target.game)));
  EXPECT_TRUE(
      HasLineStartingWith(lines, Format("damage w22 p3 ped %08X model 7: wound 2, ", target.game)));
  ASSERT_TRUE(plugin.Unload());
  const CodeBytes after = SyntheticGame::ReadCode();
  EXPECT_EQ(std::memcmp(after.callSites, before.callSites, sizeof before.callSites), 0);
  EXPECT_EQ(std::memcmp(after.hookTargets, before.hookTargets, sizeof before.hookTargets), 0);
  EXPECT_TRUE(MessageBoxCalls().empty());
}

TEST(SyntheticGame, PaintsBloodWithTheLogOff) {
  SyntheticGame game;
  Ped& player = game.AddPed({0, 4, 0}, false);
  game.SetPlayer(player);
  Ped& target = game.AddPed({0, 0, 0}, false);
  PluginCase plugin("nolog", {"Log=0"});
  ASSERT_TRUE(plugin.Load());
  game.RunFrames(3);
  PistolHit(game, player, target);
  const Hit hit = FirstHit(game, target, game.lastAimStart, game.lastAimEnd);
  ASSERT_GE(hit.mesh, 0);
  const size_t firstDraw = game.draws.size();
  game.Render(target);
  const WoundPixel wound = BloodAtWound(game, target, DrawsOf(game, firstDraw, target), hit);
  ASSERT_NE(wound.surface, nullptr);
  EXPECT_GT(wound.strongest.a, 0);
  ASSERT_TRUE(plugin.Unload());
  EXPECT_FALSE(plugin.LogExists());
}

}  // namespace
}  // namespace synthetic
