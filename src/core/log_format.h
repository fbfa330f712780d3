// The log's own printf: the same text on every build, whatever the C runtime does with %p
// and the integer lengths.
#pragma once

#include <cstdarg>
#include <string>

// The message formatted one conversion at a time. %p prints the pointer as upper-case
// hexadecimal digits, zero-padded to the pointer width, with no prefix. Conversions:
// d i u x X f F e E g G s c p and %%, with flags, width, precision (also *) and the
// lengths hh h l ll z; any other conversion is copied as text and consumes no argument.
// Widths and precisions above kMaxLogWidth are taken as kMaxLogWidth.
constexpr int kMaxLogWidth = 4096;
std::string FormatLogMessage(const char* format, va_list args);
