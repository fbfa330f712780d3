// Tiny character models written by the tests themselves, as DirectX .x text: boxes, each
// skinned wholly to one joint or left static, with joints whose rest place (their frame's
// transform) may differ from the place their meshes were bound at (the offset matrix).
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/host_types.h"

struct TinyJoint {
  std::string name;
  Vec3 rest;  // the frame's offset from the model's root (joints are the root's children)
  Vec3 bind;  // where the meshes were bound to it
};

// A box from lo to hi; each face takes one sixth of the texture rectangle (u0, v0)-(u1, v1),
// so boxes given the same rectangle share their texels (u1 < u0 mirrors them).
struct TinyBox {
  Vec3 lo, hi;
  std::string joint;  // empty: not skinned
  float u0 = 0.0f, v0 = 0.0f, u1 = 1.0f, v1 = 1.0f;
};

// Every number with a decimal point: the reader takes "1,0" for 1.0.
inline std::string TinyMatrix(Vec3 t) {
  std::ostringstream text;
  text << std::fixed << "1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0," << t.x << "," << t.y
       << "," << t.z << ",1.0;;";
  return text.str();
}

// Four corners a face, each face its own: no vertex is shared between faces.
inline void TinyBoxFaces(const std::vector<TinyBox>& boxes, std::vector<Vec3>& positions,
                         std::vector<float>& uvs) {
  for (const TinyBox& b : boxes) {
    const Vec3 c[8] = {{b.lo.x, b.lo.y, b.lo.z}, {b.hi.x, b.lo.y, b.lo.z}, {b.hi.x, b.hi.y, b.lo.z},
                       {b.lo.x, b.hi.y, b.lo.z}, {b.lo.x, b.lo.y, b.hi.z}, {b.hi.x, b.lo.y, b.hi.z},
                       {b.hi.x, b.hi.y, b.hi.z}, {b.lo.x, b.hi.y, b.hi.z}};
    const int faces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                             {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    for (int f = 0; f < 6; ++f) {
      const float v0 = b.v0 + (b.v1 - b.v0) * static_cast<float>(f) / 6.0f;
      const float v1 = b.v0 + (b.v1 - b.v0) * static_cast<float>(f + 1) / 6.0f;
      const float corner[4][2] = {{b.u0, v0}, {b.u1, v0}, {b.u1, v1}, {b.u0, v1}};
      for (int k = 0; k < 4; ++k) {
        positions.push_back(c[faces[f][k]]);
        uvs.push_back(corner[k][0]), uvs.push_back(corner[k][1]);
      }
    }
  }
}

// The boxes as Wavefront .obj text (static, read with its axes as written).
inline std::string TinyObjText(const std::vector<TinyBox>& boxes) {
  std::vector<Vec3> positions;
  std::vector<float> uvs;
  TinyBoxFaces(boxes, positions, uvs);
  std::ostringstream obj;
  for (const Vec3& p : positions) obj << "v " << p.x << " " << p.y << " " << p.z << "\n";
  for (size_t i = 0; i < positions.size(); ++i)
    obj << "vt " << uvs[2 * i] << " " << uvs[2 * i + 1] << "\n";
  for (size_t a = 1; a + 3 <= positions.size(); a += 4) {
    obj << "f " << a << "/" << a << " " << a + 1 << "/" << a + 1 << " " << a + 2 << "/" << a + 2
        << " " << a + 3 << "/" << a + 3 << "\n";
  }
  return obj.str();
}

// The joints and boxes as DirectX .x text (its reader turns z around, as .x is left-handed).
inline std::string TinyModelText(const std::vector<TinyJoint>& joints,
                                 const std::vector<TinyBox>& boxes) {
  std::vector<Vec3> positions;
  std::vector<float> uvs;
  TinyBoxFaces(boxes, positions, uvs);
  std::ostringstream x;
  x << std::fixed << "xof 0303txt 0032\nFrame Root {\nFrameTransformMatrix {\n"
    << TinyMatrix({0, 0, 0}) << "\n}\n";
  for (const TinyJoint& j : joints) {
    x << "Frame " << j.name << " {\nFrameTransformMatrix {\n" << TinyMatrix(j.rest) << "\n}\n}\n";
  }
  x << "Mesh body {\n" << positions.size() << ";\n";
  for (size_t i = 0; i < positions.size(); ++i) {
    x << positions[i].x << ";" << positions[i].y << ";" << positions[i].z << ";"
      << (i + 1 < positions.size() ? ",\n" : ";\n");
  }
  const size_t quads = positions.size() / 4;
  x << 2 * quads << ";\n";
  for (size_t q = 0; q < quads; ++q) {
    const size_t a = 4 * q;
    x << "3;" << a << "," << a + 1 << "," << a + 2 << ";,\n3;" << a << "," << a + 2 << "," << a + 3
      << ";" << (q + 1 < quads ? ",\n" : ";\n");
  }
  x << "MeshTextureCoords {\n" << positions.size() << ";\n";
  for (size_t i = 0; i < positions.size(); ++i) {
    x << uvs[2 * i] << ";" << uvs[2 * i + 1] << ";" << (i + 1 < positions.size() ? ",\n" : ";\n");
  }
  x << "}\n";
  for (const TinyJoint& j : joints) {
    std::vector<size_t> held;
    for (size_t b = 0, vertex = 0; b < boxes.size(); ++b, vertex += 24) {
      for (size_t k = 0; boxes[b].joint == j.name && k < 24; ++k) held.push_back(vertex + k);
    }
    if (held.empty()) continue;
    x << "SkinWeights {\n\"" << j.name << "\";\n" << held.size() << ";\n";
    for (size_t i = 0; i < held.size(); ++i) x << held[i] << (i + 1 < held.size() ? "," : ";\n");
    for (size_t i = 0; i < held.size(); ++i) x << "1.0" << (i + 1 < held.size() ? "," : ";\n");
    x << TinyMatrix({-j.bind.x, -j.bind.y, -j.bind.z}) << "\n}\n";
  }
  x << "}\n}\n";
  return x.str();
}

// A fresh folder of the test's own (removed by the caller's TempFolder).
struct TempFolder {
  std::filesystem::path path;
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vt-tiny-XXXXXX").string();
    if (mkdtemp(&pattern[0])) path = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(path / name, std::ios::binary) << text;
    return (path / name).string();
  }
};
