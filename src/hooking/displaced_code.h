// The host instructions an inline hook displaces: decoding and measuring them, their
// relocated copies in the trampoline, the trampoline's bytes, the jump written over the
// target, and where a thread stopped in one place continues in the other. Pure byte work
// on 32-bit x86 code, testable on any host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace inline_hook {

constexpr uint32_t kJumpSize = 5;  // E9 rel32
// Bytes worth reading at a target: whole instructions covering 5 bytes fit in 4 + 15.
constexpr size_t kMaxDisplacedRead = 32;

enum class BranchKind : uint8_t {
  None,              // copied unchanged
  Near32,            // a 32-bit relative field, recomputed
  ShortConditional,  // 7x rel8, widened to 0F 8x rel32
  ShortJump,         // EB rel8, widened to E9 rel32
};

struct DisplacedInstruction {
  uint32_t offset;  // from the target
  uint32_t length;
  BranchKind branch;
  uint32_t relativeOffset;   // where the relative field sits in the instruction
  uint32_t branchTarget;     // absolute, for branches
  uint32_t relocatedOffset;  // from the trampoline's start
  uint32_t relocatedLength;
};

struct DisplacedCode {
  uint32_t target = 0;
  std::vector<DisplacedInstruction> instructions;
  uint32_t displacedSize = 0;   // bytes replaced at the target, at least 5
  uint32_t relocatedSize = 0;   // bytes of the relocated copies
  uint32_t trampolineSize = 0;  // relocatedSize + two jumps
};

enum class DisplaceError {
  None,
  TooFewBytes,            // fewer than 5 bytes readable at the target
  DecodeFailed,           // no valid instruction within the readable bytes
  UnsupportedRelative,    // loop/jecxz, 16-bit branches and other relative forms
  BranchIntoInstruction,  // a branch into the displaced bytes, not on an instruction start
};

// Decodes whole instructions (32-bit mode) from code, the available bytes at address
// target, until they cover 5 bytes, and lays out their relocated copies. A branch among
// them that leads into the displaced bytes is aimed at the relocated copy of the
// instruction it reaches. out is filled only on success.
DisplaceError MeasureDisplacedCode(const uint8_t* code, size_t available, uint32_t target,
                                   DisplacedCode* out);

// The addresses the trampoline must reach with rel32 fields: the target, then every
// branch target of the displaced instructions.
std::vector<uint32_t> ReachAddresses(const DisplacedCode& code);

// The trampoline's code when placed at address trampoline: the relocated instructions
// (original holds the displaced bytes), E9 back to target + displacedSize, E9 to
// destination. Returns trampolineSize bytes.
std::vector<uint8_t> BuildTrampoline(const DisplacedCode& code, const uint8_t* original,
                                     uint32_t trampoline, uint32_t destination);

// What the target gets: E9 to the trampoline's last jump (to the destination), then 0x90 up
// to displacedSize bytes.
std::vector<uint8_t> BuildTargetPatch(const DisplacedCode& code, uint32_t trampoline);

// The trampoline's last jump for a target that cannot be restored: E9 back to the
// trampoline's start, so the target's jump runs the relocated original.
std::vector<uint8_t> JumpToTrampolineStart(const DisplacedCode& code);

enum class IpMove { Keep, Move, Unmappable };

// At installation: a thread stopped at eip inside the displaced bytes continues at the
// relocated copy of its instruction (Move, *moved set); Unmappable when eip is inside but
// not on an instruction start; Keep elsewhere.
IpMove MoveIntoTrampoline(const DisplacedCode& code, uint32_t trampoline, uint32_t eip,
                          uint32_t* moved);

// At removal: a thread stopped in the trampoline goes back to the original instruction
// (or to target + displacedSize from the jump back, or to the target itself from the last
// jump, so that no thread is sent into the destination); one on the 0x90 fill goes to
// target + displacedSize. Keep for anything else, including points inside the trampoline
// that are no instruction start.
IpMove MoveOutOfTrampoline(const DisplacedCode& code, uint32_t trampoline, uint32_t eip,
                           uint32_t* moved);

}  // namespace inline_hook
