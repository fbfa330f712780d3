// The base-colour picture of an imported model's material: embedded in the model file or
// a file beside it, decoded with stb_image into the host's pixel layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct aiMaterial;
struct aiScene;

// Pixels in the host's memory order: blue, green, red, alpha, rows tightly packed.
struct TexturePixels {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bgra;
};

// The material's base-colour (or diffuse) texture, at most kMaxTextureSide texels a side
// (larger pictures are scaled down). A file reference is looked up as written, relative
// to the folder of modelPath, and by its bare name there, also with the usual picture
// extensions (exporters often name a .tga where a .png or .jpg was shipped); a placeholder
// name (empty, or assimp's "$texture_dummy.bmp") as the model's own name with those
// extensions (an MD2's sydney.bmp beside sydney.md2). False when the material names no
// texture or none can be decoded; note then says why, when it names one.
bool LoadMaterialTexture(const aiScene& scene, const aiMaterial& material,
                         const std::string& modelPath, TexturePixels& out, std::string& note);

constexpr int32_t kMaxTextureSide = 1024;
