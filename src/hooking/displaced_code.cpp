#include "hooking/displaced_code.h"

#include <Zydis/Zydis.h>

#include <cstring>

#include "hooking/branch_target.h"

namespace inline_hook {
namespace {

const DisplacedInstruction* InstructionAt(const DisplacedCode& code, uint32_t offset) {
  for (const DisplacedInstruction& ins : code.instructions) {
    if (ins.offset == offset) return &ins;
  }
  return nullptr;
}

bool InsideDisplaced(const DisplacedCode& code, uint32_t address) {
  return address - code.target < code.displacedSize;  // unsigned: below target wraps high
}

// Classifies a relative instruction; false for the forms that cannot be relocated.
bool ClassifyRelative(const ZydisDecodedInstruction& decoded, uint32_t next,
                      DisplacedInstruction* ins) {
  for (const auto& imm : decoded.raw.imm) {
    if (!imm.is_relative) continue;
    ins->relativeOffset = imm.offset;
    ins->branchTarget = next + uint32_t(int32_t(imm.value.s));
    if (imm.size == 32) {
      ins->branch = BranchKind::Near32;
      return true;
    }
    // An operand-size prefix would make the widened branch a 16-bit one.
    if (imm.size != 8 || decoded.opcode_map != ZYDIS_OPCODE_MAP_DEFAULT ||
        decoded.operand_width != 32) {
      return false;
    }
    if (decoded.opcode >= 0x70 && decoded.opcode <= 0x7F) {
      ins->branch = BranchKind::ShortConditional;
      ins->relocatedLength += 4;
      return true;
    }
    if (decoded.opcode == 0xEB) {
      ins->branch = BranchKind::ShortJump;
      ins->relocatedLength += 3;
      return true;
    }
    return false;  // loop, loope, loopne, jecxz
  }
  return false;  // 32-bit code has no relative displacements
}

}  // namespace

DisplaceError MeasureDisplacedCode(const uint8_t* code, size_t available, uint32_t target,
                                   DisplacedCode* out) {
  if (available < kJumpSize) return DisplaceError::TooFewBytes;
  ZydisDecoder decoder;
  ZydisDecoderInit(&decoder, ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32);

  DisplacedCode result;
  result.target = target;
  uint32_t offset = 0;
  uint32_t relocated = 0;
  while (offset < kJumpSize) {
    ZydisDecodedInstruction decoded;
    if (!ZYAN_SUCCESS(ZydisDecoderDecodeInstruction(&decoder, nullptr, code + offset,
                                                    available - offset, &decoded))) {
      return DisplaceError::DecodeFailed;
    }
    DisplacedInstruction ins{offset, decoded.length, BranchKind::None, 0,
                             0,      relocated,      decoded.length};
    if ((decoded.attributes & ZYDIS_ATTRIB_IS_RELATIVE) &&
        !ClassifyRelative(decoded, target + offset + decoded.length, &ins)) {
      return DisplaceError::UnsupportedRelative;
    }
    result.instructions.push_back(ins);
    offset += ins.length;
    relocated += ins.relocatedLength;
  }
  result.displacedSize = offset;
  result.relocatedSize = relocated;
  result.trampolineSize = relocated + 2 * kJumpSize;

  for (const DisplacedInstruction& ins : result.instructions) {
    if (ins.branch != BranchKind::None && InsideDisplaced(result, ins.branchTarget) &&
        !InstructionAt(result, ins.branchTarget - target)) {
      return DisplaceError::BranchIntoInstruction;
    }
  }
  *out = std::move(result);
  return DisplaceError::None;
}

std::vector<uint32_t> ReachAddresses(const DisplacedCode& code) {
  std::vector<uint32_t> addresses{code.target};
  for (const DisplacedInstruction& ins : code.instructions) {
    if (ins.branch != BranchKind::None) addresses.push_back(ins.branchTarget);
  }
  return addresses;
}

std::vector<uint8_t> BuildTrampoline(const DisplacedCode& code, const uint8_t* original,
                                     uint32_t trampoline, uint32_t destination) {
  std::vector<uint8_t> out(code.trampolineSize);
  for (const DisplacedInstruction& ins : code.instructions) {
    const uint8_t* from = original + ins.offset;
    uint8_t* to = out.data() + ins.relocatedOffset;
    uint32_t reach = ins.branchTarget;
    if (InsideDisplaced(code, reach)) {
      // The original bytes there become the hook's jump: stay inside the trampoline.
      reach = trampoline + InstructionAt(code, reach - code.target)->relocatedOffset;
    }
    const uint32_t end = trampoline + ins.relocatedOffset + ins.relocatedLength;
    const uint32_t opcodeAt = ins.relativeOffset - 1;  // after any prefixes
    switch (ins.branch) {
      case BranchKind::None:
        memcpy(to, from, ins.length);
        break;
      case BranchKind::Near32:
        memcpy(to, from, ins.length);
        memory::StoreWord(to + ins.relativeOffset, reach - end);
        break;
      case BranchKind::ShortConditional:
        memcpy(to, from, opcodeAt);
        to[opcodeAt] = 0x0F;
        to[opcodeAt + 1] = uint8_t(from[opcodeAt] + 0x10);
        memory::StoreWord(to + opcodeAt + 2, reach - end);
        break;
      case BranchKind::ShortJump:
        memcpy(to, from, opcodeAt);
        to[opcodeAt] = 0xE9;
        memory::StoreWord(to + opcodeAt + 1, reach - end);
        break;
    }
  }
  uint8_t* back = out.data() + code.relocatedSize;
  back[0] = 0xE9;
  memory::StoreWord(
      back + 1, code.target + code.displacedSize - (trampoline + code.relocatedSize + kJumpSize));
  uint8_t* onward = back + kJumpSize;
  onward[0] = 0xE9;
  memory::StoreWord(onward + 1, destination - (trampoline + code.trampolineSize));
  return out;
}

std::vector<uint8_t> BuildTargetPatch(const DisplacedCode& code, uint32_t trampoline) {
  std::vector<uint8_t> out(code.displacedSize, 0x90);
  out[0] = 0xE9;
  memory::StoreWord(out.data() + 1,
                    trampoline + code.trampolineSize - kJumpSize - (code.target + kJumpSize));
  return out;
}

std::vector<uint8_t> JumpToTrampolineStart(const DisplacedCode& code) {
  std::vector<uint8_t> out(kJumpSize);
  out[0] = 0xE9;
  memory::StoreWord(out.data() + 1, uint32_t(0) - code.trampolineSize);  // from its own end
  return out;
}

IpMove MoveIntoTrampoline(const DisplacedCode& code, uint32_t trampoline, uint32_t eip,
                          uint32_t* moved) {
  if (!InsideDisplaced(code, eip)) return IpMove::Keep;
  const DisplacedInstruction* ins = InstructionAt(code, eip - code.target);
  if (!ins) return IpMove::Unmappable;
  *moved = trampoline + ins->relocatedOffset;
  return IpMove::Move;
}

IpMove MoveOutOfTrampoline(const DisplacedCode& code, uint32_t trampoline, uint32_t eip,
                           uint32_t* moved) {
  const uint32_t at = eip - trampoline;
  if (at < code.trampolineSize) {
    for (const DisplacedInstruction& ins : code.instructions) {
      if (ins.relocatedOffset == at) {
        *moved = code.target + ins.offset;
        return IpMove::Move;
      }
    }
    if (at == code.relocatedSize) {
      *moved = code.target + code.displacedSize;
      return IpMove::Move;
    }
    if (at == code.relocatedSize + kJumpSize) {
      // Not yet in the destination, which may be code about to be unloaded: the call starts
      // over at the routine, whose own bytes are back.
      *moved = code.target;
      return IpMove::Move;
    }
    return IpMove::Keep;
  }
  const uint32_t fill = eip - code.target;
  if (fill >= kJumpSize && fill < code.displacedSize) {
    *moved = code.target + code.displacedSize;  // the 0x90s would have led there
    return IpMove::Move;
  }
  return IpMove::Keep;
}

}  // namespace inline_hook
