#include "model_texture.h"

#include <assimp/material.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/unique_folder.h"

namespace fs = std::filesystem;

namespace {

// A 1 x 1 PNG, and the start of one that claims 16384 x 16384 texels.
const unsigned char kTinyPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
    0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9C, 0x63, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01, 0x0D, 0x0A, 0x2D, 0xB4, 0x00,
    0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
const unsigned char kHugePng[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00,
                                  0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00,
                                  0x40, 0x00, 0x08, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                  0x00, 0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63,
                                  0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};

template <size_t N>
void WriteBytes(const fs::path& path, const unsigned char (&bytes)[N]) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes), N);
}

// Textures come only from the model's folder and below, and a picture too large to be
// worth decoding is refused from its header; each refusal is one line.
TEST(ModelTexture, ReadsOnlyFromTheModelsFolderAndChecksTheSizeFirst) {
  const fs::path root = MakeUniqueTempFolder("vermiltrace-model-texture");
  fs::create_directories(root / "model" / "maps");
  WriteBytes(root / "secret.png", kTinyPng);
  WriteBytes(root / "model" / "maps" / "skin.png", kTinyPng);
  WriteBytes(root / "model" / "huge.png", kHugePng);
  const std::string modelDir = (root / "model").string() + "/";
  const struct {
    std::string reference;
    bool loaded;
    std::string note;
  } cases[] = {
      {"maps/skin.png", true, ""},
      {"../secret.png", false,
       "its texture ../secret.png lies outside the model's folder; not read"},
      {(root / "secret.png").string(), false,
       "its texture " + (root / "secret.png").string() +
           " lies outside the model's folder; not read"},
      {"huge.png", false,
       "its texture huge.png is 16384 x 16384 texels, larger than 4096 x 4096; not decoded"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reference);
    aiScene scene;
    aiMaterial material;
    aiString name(c.reference);
    material.AddProperty(&name, AI_MATKEY_TEXTURE_DIFFUSE(0));
    TexturePixels pixels;
    std::string note;
    EXPECT_EQ(LoadMaterialTexture(scene, material, modelDir, pixels, note), c.loaded);
    EXPECT_EQ(note, c.note);
  }
  fs::remove_all(root);
}

}  // namespace
