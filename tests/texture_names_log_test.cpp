// The log names a ped model's textures once, the first time one of its peds bleeds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/game_facts.h"
#include "host/sim/procedural_ped.h"
#include "support/sim_fixture.h"

namespace {

class TextureNamesLog : public SimTest {};

TEST_F(TextureNamesLog, NamesEachModelsTexturesOnceWhenTurnedOn) {
  const std::string kModel7 = "textures of model 7: vt_ped_skin, vt_ped_clothes, vt_ped_face";
  const struct {
    const char* ini;
    std::vector<std::string> lines;
  } cases[] = {
      {"[Blood]\nLogTextureNames=1\n",
       {kModel7,
        "textures of model 8: vt_ped_skin, "
        "vt_ped_clothes, vt_ped_face"}},
      {"[Blood]\n", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    NewProcess();
    WriteIni(c.ini);
    Start();
    const ProceduralPed first = AddProceduralPed(sim);
    const ProceduralPed second = AddProceduralPedLike(sim, first, {});
    const ProceduralPed other = AddProceduralPedLike(sim, first, {});
    SimHost::Sim(other.ped)->model = 8;
    for (const ProceduralPed* ped : {&first, &second, &first, &other}) {
      sim.clock += 1000;
      sim.GameDamage(sim.AddDamage(nullptr, 20.0f, game::piece::kTorso, game::weapon::kKnife),
                     AsEntity(ped->ped));  // a knife cut
    }
    std::vector<std::string> named;
    for (const std::string& line : ReadLogLines()) {
      if (line.rfind("textures of model", 0) == 0) named.push_back(line);
    }
    EXPECT_EQ(named, c.lines);
  }
}

}  // namespace
