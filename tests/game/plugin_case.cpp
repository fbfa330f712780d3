#include "plugin_case.h"

#include <cstring>
#include <fstream>
#include <sstream>

namespace synthetic {
namespace {

int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  MessageBoxCalls().push_back({owner, text ? text : "", caption ? caption : "", style});
  return IDOK;
}

// Diverts user32's MessageBoxA itself, so that calls through any import table land in the
// recorder and no box waits for a click.
void DivertMessageBoxes() {
  static bool diverted = false;
  if (diverted) return;
  diverted = true;
  auto* entry =
      reinterpret_cast<uint8_t*>(GetProcAddress(LoadLibraryA("user32.dll"), "MessageBoxA"));
  if (!entry) return;
  DWORD old;
  VirtualProtect(entry, 5, PAGE_EXECUTE_READWRITE, &old);
  entry[0] = 0xE9;
  const int32_t rel = static_cast<int32_t>(reinterpret_cast<uintptr_t>(&RecordMessageBox) -
                                           (reinterpret_cast<uintptr_t>(entry) + 5));
  std::memcpy(entry + 1, &rel, 4);
  VirtualProtect(entry, 5, old, &old);
  FlushInstructionCache(GetCurrentProcess(), entry, 5);
}

std::string ProgramDirectory() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string directory(path);
  return directory.substr(0, directory.find_last_of("\\/") + 1);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string KeyOf(const std::string& line) { return line.substr(0, line.find('=')); }

}  // namespace

std::vector<MessageBoxCall>& MessageBoxCalls() {
  static std::vector<MessageBoxCall> calls;
  return calls;
}

PluginCase::PluginCase(const std::string& name, const std::vector<std::string>& iniChanges) {
  DivertMessageBoxes();
  const std::string program = ProgramDirectory();
  CreateDirectoryA((program + "cases").c_str(), nullptr);
  folder_ = program + "cases\\" + name + "\\";
  CreateDirectoryA(folder_.c_str(), nullptr);
  DeleteFileA((folder_ + "Vermiltrace.log").c_str());
  CopyFileA((program + "Vermiltrace.asi").c_str(), (folder_ + "Vermiltrace.asi").c_str(), FALSE);

  std::istringstream package(ReadFile(program + "Vermiltrace.ini"));
  std::ofstream ini(folder_ + "Vermiltrace.ini", std::ios::binary | std::ios::trunc);
  for (std::string line; std::getline(package, line);) {
    for (const std::string& change : iniChanges) {
      if (KeyOf(change) == KeyOf(line)) line = change;
    }
    ini << line << "\r\n";
  }
}

PluginCase::~PluginCase() { Unload(); }

bool PluginCase::Load() {
  module_ = LoadLibraryA((folder_ + "Vermiltrace.asi").c_str());
  return module_ != nullptr;
}

bool PluginCase::Unload() {
  if (!module_) return false;
  const bool freed = FreeLibrary(module_);
  module_ = nullptr;
  return freed;
}

bool PluginCase::InLibrary(uintptr_t address) const {
  HMODULE owner = nullptr;
  const DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  return module_ && GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(address), &owner) &&
         owner == module_;
}

bool PluginCase::LogExists() const {
  return GetFileAttributesA((folder_ + "Vermiltrace.log").c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string PluginCase::LogText() const { return ReadFile(folder_ + "Vermiltrace.log"); }

std::vector<std::string> PluginCase::LogLines() const {
  std::vector<std::string> lines;
  std::istringstream text(LogText());
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace synthetic
