#include "core/log_format.h"

#include <algorithm>
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// A va_list that helpers can share by reference on every ABI (on some it is an array).
struct Arguments {
  va_list list;
};

enum class Length { kInt, kChar, kShort, kLong, kLongLong, kSize };

// One conversion as written: %[flags][width][.precision][length]conversion.
struct Directive {
  std::string flags;
  int width = -1;      // none
  int precision = -1;  // none
  Length length = Length::kInt;
  char conversion = '\0';
};

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
    value = std::min(value * 10 + (*p - '0'), kMaxLogWidth);
    ++p;
  }
  return value;
}

void ReadWidth(const char*& p, Arguments& args, Directive& d) {
  if (*p == '*') {
    d.width = va_arg(args.list, int);
    ++p;
    if (d.width < 0) {
      d.flags.push_back('-');
      d.width = d.width < -kMaxLogWidth ? kMaxLogWidth : -d.width;
    }
    d.width = std::min(d.width, kMaxLogWidth);
  } else if (*p >= '0' && *p <= '9') {
    d.width = ReadNumber(p);
  }
}

void ReadPrecision(const char*& p, Arguments& args, Directive& d) {
  if (*p != '.') return;
  ++p;
  if (*p == '*') {
    d.precision = std::min(va_arg(args.list, int), kMaxLogWidth);  // negative: as if none
    ++p;
  } else {
    d.precision = ReadNumber(p);
  }
}

Length ReadLength(const char*& p) {
  struct Prefix {
    const char* text;
    Length length;
  };
  // Longest first: "hh" before "h", "ll" before "l".
  static constexpr Prefix kPrefixes[] = {{"hh", Length::kChar},
                                         {"h", Length::kShort},
                                         {"ll", Length::kLongLong},
                                         {"l", Length::kLong},
                                         {"z", Length::kSize}};
  for (const Prefix& prefix : kPrefixes) {
    const size_t size = std::strlen(prefix.text);
    if (std::strncmp(p, prefix.text, size) == 0) {
      p += size;
      return prefix.length;
    }
  }
  return Length::kInt;
}

// Reads the directive after its '%' (width and precision may take arguments). False
// for an unknown conversion (or %n), with p past it, when it is copied as text.
bool ReadDirective(const char*& p, Arguments& args, Directive& d) {
  while (*p && std::strchr("-+ #0", *p)) d.flags.push_back(*p++);
  ReadWidth(p, args, d);
  ReadPrecision(p, args, d);
  d.length = ReadLength(p);
  d.conversion = *p;
  if (d.conversion == '\0' || !std::strchr("diuxXfFeEgGscp", d.conversion)) {
    if (d.conversion != '\0') ++p;
    return false;
  }
  ++p;
  return true;
}

long long SignedArgument(Arguments& args, Length length) {
  switch (length) {
    case Length::kChar:
      return static_cast<signed char>(va_arg(args.list, int));
    case Length::kShort:
      return static_cast<short>(va_arg(args.list, int));
    case Length::kLong:
      return va_arg(args.list, long);
    case Length::kLongLong:
      return va_arg(args.list, long long);
    case Length::kSize:
      return static_cast<long long>(va_arg(args.list, ptrdiff_t));
    default:
      return va_arg(args.list, int);
  }
}

unsigned long long UnsignedArgument(Arguments& args, Length length) {
  switch (length) {
    case Length::kChar:
      return static_cast<unsigned char>(va_arg(args.list, unsigned));
    case Length::kShort:
      return static_cast<unsigned short>(va_arg(args.list, unsigned));
    case Length::kLong:
      return va_arg(args.list, unsigned long);
    case Length::kLongLong:
      return va_arg(args.list, unsigned long long);
    case Length::kSize:
      return va_arg(args.list, size_t);
    default:
      return va_arg(args.list, unsigned);
  }
}

// The pointer's digits, with only the '-' flag and the width applied to them.
void AppendPointer(std::string& out, const Directive& d, void* pointer) {
  char digits[2 * sizeof(void*) + 1];
  std::snprintf(digits, sizeof(digits), "%0*" PRIXPTR, static_cast<int>(2 * sizeof(void*)),
                reinterpret_cast<uintptr_t>(pointer));
  std::string pad = d.flags.find('-') != std::string::npos ? "%-" : "%";
  if (d.width >= 0) pad += std::to_string(d.width);
  AppendFormatted(out, pad + 's', static_cast<const char*>(digits));
}

void AppendConversion(std::string& out, const Directive& d, Arguments& args) {
  std::string directive = "%" + d.flags;
  if (d.width >= 0) directive += std::to_string(d.width);
  if (d.precision >= 0 && d.conversion != 'p') directive += "." + std::to_string(d.precision);
  switch (d.conversion) {
    case 'd':
    case 'i':
      AppendFormatted(out, directive + "ll" + d.conversion, SignedArgument(args, d.length));
      break;
    case 'u':
    case 'x':
    case 'X':
      AppendFormatted(out, directive + "ll" + d.conversion, UnsignedArgument(args, d.length));
      break;
    case 's': {
      const char* text = va_arg(args.list, const char*);
      AppendFormatted(out, directive + 's', text ? text : "(null)");
      break;
    }
    case 'c':
      AppendFormatted(out, directive + 'c', va_arg(args.list, int));
      break;
    case 'p':
      AppendPointer(out, d, va_arg(args.list, void*));
      break;
    default:  // f F e E g G
      AppendFormatted(out, directive + d.conversion, va_arg(args.list, double));
      break;
  }
}

}  // namespace

std::string FormatLogMessage(const char* format, va_list list) {
  Arguments args;
  va_copy(args.list, list);
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
    Directive directive;
    if (ReadDirective(p, args, directive)) {
      AppendConversion(out, directive, args);
    } else {
      out.append(start, static_cast<size_t>(p - start));  // copied, never executed
    }
  }
  va_end(args.list);
  return out;
}
