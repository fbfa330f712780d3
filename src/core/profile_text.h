// The profile (ini) reader used off Windows, working on file contents in memory: it
// answers what GetPrivateProfileStringA and GetPrivateProfileIntA answer for a file
// holding that text (as Wine's reader does: lines end at CR or LF; blanks are the bytes
// 0x09-0x0D, 0x1A and 0x20, also around section names; names compare ignoring ASCII
// case; the first section and key of a name win; one pair of matching quotes around a
// value is dropped).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The text the reader sees in a file's bytes: a file starting with a byte-order mark is
// UTF-8 or UTF-16; characters outside ASCII of a UTF-16 file become '?', as they do
// through the ANSI code page.
std::string DecodeProfileText(std::string_view bytes);

// Finds key in section. True with the raw value (blanks around it removed, quotes kept)
// when the key's line has an '='; false when the section or key is absent or the key's
// first line has no '='. Lines starting with ';' are comments.
bool FindProfileValue(std::string_view text, const char* section, const char* key,
                      std::string* value);

// GetPrivateProfileStringA on text: copies at most size - 1 characters of the value (or
// of def, without its trailing spaces) into out, always terminated. Returns the number
// of characters copied; 0 and nothing written when size is 0.
size_t ProfileStringFromText(std::string_view text, const char* section, const char* key,
                             const char* def, char* out, size_t size);

// What both readers give when there is no file to read: def (null reads as empty) as it
// is, only its trailing spaces dropped, at most size - 1 characters, always terminated.
// Returns the number of characters copied; 0 and nothing written when size is 0.
size_t CopyProfileDefault(const char* def, char* out, size_t size);

// GetPrivateProfileIntA on text: def when the value is absent or empty, otherwise the
// leading number of its first 29 characters (blanks, a sign, 0x/0o/0b prefixes; 32-bit
// wrap-around), 0 when it starts with no number.
int32_t ProfileIntFromText(std::string_view text, const char* section, const char* key,
                           int32_t def);
