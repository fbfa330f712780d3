// One run of the plug-in in the synthetic game: a folder of its own holding
// Vermiltrace.asi and a Vermiltrace.ini, the library loaded from there and unloaded again,
// the log it wrote and the message boxes it showed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace synthetic {

struct MessageBoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT style;
};

// Every MessageBoxA call of the process since the first PluginCase (user32's MessageBoxA
// is diverted to a recorder that returns IDOK at once).
std::vector<MessageBoxCall>& MessageBoxCalls();

class PluginCase {
 public:
  // Makes the folder cases\<name> beside this program with the library and the package's
  // ini; each line of iniChanges ("Key=Value") replaces the line of that key.
  explicit PluginCase(const std::string& name, const std::vector<std::string>& iniChanges = {});
  ~PluginCase();  // unloads the library if it is still loaded

  bool Load();  // LoadLibraryA of the folder's Vermiltrace.asi
  bool Unload();
  HMODULE Module() const { return module_; }
  // True when address lies inside the loaded library's image.
  bool InLibrary(uintptr_t address) const;

  bool LogExists() const;
  std::vector<std::string> LogLines() const;  // lines without their CR LF
  std::string LogText() const;

 private:
  std::string folder_;
  HMODULE module_ = nullptr;
};

}  // namespace synthetic
