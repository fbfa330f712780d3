#include "core/profile_text.h"

#include <cstring>

namespace {

bool IsBlank(char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view Trim(std::string_view s) {
  size_t begin = 0, end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

// Names and values are C strings once read: anything after a NUL byte is lost.
std::string_view UpToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

// What the reader falls back to: the default without its trailing spaces.
std::string_view DefaultText(const char* def) {
  std::string_view text = def ? def : "";
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// At most size - 1 characters, always terminated; size must not be 0.
size_t CopyText(std::string_view text, char* out, size_t size) {
  const size_t count = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), count);
  out[count] = '\0';
  return count;
}

// One pair of matching quotes around the value is dropped; when the buffer is exactly
// one character too small for the quoted text, the reader still drops the last copied
// character (the platform's own rule, kept so both readers agree).
size_t CopyEntry(std::string_view value, char* out, size_t size) {
  bool quoted = false;
  if (value.size() >= 2 && (value[0] == '\'' || value[0] == '"') && value.back() == value[0]) {
    quoted = true;
    value.remove_prefix(1);
  }
  size_t count = CopyText(value, out, size);
  if (quoted && size >= value.size() && count > 0) out[--count] = '\0';
  return count;
}

}  // namespace

std::string DecodeProfileText(std::string_view bytes) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
    return std::string(bytes.substr(3));
  }
  if (bytes.size() >= 2 &&
      ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
    const bool little = byte(0) == 0xFF;
    std::string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      unsigned unit = little ? byte(i) | byte(i + 1) << 8 : byte(i) << 8 | byte(i + 1);
      text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return text;
  }
  return std::string(bytes);
}

bool FindProfileValue(std::string_view text, const char* section, const char* key,
                      std::string* value) {
  if (!section || !key) return false;
  const std::string decoded = DecodeProfileText(text);
  const std::string_view wantSection = Trim(section);
  const std::string_view wantKey = Trim(key);

  // Lines before the first header belong to a section with an empty name. Only the first
  // section of the wanted name is searched, and in it the first line of the wanted key.
  bool inSection = wantSection.empty();
  bool sectionSeen = inSection;
  std::string_view rest(decoded);
  while (!rest.empty()) {
    size_t end = rest.find_first_of("\r\n");
    std::string_view line = Trim(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    while (!rest.empty() && (rest[0] == '\r' || rest[0] == '\n')) rest.remove_prefix(1);

    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        if (inSection) return false;  // the first section of that name ended without the key
        std::string_view name = Trim(line.substr(1, close - 1));
        inSection = !sectionSeen && SameName(UpToNul(name), wantSection);
        sectionSeen = sectionSeen || inSection;
        continue;
      }
      // No closing bracket: an ordinary key line.
    }
    if (!inSection) continue;
    size_t equals = line.find('=');
    std::string_view name = Trim(line.substr(0, equals));
    if (!SameName(UpToNul(name), wantKey)) continue;
    if (equals == std::string_view::npos) return false;
    if (value) *value = std::string(UpToNul(Trim(line.substr(equals + 1))));
    return true;
  }
  return false;
}

size_t ProfileStringFromText(std::string_view text, const char* section, const char* key,
                             const char* def, char* out, size_t size) {
  if (!out || size == 0) return 0;
  std::string value;
  if (!FindProfileValue(text, section, key, &value)) value = std::string(DefaultText(def));
  return CopyEntry(value, out, size);
}

size_t CopyProfileDefault(const char* def, char* out, size_t size) {
  if (!out || size == 0) return 0;
  return CopyText(DefaultText(def), out, size);
}

int32_t ProfileIntFromText(std::string_view text, const char* section, const char* key,
                           int32_t def) {
  char buffer[30];
  size_t length = ProfileStringFromText(text, section, key, "", buffer, sizeof(buffer));
  if (length == 0) return def;

  const char* p = buffer;
  while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  uint32_t base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'o' || p[1] == 'b')) {
    base = p[1] == 'x' ? 16 : p[1] == 'o' ? 8 : 2;
    p += 2;
  }
  // Unsigned arithmetic: overflow wraps modulo 2^32 as the platform's conversion does.
  uint32_t total = 0;
  for (; *p != '\0'; ++p) {
    uint32_t digit;
    if (*p >= '0' && *p <= '9') {
      digit = static_cast<uint32_t>(*p - '0');
    } else if (Upper(*p) >= 'A' && Upper(*p) <= 'Z') {
      digit = static_cast<uint32_t>(Upper(*p) - 'A' + 10);
    } else {
      break;
    }
    if (digit >= base) break;
    total = total * base + digit;
  }
  return static_cast<int32_t>(negative ? 0u - total : total);
}
