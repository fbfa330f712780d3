#include "output_folder.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "preview_stop.h"
#include "scenario.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMarkerHeading =
    "written by vermiltrace-preview; its next run replaces only the files listed here";

std::string PathText(const fs::path& path) { return path.string(); }

bool IsEmptyDirectory(const fs::path& path) {
  std::error_code error;
  return fs::directory_iterator(path, error) == fs::directory_iterator() && !error;
}

// The folder a --out names: without trailing separators, and the folder a symbolic link
// leads to (replacing the link would cut the user's folder off from it).
fs::path OutputFolder(const fs::path& given) {
  fs::path target = given;
  while (!target.empty() && target.filename().empty() && target.has_relative_path()) {
    target = target.parent_path();
  }
  const fs::path name = target.filename();
  if (name.empty() || name == "." || name == "..") {
    throw PreviewError(PathText(given) + ": not a usable output directory name");
  }
  std::error_code error;
  if (!fs::is_symlink(target, error)) return target;
  const fs::path folder = fs::canonical(target, error);
  if (error || !fs::is_directory(folder, error)) {
    throw PreviewError(PathText(given) +
                       ": is a symbolic link that does not lead to a folder; refused");
  }
  return folder;
}

// A path a marker may name: relative, inside the folder, not the marker itself.
bool InsideFolder(const fs::path& path) {
  if (path.empty() || path.has_root_path()) return false;
  const fs::path normal = path.lexically_normal();
  if (normal.empty() || normal == "." || normal.filename() == kOutputMarker) return false;
  return std::none_of(normal.begin(), normal.end(), [](const fs::path& p) { return p == ".."; });
}

// The files an earlier preview listed in folder's marker, as generic relative paths.
std::vector<fs::path> ListedFiles(const fs::path& folder) {
  std::ifstream in(folder / kOutputMarker, std::ios::binary);
  std::string text(kMaxMarkerBytes, '\0');
  in.read(&text[0], static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  std::vector<fs::path> files;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);  // the heading
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const fs::path file = fs::path(line).lexically_normal();
    if (InsideFolder(file)) files.push_back(file);
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The run's files in the staging folder, relative to it, the marker left out.
std::vector<fs::path> StagedFiles(const fs::path& staging) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(staging)) {
    if (!entry.is_regular_file()) continue;
    const fs::path file = entry.path().lexically_relative(staging);
    if (file != kOutputMarker) files.push_back(file);
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string MarkerText(const std::vector<fs::path>& files) {
  std::string text = std::string(kMarkerHeading) + "\n";
  for (const fs::path& file : files) text += file.generic_string() + "\n";
  return text;
}

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

}  // namespace

void WriteOutput(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw PreviewError(PathText(path) + ": cannot write");
}

StagedOutput::StagedOutput(const fs::path& target, bool force)
    : target_(OutputFolder(target)), force_(force) {
  std::error_code error;
  if (fs::exists(target_, error) && !fs::is_directory(target_, error)) {
    throw PreviewError(PathText(target_) + ": exists and is not a directory");
  }
  if (!force && fs::is_directory(target_, error) && !IsEmptyDirectory(target_) &&
      !fs::is_regular_file(target_ / kOutputMarker, error)) {
    throw PreviewError(PathText(target_) +
                       ": holds files that vermiltrace-preview did not write; it replaces "
                       "only its own output (choose another --out, or give --force to "
                       "replace the folder and everything in it)");
  }
  const fs::path parent = target_.parent_path();
  for (fs::path p = parent; !p.empty() && !fs::exists(p, error); p = p.parent_path()) {
    createdParents_.push_back(p);
    if (p == p.parent_path()) break;
  }
  if (!parent.empty()) {
    fs::create_directories(parent, error);
    if (error) Fail(parent, "cannot create the directory");
  }
  const fs::path base = parent.empty() ? fs::path(".") : parent;
  std::random_device random;
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts && staging_.empty(); ++attempt) {
    fs::path candidate = base / ("." + target_.filename().string() + ".partial-" +
                                 std::to_string(random() % 1000000));
    if (fs::create_directory(candidate, error)) staging_ = candidate;
  }
  if (staging_.empty()) Fail(base, "cannot create a directory in");
}

StagedOutput::~StagedOutput() { Discard(); }

fs::path StagedOutput::Folder(const std::string& name) const {
  const fs::path folder = staging_ / name;
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) throw PreviewError(PathText(staging_) + ": cannot create directories in it");
  return folder;
}

void StagedOutput::Commit() {
  CheckStop();
  const std::vector<fs::path> files = StagedFiles(staging_);
  WriteOutput(staging_ / kOutputMarker, MarkerText(files));
  std::error_code error;
  if (!Exists(target_)) {
    fs::rename(staging_, target_, error);
    if (error) Fail(target_, "cannot move the finished output into place");
    committed_ = true;
    return;
  }
  const std::vector<fs::path> earlier = force_ ? std::vector<fs::path>{} : ListedFiles(target_);
  if (!force_) CheckForeignFiles(files, earlier);
  ClearTarget(earlier);
  std::vector<fs::path> moving = files;
  moving.push_back(kOutputMarker);
  for (const fs::path& file : moving) {
    fs::create_directories((target_ / file).parent_path(), error);
    if (!error) fs::rename(staging_ / file, target_ / file, error);
    if (error) Fail(target_ / file, "cannot move the finished file into place");
  }
  committed_ = true;
  fs::remove_all(staging_, error);
}

// Stops the commit, before anything is replaced, when a file the earlier run did not list
// is where this run puts one.
void StagedOutput::CheckForeignFiles(const std::vector<fs::path>& files,
                                     const std::vector<fs::path>& earlier) {
  for (const fs::path& file : files) {
    std::error_code error;
    const fs::path folder = (target_ / file).parent_path();
    const bool blocked = Exists(folder) && !fs::is_directory(folder, error);
    if (blocked ||
        (Exists(target_ / file) && !std::binary_search(earlier.begin(), earlier.end(), file))) {
      Fail(blocked ? folder : target_ / file,
           "is in the way and vermiltrace-preview did not write it; nothing was replaced "
           "(move it away, or give --force to replace the folder and everything in it)");
    }
  }
}

// Removes the earlier run's files (with force, everything in the folder), then the
// folders they leave empty.
void StagedOutput::ClearTarget(const std::vector<fs::path>& earlier) {
  std::error_code error;
  if (force_) {
    for (const auto& entry : fs::directory_iterator(target_, error)) {
      fs::remove_all(entry.path(), error);
    }
    return;
  }
  for (const fs::path& file : earlier) {
    const fs::path path = target_ / file;
    if (!fs::is_directory(fs::symlink_status(path, error))) fs::remove(path, error);
  }
  fs::remove(target_ / kOutputMarker, error);
  // Deepest first; a folder that still holds something stays.
  for (auto file = earlier.rbegin(); file != earlier.rend(); ++file) {
    for (fs::path folder = file->parent_path(); !folder.empty(); folder = folder.parent_path()) {
      fs::remove(target_ / folder, error);
    }
  }
}

void StagedOutput::Discard() {
  if (committed_) return;
  committed_ = true;
  std::error_code ignored;
  if (!staging_.empty()) fs::remove_all(staging_, ignored);
  for (const fs::path& p : createdParents_) fs::remove(p, ignored);  // only if empty
}

void StagedOutput::Fail(const fs::path& path, const std::string& what) {
  Discard();
  throw PreviewError(PathText(path) + ": " + what);
}
