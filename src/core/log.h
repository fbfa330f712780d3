// The plug-in directory and the diagnostic log Vermiltrace.log beside the library.
#pragma once

#include <cstdio>

// Directory of the library's own file, ending with its separator (computed once).
const char* PluginDirectory();
// Directory plus name in a shared buffer, valid until the next call.
const char* PluginFilePath(const char* name);

// Opens Vermiltrace.log (truncating it, shared); the stream stays null on failure.
void OpenLog();
bool LogOpen();

// One line: the formatted message, the line end, a flush. Does nothing while the log is
// closed. %p prints the pointer as upper-case hexadecimal digits, zero-padded to the
// pointer width, with no prefix, on every build.
void LogLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// True when the Log setting is on and the log is open: the test most writers make.
bool LogEnabled();
