#include "core/log.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/log_format.h"
#include "core/platform.h"
#include "core/plugin_paths.h"

namespace {

// The log's process-wide state: constant-initialised, so it exists before any static
// initialiser runs and needs no constructor of its own.
struct LogState {
  FILE* file = nullptr;  // never closed by the system
  bool enabled = true;   // the Log setting
  size_t written = 0;    // bytes in the file, line ends as the stream writes them
  bool stopped = false;  // kMaxLogBytes reached: nothing more is written
};
LogState g_log;

// Apart from LogState, which must stay constant-initialised.
std::vector<std::string>& HeldLines() {
  static std::vector<std::string> lines;
  return lines;
}

}  // namespace

void OpenLog(const char* path) {
  if (g_log.file) return;
  g_log.file = platform::OpenSharedForWrite(path);
}

void OpenLog() {
  if (g_log.file) return;
  OpenLog(PluginFilePath("Vermiltrace.log"));
}

bool LogOpen() { return g_log.file != nullptr; }

void SetLogEnabled(bool enabled) { g_log.enabled = enabled; }

bool LogEnabled() { return g_log.enabled && LogOpen(); }

FILE* LogFile() { return g_log.file; }

void ResetLog() {
  if (g_log.file) std::fclose(g_log.file);
  g_log = LogState{};
  HeldLines().clear();
}

namespace {

// Bytes text takes in the file: a text-mode stream writes each '\n' as CR LF.
size_t FileBytes(const std::string& text) {
  const bool textMode = std::strcmp(platform::kLineEnd, "\n") == 0;
  return text.size() + (textMode ? size_t(std::count(text.begin(), text.end(), '\n')) : 0);
}

void WriteLine(std::string line) {
  FILE* log = g_log.file;
  if (!log || g_log.stopped) return;
  line += platform::kLineEnd;
  const std::string last = std::string(kLogStoppedLine) + platform::kLineEnd;
  if (g_log.written + FileBytes(line) + FileBytes(last) > kMaxLogBytes) {
    line = last;
    g_log.stopped = true;
  }
  g_log.written += FileBytes(line);
  // One write per line, so lines from two threads cannot interleave inside a line.
  std::fwrite(line.data(), 1, line.size(), log);
  std::fflush(log);
}

}  // namespace

void LogLine(const char* format, ...) {
  if (!g_log.file || !format) return;
  va_list args;
  va_start(args, format);
  std::string line = FormatLogMessage(format, args);
  va_end(args);
  WriteLine(std::move(line));
}

void HoldLogLine(const char* format, ...) {
  std::vector<std::string>& held = HeldLines();
  if (!format || held.size() >= kMaxHeldLogLines) return;
  va_list args;
  va_start(args, format);
  held.push_back(FormatLogMessage(format, args));
  va_end(args);
}

void WriteHeldLogLines() {
  std::vector<std::string>& held = HeldLines();
  for (std::string& line : held) WriteLine(std::move(line));
  held.clear();
}
