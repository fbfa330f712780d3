// The plug-in directory and the diagnostic log Vermiltrace.log beside the library.
#pragma once

#include <cstddef>
#include <cstdio>

// The compiler checks the arguments of the log's formats (clang knows no gnu_printf).
#if defined(__clang__)
#define VT_LOG_FORMAT __attribute__((format(printf, 1, 2)))
#elif defined(__GNUC__)
#define VT_LOG_FORMAT __attribute__((format(gnu_printf, 1, 2)))
#else
#define VT_LOG_FORMAT
#endif

// Directory of the library's own file, ending with its separator (computed once; the
// whole file name when it has no separator). When the module handle cannot be had, a
// message box is shown and the executable's directory is used.
const char* PluginDirectory();
// The library's file name without its directory (filled with PluginDirectory).
const char* PluginFileName();
// Directory plus name in a shared buffer, valid until the next call. A result that would
// not fit the 261-byte buffer gives the empty string (nothing is then read or written).
const char* PluginFilePath(const char* name);

// Opens Vermiltrace.log (truncating it, shared); the stream stays null on failure. A
// stream already open is kept.
void OpenLog();
bool LogOpen();

// One line: the formatted message, the line end, a flush. Does nothing while the log is
// closed. %p prints the pointer as upper-case hexadecimal digits, zero-padded to the
// pointer width, with no prefix, on every build. Conversions: d i u x X f F e E g G s c p
// and %%, with flags, width, precision (also *) and the lengths hh h l ll z; any other
// conversion is copied as text and consumes no argument. Widths and precisions above
// 4096 are taken as 4096; the message is written whole however long it is.
void LogLine(const char* format, ...) VT_LOG_FORMAT;

// Keeps a line, formatted as LogLine does, for a log that is not open yet (the settings
// are read before it opens). At most kMaxHeldLogLines are kept; later ones are dropped.
constexpr size_t kMaxHeldLogLines = 16;
void HoldLogLine(const char* format, ...) VT_LOG_FORMAT;
// Writes the held lines, in the order they came, then forgets them (also when the log is
// closed, so that they are written at most once).
void WriteHeldLogLines();

// The log file's size limit: the line that would pass it (with the closing line) is
// replaced by kLogStoppedLine, and nothing is written after that.
constexpr size_t kMaxLogBytes = 4u << 20;
constexpr const char* kLogStoppedLine = "log stopped: it reached its 4 MiB limit";

// The Log setting (on until start-up reads it).
void SetLogEnabled(bool enabled);
// True when the Log setting is on and the log is open: the test most writers make.
bool LogEnabled();

// The open log stream, or null.
FILE* LogFile();
// Closes the log and forgets the paths and held lines, as at process start (tests and tools
// only).
void ResetLog();
