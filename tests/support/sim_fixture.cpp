#include "support/sim_fixture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/log.h"
#include "core/plugin_paths.h"
#include "plugin/system_state.h"
#include "support/unique_folder.h"

namespace {

std::string SafeName(std::string name) {
  for (char& c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!plain) c = '_';
  }
  return name.substr(0, 60);
}

}  // namespace

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void FolderTest::SetUp() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  dir_ = MakeUniqueTempFolder("vermiltrace-" +
                              SafeName(std::string(info->test_suite_name()) + "_" + info->name()))
             .string() +
         "/";
  ResetPlatform();
}

void FolderTest::ResetPlatform() {
  ResetLog();
  ResetPluginPaths();
  SetPluginModulePath((dir_ + "Vermiltrace.asi").c_str());
}

void FolderTest::TearDown() {
  ResetLog();
  ResetPluginPaths();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void FolderTest::WriteFile(const std::string& name, const std::string& bytes) const {
  std::ofstream out(PathOf(name), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FolderTest::LogExists() const { return std::filesystem::exists(PathOf("Vermiltrace.log")); }

std::string FolderTest::ReadLogBytes() const { return ReadFileBytes(PathOf("Vermiltrace.log")); }

std::vector<std::string> FolderTest::ReadLogLines() const {
  std::vector<std::string> lines;
  std::string bytes = ReadLogBytes();
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

void SimTest::SetUp() {
  FolderTest::SetUp();
  ResetProcess();
}

void SimTest::ResetProcess() {
  ResetSystemState();
  boxes_.clear();
  ResetPlatform();
  State().host = &sim;
}

void SimTest::TearDown() {
  system.reset();
  ResetSystemState();
  FolderTest::TearDown();
}

StartupOptions SimTest::Options() {
  StartupOptions options;
  options.tickCount = [] { return kTicks; };
  options.showMessageBox = RecordingMessageBoxes();
  return options;
}

MessageBoxCall SimTest::RecordingMessageBoxes() {
  return [this](void* owner, const char* text, const char* caption, uint32_t style) {
    boxes_.push_back({owner, text ? text : "", caption ? caption : "", style});
    std::fprintf(stderr, "[message box] %s: %s\n", caption ? caption : "", text ? text : "");
    return 1;
  };
}

Vermiltrace& SimTest::Start() {
  system.reset();
  system.emplace(sim, Options());
  return *system;
}

void SimTest::Stop() { system.reset(); }

void SimTest::NewProcess() {
  system.reset();
  ResetProcess();
}
