// Text from a user's file, fit to be quoted in a one-line message.
#pragma once

#include <cstdio>
#include <string>

// The text in single quotes, control bytes and bytes outside ASCII written as \xNN, cut
// after max characters with "...": a stray NUL, escape sequence or megabyte line cannot
// garble or flood the terminal.
inline std::string QuotedText(const std::string& text, size_t max = 60) {
  std::string out = "'";
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == max) {
      out += "...";
      break;
    }
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c >= 0x7F || c == '\\' || c == '\'') {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
      out += escaped;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out + "'";
}
