#include "contact_sheet.h"

#include <algorithm>
#include <cmath>

#include <stb_easy_font.h>

namespace {

constexpr int kPadding = 12;
constexpr int kTitleScale = 2;
constexpr int kCaptionScale = 1;
constexpr uint8_t kSheetBackground[3] = {24, 24, 27};
constexpr uint8_t kTitleColour[3] = {235, 235, 235};
constexpr uint8_t kCaptionColour[3] = {200, 200, 205};

// The font draws printable ASCII only.
std::string Printable(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c < 32 || c > 126) c = '?';
  }
  return out;
}

void FillRect(Image& image, int x0, int y0, int x1, int y1, const uint8_t colour[3]) {
  x0 = std::max(0, x0), y0 = std::max(0, y0);
  x1 = std::min(image.width, x1), y1 = std::min(image.height, y1);
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      uint8_t* p = &image.rgb[3 * (static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                                   static_cast<size_t>(x))];
      p[0] = colour[0], p[1] = colour[1], p[2] = colour[2];
    }
  }
}

}  // namespace

Image MakeImage(int width, int height, const uint8_t colour[3]) {
  Image image;
  image.width = std::max(0, width);
  image.height = std::max(0, height);
  image.rgb.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3);
  FillRect(image, 0, 0, image.width, image.height, colour);
  return image;
}

Image ToImage(const Canvas& canvas) {
  Image image;
  image.width = canvas.width;
  image.height = canvas.height;
  image.rgb.resize(canvas.colour.size());
  for (size_t i = 0; i < canvas.colour.size(); ++i) {
    float c = canvas.colour[i];
    c = c > 0.0f ? (c < 1.0f ? c : 1.0f) : 0.0f;  // NaN becomes 0
    image.rgb[i] = static_cast<uint8_t>(std::lround(c * 255.0f));
  }
  return image;
}

Image Downsample(const Image& image, int factor) {
  if (factor <= 1) return image;
  Image out;
  out.width = image.width / factor;
  out.height = image.height / factor;
  out.rgb.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 3);
  const int count = factor * factor;
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int dy = 0; dy < factor; ++dy) {
          for (int dx = 0; dx < factor; ++dx) {
            size_t i = (static_cast<size_t>(y * factor + dy) * image.width + (x * factor + dx)) * 3;
            sum += image.rgb[i + static_cast<size_t>(c)];
          }
        }
        out.rgb[(static_cast<size_t>(y) * out.width + x) * 3 + static_cast<size_t>(c)] =
            static_cast<uint8_t>((sum + count / 2) / count);
      }
    }
  }
  return out;
}

void Blit(Image& target, const Image& source, int x, int y) {
  for (int row = 0; row < source.height; ++row) {
    int ty = y + row;
    if (ty < 0 || ty >= target.height) continue;
    for (int column = 0; column < source.width; ++column) {
      int tx = x + column;
      if (tx < 0 || tx >= target.width) continue;
      const uint8_t* s = &source.rgb[3 * (static_cast<size_t>(row) * source.width + column)];
      uint8_t* t = &target.rgb[3 * (static_cast<size_t>(ty) * target.width + tx)];
      t[0] = s[0], t[1] = s[1], t[2] = s[2];
    }
  }
}

void DrawText(Image& image, int x, int y, const std::string& text, int scale,
              const uint8_t colour[3]) {
  std::string line = Printable(text);
  // About 270 bytes of quads per character at most; the font needs a writable string.
  std::vector<char> quads(line.size() * 300 + 64);
  int count =
      stb_easy_font_print(0, 0, &line[0], nullptr, quads.data(), static_cast<int>(quads.size()));
  for (int q = 0; q < count; ++q) {
    // Each vertex: x, y, z as floats, then 4 colour bytes; the quads are axis-aligned.
    float v[4][4];
    std::copy_n(&quads[static_cast<size_t>(q) * 64], 64, reinterpret_cast<char*>(v));
    float qx0 = std::min({v[0][0], v[1][0], v[2][0], v[3][0]});
    float qx1 = std::max({v[0][0], v[1][0], v[2][0], v[3][0]});
    float qy0 = std::min({v[0][1], v[1][1], v[2][1], v[3][1]});
    float qy1 = std::max({v[0][1], v[1][1], v[2][1], v[3][1]});
    FillRect(image, x + static_cast<int>(std::lround(qx0 * scale)),
             y + static_cast<int>(std::lround(qy0 * scale)),
             x + static_cast<int>(std::lround(qx1 * scale)),
             y + static_cast<int>(std::lround(qy1 * scale)), colour);
  }
}

