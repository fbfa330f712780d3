#include "png_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

namespace {

// The encoder hands out the file in pieces; a failed write is remembered.
struct PngFile {
  FILE* file;
  bool failed;
};

void WritePiece(void* context, void* data, int size) {
  PngFile* out = static_cast<PngFile*>(context);
  if (size > 0 &&
      std::fwrite(data, 1, static_cast<size_t>(size), out->file) != static_cast<size_t>(size)) {
    out->failed = true;
  }
}

bool Write(const std::string& path, int width, int height, int channels, const uint8_t* pixels) {
  if (width <= 0 || height <= 0 || !pixels) return false;
  PngFile out{std::fopen(path.c_str(), "wb"), false};
  if (!out.file) return false;
  int encoded =
      stbi_write_png_to_func(WritePiece, &out, width, height, channels, pixels, width * channels);
  bool closed = std::fclose(out.file) == 0;
  return encoded != 0 && !out.failed && closed;
}

uint32_t Crc32(const uint8_t* bytes, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutU32(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

void PutU16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value >> 8));
  out.push_back(static_cast<char>(value));
}

void PutChunk(std::string& out, const char type[4], const std::string& data) {
  PutU32(out, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out += body;
  PutU32(out, Crc32(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
}

struct Rect {
  int x, y, width, height;
};

// The smallest rectangle holding every pixel that differs between a and b (one pixel when
// none does).
Rect ChangedRect(const Image& a, const Image& b) {
  int x0 = a.width, y0 = a.height, x1 = -1, y1 = -1;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      size_t i =
          (static_cast<size_t>(y) * static_cast<size_t>(a.width) + static_cast<size_t>(x)) * 3;
      if (std::memcmp(&a.rgb[i], &b.rgb[i], 3) == 0) continue;
      x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
  }
  return x1 < 0 ? Rect{0, 0, 1, 1} : Rect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

// The chunks of a PNG that stb_image_write made of the rectangle of image: its header
// chunk and its image data.
bool EncodeRect(const Image& image, const Rect& r, std::string* header, std::string* data) {
  const uint8_t* first =
      image.rgb.data() +
      (static_cast<size_t>(r.y) * static_cast<size_t>(image.width) + static_cast<size_t>(r.x)) * 3;
  int length = 0;
  unsigned char* png = stbi_write_png_to_mem(first, image.width * 3, r.width, r.height, 3, &length);
  if (!png) return false;
  std::string bytes(reinterpret_cast<char*>(png), static_cast<size_t>(length));
  STBIW_FREE(png);
  data->clear();
  for (size_t at = 8; at + 12 <= bytes.size();) {
    const uint32_t size = static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24 |
                          static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16 |
                          static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8 |
                          static_cast<uint8_t>(bytes[at + 3]);
    if (at + 12 + size > bytes.size()) return false;
    const std::string type = bytes.substr(at + 4, 4);
    if (type == "IHDR") *header = bytes.substr(at + 8, size);
    if (type == "IDAT") *data += bytes.substr(at + 8, size);
    at += 12 + size;
  }
  return !header->empty() && !data->empty();
}

}  // namespace

bool WriteAnimatedPng(const std::string& path, const std::vector<AnimationFrame>& frames) {
  if (frames.empty()) return false;
  const Image& first = frames[0].image;
  std::string out = "\x89PNG\r\n\x1A\n", header, data, control;
  uint32_t sequence = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const Image& image = frames[i].image;
    if (image.width != first.width || image.height != first.height ||
        image.rgb.size() !=
            static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3) {
      return false;
    }
    const Rect r =
        i == 0 ? Rect{0, 0, image.width, image.height} : ChangedRect(frames[i - 1].image, image);
    std::string rectHeader;
    if (!EncodeRect(image, r, &rectHeader, &data)) return false;
    if (i == 0) {
      PutChunk(out, "IHDR", rectHeader);
      control.clear();
      PutU32(control, static_cast<uint32_t>(frames.size()));
      PutU32(control, 0);  // loop for ever
      PutChunk(out, "acTL", control);
    }
    control.clear();
    PutU32(control, sequence++);
    for (int v : {r.width, r.height, r.x, r.y}) PutU32(control, static_cast<uint32_t>(v));
    PutU16(control, static_cast<uint32_t>(std::clamp(frames[i].delayMs, 1, 65535)));
    PutU16(control, 1000);
    control.push_back(0);  // keep the frame: the next one draws over it
    control.push_back(0);  // replace the rectangle's pixels
    PutChunk(out, "fcTL", control);
    if (i == 0) {
      PutChunk(out, "IDAT", data);
    } else {
      std::string numbered;
      PutU32(numbered, sequence++);
      PutChunk(out, "fdAT", numbered + data);
    }
  }
  PutChunk(out, "IEND", "");
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
  return (std::fclose(file) == 0) && written;
}

bool WritePng(const std::string& path, const Image& image) {
  if (image.rgb.size() !=
      static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3) {
    return false;
  }
  return Write(path, image.width, image.height, 3, image.rgb.data());
}

bool WriteGreyPng(const std::string& path, int width, int height, const uint8_t* bytes) {
  return Write(path, width, height, 1, bytes);
}
