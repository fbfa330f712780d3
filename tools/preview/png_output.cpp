#include "png_output.h"

#include <cstdio>

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

}  // namespace

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
