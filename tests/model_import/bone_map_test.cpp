#include "bone_map.h"

#include <gtest/gtest.h>

namespace {

TEST(BoneMap, GuessesGameNumbersFromCommonJointNames) {
  const struct {
    const char* name;
    int32_t bone;
  } cases[] = {
      {"Hips", 1},
      {"mixamorig:Hips", 1},
      {"Bip01 Pelvis", 1},
      {"B_Root_Pelvis_L", 1},  // a centre bone keeps its number whatever the side word
      {"Spine", 2},
      {"Bip01 Spine1", 2},
      {"Chest", 3},
      {"Neck", 4},
      {"head", 5},
      {"Bip01 R Clavicle", 21},
      {"RightShoulder", 21},
      {"mixamorig:RightArm", 22},
      {"upperarm_r", 22},
      {"B_ForeArm_Right", 23},
      {"lowerarm.R", 23},
      {"RightHand", 24},
      {"Bip01 L Clavicle", 31},
      {"B_UpperArm_Left", 32},
      {"LeftForeArm", 33},
      {"hand.L", 34},
      {"LeftUpLeg", 41},
      {"B_Hip_Left", 41},
      {"thigh_l", 41},
      {"LeftLeg", 42},
      {"B_Knee_Left", 42},
      {"lCalf", 42},
      {"B_Ankle_Left", 43},
      {"Left_Foot", 43},
      {"RightUpLeg", 51},
      {"Bip01 R Calf", 52},
      {"foot.R", 53},
      // Blender's Rigify deform bones and DAZ's split joints.
      {"DEF-spine", 1},
      {"DEF-spine.001", 2},
      {"DEF-spine.002", 3},
      {"DEF-spine.004", 4},
      {"DEF-spine.006", 5},
      {"DEF-upper_arm.L", 32},
      {"DEF-forearm.R", 23},
      {"DEF-shin.L", 42},
      {"lShldrBend", 32},
      {"rForearmBend", 23},
      {"lThighBend", 41},
      {"abdomenLower", 2},
      {"chestLower", 3},
      {"neckLower", 4},
      // Not these bones.
      {"DEF-spine.003", -1},
      {"DEF-upper_arm.L.001", -1},  // the second segment of a split limb
      {"DEF-pelvis.L", -1},
      {"rShldrTwist", -1},
      {"abdomenUpper", -1},
      {"neckUpper", -1},
      {"B_Finger1_Left", -1},
      {"LeftHandThumb1", -1},
      {"LeftToeBase", -1},
      {"Head_end", -1},
      {"Hand", -1},  // a side bone without a side
      {"Armature", -1},
      {"Bip01", -1},
      {"", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(GuessBoneNumber(c.name), c.bone) << c.name;
}

TEST(BoneMap, AssignsGuessedMappedAndFreeNumbers) {
  const std::vector<std::string> joints = {"Root", "Hips", "Spine",   "Spine1",       "Spine2",
                                           "Neck", "Head", "LeftArm", "LeftArm_copy", "Tail"};
  // Guessed: a second spine becomes the upper spine; taken guesses and the rest count up.
  EXPECT_EQ(AssignBoneNumbers(joints, nullptr),
            (std::vector<int32_t>{100, 1, 2, 3, 101, 4, 5, 32, 102, 103}));

  // Rigify's other bone layers copy the deform bones' names: only DEF- bones are guessed.
  EXPECT_EQ(AssignBoneNumbers({"ORG-upper_arm.L", "DEF-upper_arm.L", "MCH-spine"}, nullptr),
            (std::vector<int32_t>{100, 32, 101}));

  std::vector<BoneMapEntry> map = {{"Hips", 7, 1}, {"Neck", 101, 2}, {"Elsewhere", 5, 3}};
  EXPECT_EQ(AssignBoneNumbers(joints, &map),
            (std::vector<int32_t>{100, 7, 102, 103, 104, 101, 105, 106, 107, 108}));
}

TEST(BoneMap, ParsesMappingTextAndNamesBadLines) {
  std::vector<BoneMapEntry> map;
  std::string error;
  ASSERT_TRUE(ParseBoneMap("# joints of the rig\n\nBip01 Pelvis 1\n  Bip01 L Thigh\t41 # left\r\n",
                           "rig.map", map, error))
      << error;
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(map[0].joint, "Bip01 Pelvis");
  EXPECT_EQ(map[0].bone, 1);
  EXPECT_EQ(map[1].joint, "Bip01 L Thigh");
  EXPECT_EQ(map[1].bone, 41);

  const struct {
    const char* text;
    const char* error;
  } bad[] = {
      {"Pelvis 1\nSpine\n", "rig.map:2: expected 'jointName boneNumber'"},
      {"Pelvis 1\n# note\nSpine two\n", "rig.map:3: bone number 'two' is not an integer"},
      {"Spine 2x\n", "rig.map:1: bone number '2x' is not an integer"},
      {"Spine -1\n", "rig.map:1: bone number -1 is outside 0 to 65535"},
      {"Spine 65536\n", "rig.map:1: bone number 65536 is outside 0 to 65535"},
      {"Spine 99999999999999999999\n",
       "rig.map:1: bone number '99999999999999999999' is not an integer"},
      {"Spine 2\nSpine 3\n", "rig.map:2: joint 'Spine' is mapped twice"},
      {"Spine 2\nChest 2\n", "rig.map:2: bone number 2 is given twice"},
  };
  for (const auto& c : bad) {
    map = {{"stale", 1, 1}};
    EXPECT_FALSE(ParseBoneMap(c.text, "rig.map", map, error)) << c.text;
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(map.empty());
  }
  EXPECT_TRUE(ParseBoneMap("Spine 65535\nPelvis 0\n", "rig.map", map, error));

  EXPECT_FALSE(LoadBoneMap("/nonexistent/rig.map", map, error));
  EXPECT_EQ(error, "/nonexistent/rig.map: cannot open the bone map");
}

}  // namespace
