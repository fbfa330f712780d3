// Game bone numbers for the joints of an imported model, from a mapping file or guessed
// from common joint names (1 pelvis, 2 spine, 3 upper spine, 4 neck, 5 head, 21-24 right
// clavicle, upper arm, forearm, hand, 31-34 the same on the left, 41-43 left thigh, calf,
// foot, 51-53 the same on the right).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BoneMapEntry {
  std::string joint;
  int32_t bone;
  int line;  // in the mapping file, for messages
};

// Parses mapping text: one "jointName boneNumber" per line, the number being the last word
// (so names may hold spaces); '#' starts a comment; blank lines are skipped. False, with
// error "<source>:<line>: <reason>", on a line without a name or number, a number that is
// not an integer from 0 to 65535, or a joint or number given twice.
bool ParseBoneMap(const std::string& text, const std::string& source,
                  std::vector<BoneMapEntry>& out, std::string& error);

// Reads the mapping file at path (at most kMaxBoneMapBytes) and parses it; error names the
// file when it is unreadable, not a plain file or too large.
bool LoadBoneMap(const std::string& path, std::vector<BoneMapEntry>& out, std::string& error);

constexpr size_t kMaxBoneMapBytes = 4u << 20;

// The game bone number that a joint name suggests, or -1. Side words: l, left, r, right as
// separate words (split at '_', '.', ' ', ':', '-', case changes and digits). Blender's
// Rigify deform bones (DEF-spine, DEF-spine.001, ... DEF-upper_arm.L) and DAZ names
// (lShldrBend, abdomenLower, chestLower, neckLower) are known; numbered segments after a
// limb's first (DEF-forearm.L.001), twist and helper joints, and the upper halves of
// split chains (abdomenUpper, chestUpper, neckUpper) are no game bone.
int32_t GuessBoneNumber(const std::string& jointName);

// One number per joint, in joint order (parents before children). With a map, mapped joints
// get its numbers; without one, numbers are guessed, a spine whose number 2 is taken
// becomes the upper spine (3). Where the joints include Rigify deform bones (DEF-), only
// those are guessed: its ORG-, MCH- and control bones copy the same names. Joints left
// without a number, or whose guess is taken by an earlier joint, get the free numbers
// from 100 up.
std::vector<int32_t> AssignBoneNumbers(const std::vector<std::string>& joints,
                                       const std::vector<BoneMapEntry>* map);
