#include "core/log.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/platform.h"

namespace {

// The log's process-wide state: constant-initialised, so it exists before any static
// initialiser runs and needs no constructor of its own.
struct LogState {
  bool pathsFilled = false;
  char directory[261] = {};
  char fileName[261] = {};
  char composed[261] = {};
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

constexpr int kMaxWidth = 4096;

// Appends one conversion formatted by the C runtime.
template <typename Value>
void AppendFormatted(std::string& out, const std::string& directive, Value value) {
  char small[128];
  int length = std::snprintf(small, sizeof(small), directive.c_str(), value);
  if (length < 0) return;
  if (static_cast<size_t>(length) < sizeof(small)) {
    out.append(small, static_cast<size_t>(length));
    return;
  }
  size_t start = out.size();
  out.resize(start + static_cast<size_t>(length) + 1);
  std::snprintf(&out[start], static_cast<size_t>(length) + 1, directive.c_str(), value);
  out.resize(start + static_cast<size_t>(length));
}

int ReadNumber(const char*& p) {
  int value = 0;
  while (*p >= '0' && *p <= '9') {
    value = std::min(value * 10 + (*p - '0'), kMaxWidth);
    ++p;
  }
  return value;
}

// Formats the message one conversion at a time, so that %p and the integer lengths print
// the same way whatever the C runtime's own printf does with them.
std::string FormatMessage(const char* format, va_list args) {
  std::string out;
  const char* p = format;
  while (*p) {
    if (*p != '%') {
      const char* next = std::strchr(p, '%');
      size_t count = next ? static_cast<size_t>(next - p) : std::strlen(p);
      out.append(p, count);
      p += count;
      continue;
    }
    const char* start = p++;
    if (*p == '%') {
      out.push_back('%');
      ++p;
      continue;
    }
    std::string flags;
    while (*p && std::strchr("-+ #0", *p)) flags.push_back(*p++);
    int width = -1;
    if (*p == '*') {
      width = va_arg(args, int);
      ++p;
      if (width < 0) {
        flags.push_back('-');
        width = width < -kMaxWidth ? kMaxWidth : -width;
      }
      width = std::min(width, kMaxWidth);
    } else if (*p >= '0' && *p <= '9') {
      width = ReadNumber(p);
    }
    int precision = -1;
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        precision = std::min(va_arg(args, int), kMaxWidth);  // negative: as if none
        ++p;
      } else {
        precision = ReadNumber(p);
      }
    }
    enum { kInt, kChar, kShort, kLong, kLongLong, kSize } length = kInt;
    if (p[0] == 'h' && p[1] == 'h') {
      length = kChar, p += 2;
    } else if (p[0] == 'h') {
      length = kShort, ++p;
    } else if (p[0] == 'l' && p[1] == 'l') {
      length = kLongLong, p += 2;
    } else if (p[0] == 'l') {
      length = kLong, ++p;
    } else if (p[0] == 'z') {
      length = kSize, ++p;
    }
    const char conversion = *p;
    if (conversion == '\0' || !std::strchr("diuxXfFeEgGscp", conversion)) {
      // Unknown (or %n): copied as text, never executed.
      if (conversion != '\0') ++p;
      out.append(start, static_cast<size_t>(p - start));
      continue;
    }
    ++p;

