#include "bone_map.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "quoted_text.h"

namespace {

constexpr int32_t kFirstFreeNumber = 100;
constexpr long kMaxBoneNumber = 65535;

std::string Trim(const std::string& s) {
  size_t begin = s.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  size_t end = s.find_last_not_of(" \t\r\n");
  return s.substr(begin, end - begin + 1);
}

bool IsLower(char c) { return std::islower(static_cast<unsigned char>(c)) != 0; }
bool IsUpper(char c) { return std::isupper(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool IsAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// Lower-case words of a joint name: split at anything not a letter or digit, where a
// lower-case letter meets an upper-case one, and between letters and digits.
std::vector<std::string> Words(const std::string& name) {
  std::vector<std::string> words;
  std::string word;
  auto flush = [&] {
    if (!word.empty()) words.push_back(word);
    word.clear();
  };
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    if (!IsAlpha(c) && !IsDigit(c)) {
      flush();
      continue;
    }
    if (!word.empty()) {
      char prev = name[i - 1];
      bool caseChange = IsLower(prev) && IsUpper(c);
      bool kindChange = IsDigit(prev) != IsDigit(c);
      if (caseChange || kindChange) flush();
    }
    word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  flush();
  return words;
}

bool Has(const std::vector<std::string>& words, std::initializer_list<const char*> any) {
  for (const std::string& w : words) {
    for (const char* a : any) {
      if (w == a) return true;
    }
  }
  return false;
}

bool Contains(const std::string& joined, std::initializer_list<const char*> any) {
  for (const char* a : any) {
    if (joined.find(a) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

bool ParseBoneMap(const std::string& text, const std::string& source,
                  std::vector<BoneMapEntry>& out, std::string& error) {
  out.clear();
  std::istringstream lines(text);
  std::string line;
  std::set<std::string> joints;
  std::set<int32_t> numbers;
  for (int number = 1; std::getline(lines, line); ++number) {
    auto fail = [&](const std::string& reason) {
      error = source + ":" + std::to_string(number) + ": " + reason;
      out.clear();
      return false;
    };
    line = Trim(line.substr(0, line.find('#')));
    if (line.empty()) continue;
    size_t split = line.find_last_of(" \t");
    if (split == std::string::npos) return fail("expected 'jointName boneNumber'");
    std::string joint = Trim(line.substr(0, split));
    std::string digits = line.substr(split + 1);
    char* end = nullptr;
    errno = 0;
    long bone = std::strtol(digits.c_str(), &end, 10);
    bool integer = !digits.empty() && *end == '\0' && errno == 0 &&
                   (IsDigit(digits[0]) || digits[0] == '-' || digits[0] == '+');
    if (!integer) return fail("bone number " + QuotedText(digits) + " is not an integer");
    if (bone < 0 || bone > kMaxBoneNumber) {
      return fail("bone number " + digits + " is outside 0 to 65535");
    }
    if (!joints.insert(joint).second)
      return fail("joint " + QuotedText(joint) + " is mapped twice");
    if (!numbers.insert(static_cast<int32_t>(bone)).second) {
      return fail("bone number " + digits + " is given twice");
    }
    out.push_back({joint, static_cast<int32_t>(bone), number});
  }
  return true;
}

bool LoadBoneMap(const std::string& path, std::vector<BoneMapEntry>& out, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot open the bone map";
    return false;
  }
  // Read one byte past the limit: an endless file (a device, a pipe) stops there.
  std::string text(kMaxBoneMapBytes + 1, '\0');
  file.read(&text[0], static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(file.gcount()));
  if (text.size() > kMaxBoneMapBytes) {
    error =
        path + ": the bone map is larger than " + std::to_string(kMaxBoneMapBytes >> 20) + " MiB";
    return false;
  }
  return ParseBoneMap(text, path, out, error);
}

int32_t GuessBoneNumber(const std::string& jointName) {
  std::vector<std::string> all = Words(jointName);
  const bool rigify = !all.empty() && all[0] == "def";
  int side = 0;      // -1 left, 1 right
  int segment = -1;  // the number after the name (Rigify's .001), -1 when none
  std::vector<std::string> words;
  std::string joined;
  for (size_t i = rigify ? 1 : 0; i < all.size(); ++i) {
    const std::string& w = all[i];
    bool left = w == "l" || w == "left";
    bool right = w == "r" || w == "right";
    if (left || right) {
      if (side == 0) side = left ? -1 : 1;
      continue;
    }
    if (IsDigit(w[0])) {
      segment = std::atoi(w.substr(0, 4).c_str());
      continue;
    }
    words.push_back(w);
    joined += w;
  }
  // Small joints and rig helpers near the big ones are not those bones.
  if (Has(words,
          {"finger", "thumb", "index",  "middle", "ring",    "pinky",   "toe",    "toes",  "eye",
           "eyes",   "lid",   "eyelid", "brow",   "eyebrow", "lip",     "jaw",    "mouth", "cheek",
           "tongue", "teeth", "ear",    "nose",   "hair",    "tail",    "twist",  "roll",  "end",
           "nub",    "ik",    "target", "pole",   "ctrl",    "control", "helper", "breast"})) {
    return -1;
  }
  if (rigify) {
    // DEF-spine is the hips; .001 spine, .002 chest, .004 neck, .006 head. Any other numbered
    // deform bone is the second segment of a split limb or chain.
    if (words.size() == 1 && words[0] == "spine" && side == 0) {
      static const int32_t kChain[] = {1, 2, 3, -1, 4, -1, 5};
      int index = segment < 0 ? 0 : segment;
      return index < 7 ? kChain[index] : -1;
    }
    if (segment >= 0) return -1;
  }
  if (Has(words, {"pelvis", "hips"}) || (side == 0 && Has(words, {"hip"}))) {
    return rigify && side != 0 ? -1 : 1;  // Rigify's DEF-pelvis.L is a hip-area helper
  }
  int32_t sided = -1;  // the right-side number
  if (Contains(joined, {"forearm", "lowerarm"}) || Has(words, {"elbow"})) {
    sided = 23;
  } else if (Contains(joined, {"upperarm", "uparm"}) || Has(words, {"humerus", "arm", "shldr"})) {
    sided = 22;
  } else if (Has(words, {"clavicle", "collar", "collarbone", "shoulder"})) {
    sided = 21;
  } else if (Has(words, {"hand", "wrist", "palm"})) {
    sided = 24;
  } else if (Contains(joined, {"upleg", "upperleg"}) || Has(words, {"thigh", "femur", "hip"})) {
    sided = 51;
  } else if (Contains(joined, {"lowerleg"}) || Has(words, {"calf", "shin", "knee", "leg"})) {
    sided = 52;
  } else if (Has(words, {"foot", "ankle", "heel"})) {
    sided = 53;
  }
  if (sided >= 0) {
    if (side == 0) return -1;
    return side > 0 ? sided : (sided < 50 ? sided + 10 : sided - 10);
  }
  // Chains split in two (DAZ's abdomenUpper, chestUpper, neckUpper; UpperChest) give
  // their lower joint.
  if (Has(words, {"upper"})) return -1;
  if (Has(words, {"spine", "abdomen"})) return 2;
  if (Has(words, {"chest", "thorax"})) return 3;
  if (Has(words, {"neck"})) return 4;
  if (Has(words, {"head"})) return 5;
  return -1;
}

std::vector<int32_t> AssignBoneNumbers(const std::vector<std::string>& joints,
                                       const std::vector<BoneMapEntry>* map) {
  std::vector<int32_t> numbers(joints.size(), -1);
  std::set<int32_t> taken;
  auto deform = [](const std::string& joint) {
    return joint.size() > 4 &&
           (joint.compare(0, 4, "DEF-") == 0 || joint.compare(0, 4, "DEF_") == 0);
  };
  const bool rigify = std::any_of(joints.begin(), joints.end(), deform);
  for (size_t i = 0; i < joints.size(); ++i) {
    int32_t wanted = -1;
    if (map) {
      for (const BoneMapEntry& entry : *map) {
        if (entry.joint == joints[i]) wanted = entry.bone;
      }
    } else if (!rigify || deform(joints[i])) {
      wanted = GuessBoneNumber(joints[i]);
      if (wanted == 2 && taken.count(2)) wanted = 3;
    }
    if (wanted >= 0 && taken.insert(wanted).second) numbers[i] = wanted;
  }
  int32_t next = kFirstFreeNumber;
  for (int32_t& number : numbers) {
    if (number >= 0) continue;
    while (taken.count(next)) ++next;
    number = next;
    taken.insert(next);
  }
  return numbers;
}
