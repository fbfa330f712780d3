// Tables keyed by host object addresses (the per-ped and per-geometry tables), hashed by
// 32-bit FNV-1a over the bytes of the address, low byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

inline uint32_t HashAddress(const void* address) {
  uintptr_t value = reinterpret_cast<uintptr_t>(address);
  uint32_t hash = 0x811C9DC5u;
  for (size_t i = 0; i < sizeof(value); ++i) {
    hash ^= static_cast<uint32_t>(value & 0xFF);
    hash *= 16777619u;
    value >>= 8;
  }
  return hash;
}

struct AddressHash {
  size_t operator()(const void* address) const { return HashAddress(address); }
};

// A table keyed by host object address.
template <typename Key, typename Value>
using AddressTable = std::unordered_map<Key*, Value, AddressHash>;

// Every per-address table starts with 8 buckets and a maximum load factor of 1.0: its
// iteration order, which some output follows, depends on both.
template <typename Table>
void ShapeAddressTable(Table& table) {
  table.max_load_factor(1.0f);
  table.rehash(8);
}
