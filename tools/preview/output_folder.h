// The preview's output folder. A run is made in a staging folder beside it and moved in
// only when complete. The marker file in the folder lists the files a preview wrote
// there: a later run replaces only those and leaves everything else in the folder alone.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

// The file that marks a folder as a preview's output; its lines after the first name
// the files the preview wrote there, relative to the folder.
constexpr const char* kOutputMarker = ".vermiltrace-preview";
// A marker longer than this was not written by a preview.
constexpr size_t kMaxMarkerBytes = 1u << 20;

// Writes bytes to path, replacing the file; PreviewError "PATH: cannot write" on failure.
void WriteOutput(const std::filesystem::path& path, const std::string& bytes);

// The staging folder of one run, removed (with the parent folders it had to make) unless
// committed. The target may end with a separator, and may be a symbolic link to a folder
// (the folder it points to receives the files). A target that exists is refused unless it
// is a folder that is empty, holds a marker, or force is given.
class StagedOutput {
 public:
  StagedOutput(const std::filesystem::path& target, bool force);
  ~StagedOutput();
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;

  const std::filesystem::path& Dir() const { return staging_; }
  // Makes the folder name in the staging folder and gives its path; PreviewError "DIR:
  // cannot create directories in it" on failure.
  std::filesystem::path Folder(const std::string& name) const;

  // Moves the staged files into the target and lists them in its marker. The files an
  // earlier preview listed go first; any other file of the folder stays, and one in the
  // way of a new file stops the commit before anything is replaced (with force, the
  // folder's whole content is replaced).
  void Commit();

 private:
  void Discard();
  [[noreturn]] void Fail(const std::filesystem::path& path, const std::string& what);
  void CheckForeignFiles(const std::vector<std::filesystem::path>& files,
                         const std::vector<std::filesystem::path>& earlier);
  void ClearTarget(const std::vector<std::filesystem::path>& earlier);

  std::filesystem::path target_;
  std::filesystem::path staging_;
  std::vector<std::filesystem::path> createdParents_;
  bool force_ = false;
  bool committed_ = false;
};
