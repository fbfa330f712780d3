#include "run_inputs.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "scenario.h"

namespace fs = std::filesystem;

// Reading stops one byte past the limit, so an endless input (/dev/zero, a pipe that keeps
// writing) is refused at once.
std::string ReadInput(const std::string& path, const char* what) {
  std::error_code error;
  if (fs::is_directory(path, error)) {
    throw PreviewError(path + ": cannot read the " + what + ": it is a directory");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PreviewError(path + ": cannot read the " + what + ": no such file or no access");
  std::string bytes(kMaxTextInputBytes + 1, '\0');
  in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) throw PreviewError(path + ": cannot read the " + what);
  bytes.resize(static_cast<size_t>(in.gcount()));
  if (bytes.size() > kMaxTextInputBytes) {
    throw PreviewError(path + ": the " + what + " is larger than " +
                       std::to_string(kMaxTextInputBytes >> 20) + " MiB; refused");
  }
  return bytes;
}

void CheckModelFile(const std::string& path) {
  std::error_code error;
  if (fs::is_directory(path, error)) {
    throw PreviewError(path + ": cannot read the model: it is a directory");
  }
  if (!std::ifstream(path, std::ios::binary)) {
    throw PreviewError(path + ": cannot read the model: no such file or no access");
  }
  const bool plain = fs::is_regular_file(path, error);
  const uintmax_t size = plain ? fs::file_size(path, error) : 0;
  if (!plain || error) throw PreviewError(path + ": cannot read the model: not a plain file");
  if (size > kMaxModelBytes) {
    throw PreviewError(path + ": the model is larger than " + std::to_string(kMaxModelBytes >> 20) +
                       " MiB; refused");
  }
}

std::string FindShippedIni(const std::string& programDir) {
  std::vector<fs::path> candidates;
  if (!programDir.empty()) candidates.push_back(fs::path(programDir) / "Vermiltrace.ini");
  candidates.push_back("Vermiltrace.ini");
  candidates.push_back(fs::path("package") / "Vermiltrace.ini");
#ifdef VT_SOURCE_INI
  candidates.push_back(VT_SOURCE_INI);
#endif
  for (const fs::path& candidate : candidates) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return candidate.string();
  }
  return "";
}
