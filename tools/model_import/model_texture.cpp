#include "model_texture.h"

#include <assimp/material.h>
#include <assimp/scene.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 16384
#include <stb_image.h>

namespace fs = std::filesystem;

namespace {

constexpr uintmax_t kMaxTextureFileBytes = 64u << 20;
constexpr char kPlaceholderMark = '$';  // assimp's name for a texture a file does not name
// Pictures are scaled down to kMaxTextureSide anyway; larger ones would only cost memory
// (a small file can claim a huge picture).
constexpr uint64_t kMaxDecodedSide = 4096;

// "W x H texels, larger than ...", or empty when a width x height picture may be decoded.
std::string SizeRefusal(uint64_t width, uint64_t height) {
  if (width <= kMaxDecodedSide && height <= kMaxDecodedSide) return "";
  return std::to_string(width) + " x " + std::to_string(height) + " texels, larger than " +
         std::to_string(kMaxDecodedSide) + " x " + std::to_string(kMaxDecodedSide);
}

// Nearest-texel scaling of RGBA rows into the host's BGRA order, at most kMaxTextureSide.
void Store(const uint8_t* rgba, int width, int height, TexturePixels& out) {
  const int factor = std::max({1, (width + kMaxTextureSide - 1) / kMaxTextureSide,
                               (height + kMaxTextureSide - 1) / kMaxTextureSide});
  out.width = std::max(1, width / factor);
  out.height = std::max(1, height / factor);
  out.bgra.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 4);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      const uint8_t* s = rgba + (static_cast<size_t>(y * factor) * static_cast<size_t>(width) +
                                 static_cast<size_t>(x * factor)) *
                                    4;
      uint8_t* d =
          out.bgra.data() +
          (static_cast<size_t>(y) * static_cast<size_t>(out.width) + static_cast<size_t>(x)) * 4;
      d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
    }
  }
}

// The picture's size is read from its header first: refusal says why one is not decoded.
bool Decode(const uint8_t* bytes, size_t size, TexturePixels& out, std::string& refusal) {
  if (size == 0 || size > kMaxTextureFileBytes) return false;
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(bytes, static_cast<int>(size), &width, &height, &channels)) {
    return false;
  }
  refusal = SizeRefusal(static_cast<uint64_t>(width), static_cast<uint64_t>(height));
  if (!refusal.empty()) return false;
  stbi_uc* rgba =
      stbi_load_from_memory(bytes, static_cast<int>(size), &width, &height, &channels, 4);
  if (!rgba) return false;
  Store(rgba, width, height, out);
  stbi_image_free(rgba);
  return true;
}

bool DecodeFile(const fs::path& path, TexturePixels& out, std::string& refusal) {
  std::error_code error;
  if (!fs::is_regular_file(path, error) || fs::file_size(path, error) > kMaxTextureFileBytes) {
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out, refusal);
}

bool DecodeEmbedded(const aiTexture& texture, TexturePixels& out, std::string& refusal) {
  if (!texture.pcData) return false;
  if (texture.mHeight == 0) {  // the file's bytes, mWidth of them
    return Decode(reinterpret_cast<const uint8_t*>(texture.pcData), texture.mWidth, out, refusal);
  }
  refusal = SizeRefusal(texture.mWidth, texture.mHeight);
  if (!refusal.empty()) return false;
  const size_t count = static_cast<size_t>(texture.mWidth) * texture.mHeight;
  std::vector<uint8_t> rgba(count * 4);
  for (size_t i = 0; i < count; ++i) {
    const aiTexel& t = texture.pcData[i];
    rgba[4 * i] = t.r, rgba[4 * i + 1] = t.g, rgba[4 * i + 2] = t.b, rgba[4 * i + 3] = t.a;
  }
  Store(rgba.data(), static_cast<int>(texture.mWidth), static_cast<int>(texture.mHeight), out);
  return true;
}

// Whether path, links followed, lies in folder or below it.
bool InModelFolder(const fs::path& path, const std::string& folder) {
  std::error_code error;
  const fs::path base =
      fs::weakly_canonical(folder.empty() ? fs::path(".") : fs::path(folder), error);
  if (error) return false;
  const fs::path full = fs::weakly_canonical(path, error);
  if (error) return false;
  const fs::path relative = full.lexically_relative(base);
  return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

bool LoadMaterialTexture(const aiScene& scene, const aiMaterial& material,
                         const std::string& modelPath, TexturePixels& out, std::string& note) {
  aiString name;
  if (material.GetTexture(aiTextureType_BASE_COLOR, 0, &name) != AI_SUCCESS &&
      material.GetTexture(aiTextureType_DIFFUSE, 0, &name) != AI_SUCCESS) {
    return false;
  }
  const std::string reference = name.C_Str();
  std::string refusal;
  if (const aiTexture* embedded = scene.GetEmbeddedTexture(reference.c_str())) {
    if (DecodeEmbedded(*embedded, out, refusal)) return true;
    note = "the embedded texture " + reference +
           (refusal.empty() ? " cannot be decoded" : " is " + refusal + "; not decoded");
    return false;
  }
  const fs::path model(modelPath);
  const fs::path modelDir = model.has_parent_path() ? model.parent_path() : fs::path(".");
  std::string portable = reference;
  std::replace(portable.begin(), portable.end(), '\\', '/');
  const fs::path written(portable);
  // A placeholder (MD2 files often carry none of their own) stands for the picture named
  // after the model.
  const bool placeholder = reference.empty() || reference[0] == kPlaceholderMark;
  const fs::path named = placeholder ? model.filename() : written.filename();
  std::vector<fs::path> candidates;
  if (!placeholder) candidates = {modelDir / written, modelDir / written.filename()};
  for (const char* extension : {".png", ".jpg", ".jpeg", ".tga", ".bmp"}) {
    candidates.push_back(modelDir / fs::path(named).replace_extension(extension));
  }
  bool outside = false;
  for (const fs::path& candidate : candidates) {
    // Only the model's folder and below: a model must not make the tool open other files.
    if (!InModelFolder(candidate, modelDir)) {
      outside = true;
      continue;
    }
    if (DecodeFile(candidate, out, refusal)) return true;
    if (!refusal.empty()) break;
  }
  if (!refusal.empty()) {
    note = "its texture " + reference + " is " + refusal + "; not decoded";
  } else if (outside) {
    note = "its texture " + reference + " lies outside the model's folder; not read";
  } else {
    note = "its texture " + reference + " was not found or cannot be decoded";
  }
  return false;
}