int TextWidth(const std::string& text, int scale) {
  std::string line = Printable(text);
  return stb_easy_font_width(&line[0]) * scale;
}

std::vector<std::string> WrapText(const std::string& text, int width, int scale) {
  std::vector<std::string> lines;
  std::string line;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(at, end - at);
    at = end + 1;
    if (word.empty()) continue;
    std::string wider = line.empty() ? word : line + " " + word;
    if (!line.empty() && TextWidth(wider, scale) > width) {
      lines.push_back(line);
      line = word;
    } else {
      line = wider;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

Image ComposeContactSheet(const std::vector<std::string>& title,
                          const std::vector<SheetCell>& cells, int columns) {
  columns = std::max(1, columns);
  const int rows = (static_cast<int>(cells.size()) + columns - 1) / columns;
  std::vector<int> columnWidth(static_cast<size_t>(columns), 0);
  std::vector<int> rowHeight(static_cast<size_t>(rows), 0);
  std::vector<std::vector<std::string>> captions(cells.size());
  for (size_t i = 0; i < cells.size(); ++i) {
    size_t c = i % static_cast<size_t>(columns);
    columnWidth[c] = std::max(columnWidth[c], cells[i].image.width);
  }
  for (size_t i = 0; i < cells.size(); ++i) {
    size_t c = i % static_cast<size_t>(columns), r = i / static_cast<size_t>(columns);
    captions[i] = WrapText(cells[i].caption, columnWidth[c], kCaptionScale);
    int height = cells[i].image.height + 6 +
                 static_cast<int>(captions[i].size()) * kTextLineHeight * kCaptionScale;
    rowHeight[r] = std::max(rowHeight[r], height);
  }

  int titleHeight = static_cast<int>(title.size()) * kTextLineHeight * kTitleScale;
  int width = kPadding, height = kPadding + titleHeight + kPadding;
  for (int w : columnWidth) width += w + kPadding;
  for (int h : rowHeight) height += h + kPadding;
  int titleWidth = 0;
  for (const std::string& line : title)
    titleWidth = std::max(titleWidth, TextWidth(line, kTitleScale));
  width = std::max(width, titleWidth + 2 * kPadding);

  Image sheet = MakeImage(width, height, kSheetBackground);
  for (size_t i = 0; i < title.size(); ++i) {
    DrawText(sheet, kPadding, kPadding + static_cast<int>(i) * kTextLineHeight * kTitleScale,
             title[i], kTitleScale, kTitleColour);
  }
  int y = kPadding + titleHeight + kPadding;
  for (int r = 0; r < rows; ++r) {
    int x = kPadding;
    for (int c = 0; c < columns; ++c) {
      size_t i = static_cast<size_t>(r) * static_cast<size_t>(columns) + static_cast<size_t>(c);
      if (i >= cells.size()) break;
      Blit(sheet, cells[i].image, x, y);
      int lineY = y + cells[i].image.height + 6;
      for (const std::string& line : captions[i]) {
        DrawText(sheet, x, lineY, line, kCaptionScale, kCaptionColour);
        lineY += kTextLineHeight * kCaptionScale;
      }
      x += columnWidth[static_cast<size_t>(c)] + kPadding;
    }
    y += rowHeight[static_cast<size_t>(r)] + kPadding;
  }
  return sheet;
}