    std::string directive = "%" + flags;
    if (width >= 0) directive += std::to_string(width);
    if (precision >= 0 && conversion != 'p') directive += "." + std::to_string(precision);
    switch (conversion) {
      case 'd':
      case 'i': {
        long long value;
        switch (length) {
          case kChar:
            value = static_cast<signed char>(va_arg(args, int));
            break;
          case kShort:
            value = static_cast<short>(va_arg(args, int));
            break;
          case kLong:
            value = va_arg(args, long);
            break;
          case kLongLong:
            value = va_arg(args, long long);
            break;
          case kSize:
            value = static_cast<long long>(va_arg(args, ptrdiff_t));
            break;
          default:
            value = va_arg(args, int);
            break;
        }
        AppendFormatted(out, directive + "ll" + conversion, value);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        unsigned long long value;
        switch (length) {
          case kChar:
            value = static_cast<unsigned char>(va_arg(args, unsigned));
            break;
          case kShort:
            value = static_cast<unsigned short>(va_arg(args, unsigned));
            break;
          case kLong:
            value = va_arg(args, unsigned long);
            break;
          case kLongLong:
            value = va_arg(args, unsigned long long);
            break;
          case kSize:
            value = va_arg(args, size_t);
            break;
          default:
            value = va_arg(args, unsigned);
            break;
        }
        AppendFormatted(out, directive + "ll" + conversion, value);
        break;
      }
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
        AppendFormatted(out, directive + conversion, va_arg(args, double));
        break;
      case 's': {
        const char* text = va_arg(args, const char*);
        AppendFormatted(out, directive + 's', text ? text : "(null)");
        break;
      }
      case 'c':
        AppendFormatted(out, directive + 'c', va_arg(args, int));
        break;
      case 'p': {
        char digits[2 * sizeof(void*) + 1];
        std::snprintf(digits, sizeof(digits), "%0*" PRIXPTR, static_cast<int>(2 * sizeof(void*)),
                      reinterpret_cast<uintptr_t>(va_arg(args, void*)));
        // Only the '-' flag and the width apply to the digits.
        std::string pad = flags.find('-') != std::string::npos ? "%-" : "%";
        if (width >= 0) pad += std::to_string(width);
        AppendFormatted(out, pad + 's', static_cast<const char*>(digits));
        break;
      }
    }
  }
  return out;
}

}  // namespace

const char* PluginDirectory() {
  LogState& paths = g_log;
  if (paths.pathsFilled) return paths.directory;
  paths.pathsFilled = true;

  char full[sizeof(paths.directory)] = {};
  if (!platform::ThisModulePath(full, sizeof(full))) {
    platform::ShowMessageBox(platform::ActiveWindow(),
                             "FILESYSTEM\nFailed to retrieve plugin dir path", "Vermiltrace", 0x10);
  }
  const char* backslash = std::strrchr(full, '\\');
  const char* slash = std::strrchr(full, '/');
  const char* separator = !backslash ? slash : !slash ? backslash : std::max(backslash, slash);
  std::strcpy(paths.directory, full);
  if (separator) {
    std::strcpy(paths.fileName, separator + 1);
    paths.directory[separator - full + 1] = '\0';
  }
  return paths.directory;
}

const char* PluginFileName() {
  PluginDirectory();
  return g_log.fileName;
}

const char* PluginFilePath(const char* name) {
  const char* directory = PluginDirectory();
  char* composed = g_log.composed;
  const size_t directoryLength = std::strlen(directory);
  const size_t nameLength = name ? std::strlen(name) : 0;
  // Cutting the path could name some other file; an empty path makes no read or write.
  if (directoryLength + nameLength >= sizeof(g_log.composed)) {
    composed[0] = '\0';
    return composed;
  }
  std::memcpy(composed, directory, directoryLength);
  if (nameLength > 0) std::memcpy(composed + directoryLength, name, nameLength);
  composed[directoryLength + nameLength] = '\0';
  return composed;
}

void OpenLog() {
  if (g_log.file) return;
  g_log.file = platform::OpenSharedForWrite(PluginFilePath("Vermiltrace.log"));
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
  std::string line = FormatMessage(format, args);
  va_end(args);
  WriteLine(std::move(line));
}

void HoldLogLine(const char* format, ...) {
  std::vector<std::string>& held = HeldLines();
  if (!format || held.size() >= kMaxHeldLogLines) return;
  va_list args;
  va_start(args, format);
  held.push_back(FormatMessage(format, args));
  va_end(args);
}

void WriteHeldLogLines() {
  std::vector<std::string>& held = HeldLines();
  for (std::string& line : held) WriteLine(std::move(line));
  held.clear();
}
