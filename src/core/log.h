// The diagnostic log, Vermiltrace.log beside the library unless start-up names another.
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

// Opens the log at path (truncating it, shared); the stream stays null on failure, and
// for an empty path. A stream already open is kept.
void OpenLog(const char* path);
// Opens Vermiltrace.log in the plug-in directory (plugin_paths.h).
void OpenLog();
bool LogOpen();

// One line: the message formatted as FormatLogMessage does (log_format.h), the line end,
// a flush. Does nothing while the log is closed. The message is written whole however
// long it is.
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
// Closes the log and forgets the held lines, as at process start (tests and tools only).
void ResetLog();
