#include "hooking/branch_target.h"

namespace memory {

uint32_t DecodeBranchTarget(const uint8_t* code, size_t available, uint32_t address,
                            const std::function<uint32_t(uint32_t pointerAddress)>& readPointer) {
  if (available >= 5 && (code[0] == 0xE8 || code[0] == 0xE9)) {
    return address + 5 + LoadWord(code + 1);  // unsigned wrap is the processor's rel32 sum
  }
  if (available >= 6 && code[0] == 0xFF && (code[1] == 0x15 || code[1] == 0x25)) {
    return readPointer(LoadWord(code + 2));
  }
  return 0;
}

std::array<uint8_t, kRelativeBranchSize> RelativeBranch(uint8_t opcode, uint32_t address,
                                                        uint32_t destination) {
  std::array<uint8_t, kRelativeBranchSize> out{opcode};
  StoreWord(out.data() + 1, destination - (address + kRelativeBranchSize));
  return out;
}

}  // namespace memory
