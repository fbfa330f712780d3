// Where a call or jump instruction of 32-bit x86 code leads, from its bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace memory {

// The branch target of the instruction at address whose first available bytes are code:
// E8/E9 rel32 lead to address + 5 + rel32; FF 15 / FF 25 (call / jmp through an absolute
// pointer) lead to the word readPointer(pointer address) returns. Anything else, or too
// few bytes for the form, has no target: 0.
uint32_t DecodeBranchTarget(const uint8_t* code, size_t available, uint32_t address,
                            const std::function<uint32_t(uint32_t pointerAddress)>& readPointer);

constexpr size_t kRelativeBranchSize = 5;

// opcode (E8 call, E9 jmp) with the rel32 that leads from address to destination.
std::array<uint8_t, kRelativeBranchSize> RelativeBranch(uint8_t opcode, uint32_t address,
                                                        uint32_t destination);

// Little-endian 32-bit word at bytes.
inline uint32_t LoadWord(const uint8_t* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
         uint32_t(bytes[3]) << 24;
}

inline void StoreWord(uint8_t* bytes, uint32_t word) {
  for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(word >> (8 * i));
}

}  // namespace memory
