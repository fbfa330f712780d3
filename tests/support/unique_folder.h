// A fresh folder under the system's temporary folder for one test: no other test, run or
// checkout testing at the same time gets the same one.
#pragma once

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

inline std::filesystem::path MakeUniqueTempFolder(const std::string& prefix) {
  namespace fs = std::filesystem;
#ifdef _WIN32
  const uint64_t pid = static_cast<uint64_t>(_getpid());
#else
  const uint64_t pid = static_cast<uint64_t>(getpid());
#endif
  // Seeded from the process, the clock and the system: a random device may be
  // deterministic on some targets. create_directory fails on a taken name, so a clash
  // only costs another draw.
  static std::mt19937_64 random(
      std::random_device{}() ^ (pid << 32) ^
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  const fs::path base = fs::temp_directory_path();
  constexpr int kAttempts = 100;
  std::error_code error;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const fs::path candidate =
        base / (prefix + "-" + std::to_string(pid) + "-" + std::to_string(random() % 1000000007u));
    if (fs::create_directory(candidate, error)) return candidate;
    if (error) break;
  }
  throw fs::filesystem_error("cannot make a test folder", base / prefix, error);
}
