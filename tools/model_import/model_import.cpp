#include "model_import.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cctype>
#include <cmath>
#include <fstream>
#include <map>
#include <set>

#include "body_layout.h"
#include "bone_map.h"
#include "host/sim/sim_math.h"
#include "model_texture.h"
#include "quoted_text.h"
#include "robust_range.h"

namespace {

constexpr int16_t kModelIndex = 7;
constexpr uint32_t kRootFlag = 0x4000;
constexpr float kHeight = 1.8f;
constexpr size_t kMaxBones = 256;       // bone indices are packed in bytes
constexpr size_t kMaxVertices = 65535;  // triangles index vertices with 16 bits
constexpr int32_t kTextureSize = 64;
constexpr uint32_t kFormatBase = 0x02 | 0x10 | 0x20 | 0x40;  // positions, normals, lit
constexpr uint32_t kFormatTextured = 0x04;

// assimp's matrices take column vectors; the host's take rows.
HostMatrix ToHost(const aiMatrix4x4& a) {
  HostMatrix m = IdentityMatrix();
  const float column[4][3] = {
      {a.a1, a.b1, a.c1}, {a.a2, a.b2, a.c2}, {a.a3, a.b3, a.c3}, {a.a4, a.b4, a.c4}};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j) m.m[i][j] = column[i][j];
  }
  return m;
}

Vec3 ToVec3(const aiVector3D& v) { return {v.x, v.y, v.z}; }
Quaternion ToQuaternion(const aiQuaternion& q) { return {q.x, q.y, q.z, q.w}; }

Vec3 Normalised(Vec3 v) {
  float length = Length(v);
  return length > 0.0f ? v * (1.0f / length) : Vec3{0, 0, 1};
}

void FlattenNodes(const aiNode* node, int32_t parent, std::vector<NodeRecord>& nodes,
                  std::vector<const aiNode*>& order) {
  NodeRecord record;
  record.name = node->mName.C_Str();
  record.parent = parent;
  record.rest = ToHost(node->mTransformation);
  aiVector3D scaling, position;
  aiQuaternion rotation;
  node->mTransformation.Decompose(scaling, rotation, position);
  record.restPosition = ToVec3(position);
  record.restScaling = ToVec3(scaling);
  record.restRotation = ToQuaternion(rotation);
  int32_t index = static_cast<int32_t>(nodes.size());
  nodes.push_back(record);
  order.push_back(node);
  for (unsigned c = 0; c < node->mNumChildren; ++c) {
    FlattenNodes(node->mChildren[c], index, nodes, order);
  }
}

// One placed mesh: an assimp mesh under the node that holds it, and its anchor: the node
// that places the mesh in the model's space in the bind pose (its heaviest bone, or the
// mesh's own node for a static mesh), which also carries vertices no bone holds.
struct MeshUse {
  const aiMesh* mesh;
  int32_t node;
  int32_t anchor;
  HostMatrix anchorOffset;  // mesh space to the anchor's space in the bind pose
  HostMatrix meshToScene;   // bind-pose mesh space to the model's own space
};

// The bind pose: every bone where its offset matrix puts it (the inverse of the offset: a
// skinned mesh's vertices are posed by the bones alone, whatever its node's transform),
// other nodes at their rest transform below their parent. Many files keep a rest pose far
// from the pose their meshes were bound in. False in *bound when no mesh names a bone.
std::vector<HostMatrix> BindPose(const aiScene& scene, const std::vector<const aiNode*>& order,
                                 const std::vector<NodeRecord>& nodes,
                                 const std::map<std::string, int32_t>& nodeByName, bool* bound) {
  std::vector<HostMatrix> bind(nodes.size(), IdentityMatrix());
  std::vector<bool> placed(nodes.size(), false);
  for (size_t i = 0; i < order.size(); ++i) {
    for (unsigned m = 0; m < order[i]->mNumMeshes; ++m) {
      const unsigned index = order[i]->mMeshes[m];
      const aiMesh* mesh = index < scene.mNumMeshes ? scene.mMeshes[index] : nullptr;
      for (unsigned b = 0; mesh && b < mesh->mNumBones; ++b) {
        auto found = nodeByName.find(mesh->mBones[b]->mName.C_Str());
        if (found == nodeByName.end() || placed[static_cast<size_t>(found->second)]) continue;
        bind[static_cast<size_t>(found->second)] =
            InverseMatrix(ToHost(mesh->mBones[b]->mOffsetMatrix));
        placed[static_cast<size_t>(found->second)] = true;
      }
    }
  }
  *bound = std::find(placed.begin(), placed.end(), true) != placed.end();
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (placed[i]) continue;
    const int32_t parent = nodes[i].parent;
    bind[i] =
        parent >= 0 ? Multiply(nodes[i].rest, bind[static_cast<size_t>(parent)]) : nodes[i].rest;
  }
  return bind;
}

// How far the rest pose's bones lie from the bind pose's, as a share of the model's
// height in its own space.
float RestFromBind(const std::vector<int32_t>& boneNodes, const std::vector<HostMatrix>& rest,
                   const std::vector<HostMatrix>& bind, float height) {
  float farthest = 0.0f;
  for (int32_t node : boneNodes) {
    const size_t n = static_cast<size_t>(node);
    farthest = std::max(farthest, Length(MatrixTranslation(rest[n]) - MatrixTranslation(bind[n])));
  }
  return height > 0.0f && std::isfinite(farthest) ? farthest / height : 0.0f;
}

bool HasTriangles(const aiMesh* mesh) {
  for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
    if (mesh->mFaces[f].mNumIndices == 3) return true;
  }
  return false;
}

// The model's up and front directions in its own space.
struct Axes {
  Vec3 up;
  Vec3 front;
};

// From the skeleton: the head (or neck) above the pelvis (or spine), the right arm on the
// ped's right. False when a bone of those is missing or they lie too close together.
bool SkeletonAxes(const std::vector<int32_t>& boneNodes, const std::vector<int32_t>& ids,
                  const std::vector<HostMatrix>& bind, Axes* axes) {
  auto find = [&](int32_t id, Vec3* at) {
    for (size_t b = 0; b < ids.size() && b < boneNodes.size(); ++b) {
      if (ids[b] != id) continue;
      *at = MatrixTranslation(bind[static_cast<size_t>(boneNodes[b])]);
      return true;
    }
    return false;
  };
  Vec3 head, pelvis, right, left;
  if (!(find(5, &head) || find(4, &head)) || !(find(1, &pelvis) || find(2, &pelvis))) return false;
  bool arms = false;
  for (int32_t id : {22, 21, 23, 24}) {
    if (find(id, &right) && find(id + 10, &left)) {
      arms = true;
      break;
    }
  }
  Vec3 up = head - pelvis;
  if (!arms || !(Length(up) > 1e-6f) || !std::isfinite(Length(up))) return false;
  up = Normalised(up);
  Vec3 across = right - left;
  across = across - up * Dot(across, up);
  if (!(Length(across) > 0.05f * Length(head - pelvis))) return false;
  *axes = {up, Cross(up, Normalised(across))};
  return true;
}

Vec3 AxisVector(int32_t axis, int32_t sign) {
  Vec3 v{0, 0, 0};
  (axis == 0 ? v.x : axis == 1 ? v.y : v.z) = sign < 0 ? -1.0f : 1.0f;
  return v;
}

// From the file's axis metadata (FBX and others that assimp reports).
bool MetadataAxes(const aiScene& scene, Axes* axes) {
  const aiMetadata* meta = scene.mMetaData;
  int32_t up = -1, upSign = 1, front = -1, frontSign = 1;
  if (!meta || !meta->Get("UpAxis", up) || up < 0 || up > 2) return false;
  meta->Get("UpAxisSign", upSign);
  if (!meta->Get("FrontAxis", front) || front < 0 || front > 2 || front == up) {
    front = up == 2 ? 1 : 2;
    frontSign = up == 2 ? -1 : 1;
  } else {
    meta->Get("FrontAxisSign", frontSign);
  }
  *axes = {AxisVector(up, upSign), AxisVector(front, frontSign)};
  return true;
}

// From the file format's convention, for formats that have one, as assimp hands them on:
// IQM and MD2 (Quake's z up, turned by the reader to y up) face +x, glTF is y up facing
// +z, COB (trueSpace) z up facing +y.
bool FormatAxes(const std::string& path, Axes* axes) {
  std::string extension = path.substr(std::min(path.size(), path.find_last_of('.') + 1));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "iqm" || extension == "md2") return *axes = {{0, 1, 0}, {1, 0, 0}}, true;
  if (extension == "cob") return *axes = {{0, 0, 1}, {0, 1, 0}}, true;
  if (extension == "gltf" || extension == "glb") return *axes = {{0, 1, 0}, {0, 0, 1}}, true;
  return false;
}

// The user's up and facing in place of what was found or guessed: a facing along the up
// axis is dropped for the found one, or for the usual one of that up (z up faces -y, y up
// +z, x up -y).
void ApplyFacing(const ModelFacing& facing, Axes* axes) {
  const bool front = Length(facing.front) > 0.0f;
  if (Length(facing.up) > 0.0f) axes->up = facing.up;
  if (front) axes->front = facing.front;
  auto along = [](Vec3 a, Vec3 b) { return std::fabs(Dot(a, b)) > 0.5f; };
  if (along(axes->front, axes->up)) {
    axes->front = front ? facing.front : axes->up.y != 0.0f ? Vec3{0, 0, 1} : Vec3{0, -1, 0};
  }
  if (along(axes->front, axes->up))
    axes->up = axes->front.z != 0.0f ? Vec3{0, 1, 0} : Vec3{0, 0, 1};
}

// The model's own space to model space: axis turn, scale and shift. Up and front come
// from the skeleton, else the file's metadata, else its format's convention, else the
// longest extent is up (a y-up model faces +z, any other -y, as the common tools make
// them); the user's facing goes over all of them.
HostMatrix SceneToModel(const std::vector<MeshUse>& uses, const Axes* known,
                        const ModelFacing& facing) {
  std::vector<Vec3> points;
  for (const MeshUse& use : uses) {
    for (unsigned v = 0; v < use.mesh->mNumVertices; ++v) {
      points.push_back(TransformPoint(use.meshToScene, ToVec3(use.mesh->mVertices[v])));
    }
  }
  auto range = [&](const HostMatrix& turn, Vec3* lo, Vec3* hi) {
    std::vector<float> values[3];
    for (const Vec3& p : points) {
      Vec3 q = TransformVector(turn, p);
      values[0].push_back(q.x), values[1].push_back(q.y), values[2].push_back(q.z);
    }
    if (!RobustRange(values[0], &lo->x, &hi->x)) *lo = *hi = Vec3{0, 0, 0};
    RobustRange(values[1], &lo->y, &hi->y);
    RobustRange(values[2], &lo->z, &hi->z);
  };
  Axes axes{{0, 0, 1}, {0, -1, 0}};
  if (known) {
    axes = *known;
  } else {
    Vec3 lo, hi;
    range(IdentityMatrix(), &lo, &hi);
    Vec3 size = hi - lo;
    if (size.y > size.x && size.y > size.z) axes = {{0, 1, 0}, {0, 0, 1}};
    if (size.x > size.y && size.x > size.z) axes = {{1, 0, 0}, {0, -1, 0}};
  }
  ApplyFacing(facing, &axes);
  const Vec3 right = Normalised(Cross(axes.front, axes.up));
  const Vec3 front = Cross(axes.up, right);
  HostMatrix turn = IdentityMatrix();
  const Vec3 columns[3] = {right, front, axes.up};
  for (int c = 0; c < 3; ++c) {
    turn.m[0][c] = columns[c].x, turn.m[1][c] = columns[c].y, turn.m[2][c] = columns[c].z;
  }
  Vec3 tlo, thi;
  range(turn, &tlo, &thi);
  float height = thi.z - tlo.z;
  float scale = height > 1e-6f && std::isfinite(height) ? kHeight / height : 1.0f;
  HostMatrix scaled = turn;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) scaled.m[i][j] *= scale;
  }
  Vec3 shift{-0.5f * (tlo.x + thi.x) * scale, -0.5f * (tlo.y + thi.y) * scale, -tlo.z * scale};
  return Multiply(scaled, TranslationMatrix(shift));
}

// The material's colour; a textured material shows its texture as it is, as most
// exporters mean by a black or grey diffuse colour beside a texture.
uint32_t MaterialColour(const aiMaterial* material, bool textured) {
  aiColor4D diffuse(1, 1, 1, 1);
  if (material && !textured) material->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse);
  auto byte = [](float c) {
    float clamped = std::isfinite(c) ? std::min(1.0f, std::max(0.0f, c)) : 1.0f;
    return static_cast<uint32_t>(std::lround(clamped * 255.0f));
  };
  // The game's colour bytes in memory order: red, green, blue, alpha.
  return byte(diffuse.r) | byte(diffuse.g) << 8 | byte(diffuse.b) << 16 | byte(diffuse.a) << 24;
}

struct Influence {
  int32_t bone;
  float weight;
};

// Fills one geometry and its skin from a placed mesh. boneIndex maps node to hierarchy
// bone; bind holds the nodes' bind-pose world matrices.
void FillGeometry(const MeshUse& use, const std::vector<int32_t>& boneIndex,
                  const std::map<std::string, int32_t>& nodeByName,
                  const std::vector<HostMatrix>& bind, const HostMatrix& sceneToModel,
                  HostMaterial* material, SimGeometry& g, SimSkin& skin) {
  const aiMesh* mesh = use.mesh;
  const size_t n = mesh->mNumVertices;
  // Bind positions in model space.
  const HostMatrix toModel = Multiply(use.meshToScene, sceneToModel);
  const HostMatrix fromModel = InverseMatrix(toModel);

  g.vertexCount = static_cast<int32_t>(n);
  g.format = kFormatBase | (mesh->HasTextureCoords(0) ? kFormatTextured : 0u);
  g.positions.resize(n);
  g.normals.resize(n);
  for (size_t v = 0; v < n; ++v) {
    g.positions[v] = TransformPoint(toModel, ToVec3(mesh->mVertices[v]));
    Vec3 normal = mesh->HasNormals() ? ToVec3(mesh->mNormals[v]) : Vec3{0, 0, 1};
    g.normals[v] = Normalised(TransformVector(toModel, normal));
  }
  if (mesh->HasTextureCoords(0)) {
    g.texCoords.resize(n);
    for (size_t v = 0; v < n; ++v) {
      g.texCoords[v] = {mesh->mTextureCoords[0][v].x, mesh->mTextureCoords[0][v].y};
    }
  }
  for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
    const aiFace& face = mesh->mFaces[f];
    if (face.mNumIndices != 3) continue;
    if (face.mIndices[0] >= n || face.mIndices[1] >= n || face.mIndices[2] >= n) continue;
    g.triangles.push_back(
        {{static_cast<uint16_t>(face.mIndices[0]), static_cast<uint16_t>(face.mIndices[1]),
          static_cast<uint16_t>(face.mIndices[2])},
         0});
  }
  g.triangleCount = static_cast<int32_t>(g.triangles.size());
  g.materials = {material};
  SetBoundsFromPositions(g);
  g.finished = true;

  // Inverse binds: skinning p * inverseBind * (world * sceneToModel) must give what assimp
  // gives, vertex * offset * world, for p = vertex * toModel.
  const size_t bones = static_cast<size_t>(
      std::count_if(boneIndex.begin(), boneIndex.end(), [](int32_t b) { return b >= 0; }));
  skin.inverseBind.assign(bones, IdentityMatrix());
  std::vector<int32_t> boneNode(bones, -1);
  for (size_t node = 0; node < boneIndex.size(); ++node) {
    if (boneIndex[node] >= 0) {
      boneNode[static_cast<size_t>(boneIndex[node])] = static_cast<int32_t>(node);
    }
  }
  for (size_t b = 0; b < bones; ++b) {
    if (boneNode[b] < 0) continue;
    // Unused bones get their bind pose, so they pose like the rest if ever used.
    HostMatrix offset = InverseMatrix(bind[static_cast<size_t>(boneNode[b])]);
    skin.inverseBind[b] = Multiply(Multiply(fromModel, use.meshToScene), offset);
  }
  const int32_t anchor = boneIndex[static_cast<size_t>(use.anchor)];
  skin.inverseBind[static_cast<size_t>(anchor)] = Multiply(fromModel, use.anchorOffset);
  std::vector<std::vector<Influence>> influences(n);
  for (unsigned i = 0; i < mesh->mNumBones; ++i) {
    const aiBone* bone = mesh->mBones[i];
    auto found = nodeByName.find(bone->mName.C_Str());
    if (found == nodeByName.end()) continue;
    int32_t b = boneIndex[static_cast<size_t>(found->second)];
    if (b < 0) continue;
    skin.inverseBind[static_cast<size_t>(b)] = Multiply(fromModel, ToHost(bone->mOffsetMatrix));
    for (unsigned w = 0; w < bone->mNumWeights; ++w) {
      const aiVertexWeight& weight = bone->mWeights[w];
      if (weight.mVertexId >= n || !(weight.mWeight > 0.0f) || !std::isfinite(weight.mWeight)) {
        continue;
      }
      influences[weight.mVertexId].push_back({b, weight.mWeight});
    }
  }
  skin.weights.assign(4 * n, 0.0f);
  skin.boneIndices.assign(n, 0);
  for (size_t v = 0; v < n; ++v) {
    std::vector<Influence>& list = influences[v];
    std::stable_sort(list.begin(), list.end(),
                     [](const Influence& a, const Influence& b) { return a.weight > b.weight; });
    if (list.size() > 4) list.resize(4);
    if (list.empty()) list.push_back({anchor, 1.0f});
    float total = 0.0f;
    for (const Influence& i : list) total += i.weight;
    uint32_t packed = 0;
    for (size_t k = 0; k < list.size(); ++k) {
      skin.weights[4 * v + k] = list[k].weight / total;
      packed |= static_cast<uint32_t>(list[k].bone & 0xFF) << (8 * k);
    }
    skin.boneIndices[v] = packed;
  }
}

}  // namespace

bool ParseModelAxis(const std::string& text, Vec3* axis) {
  const bool sign = text.size() == 2 && (text[0] == '+' || text[0] == '-');
  const std::string name = sign ? text.substr(1) : text;
  if (name.size() != 1 || name[0] < 'x' || name[0] > 'z') return false;
  *axis = AxisVector(name[0] - 'x', sign && text[0] == '-' ? -1 : 1);
  return true;
}

bool ImportPedModel(SimHost& sim, const std::string& path, const std::string& boneMapPath,
                    const PedPlacement& placement, ImportedPed& out, std::string& error,
                    const ModelFacing& facing) {
  out = ImportedPed{};
  std::vector<BoneMapEntry> map;
  if (!boneMapPath.empty() && !LoadBoneMap(boneMapPath, map, error)) return false;
  if (!std::ifstream(path, std::ios::binary)) {
    error = path + ": cannot open the model";
    return false;
  }
  Assimp::Importer importer;
  importer.SetPropertyInteger(AI_CONFIG_PP_SLM_VERTEX_LIMIT, static_cast<int>(kMaxVertices));
  const aiScene* scene = importer.ReadFile(
      path, aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_GenSmoothNormals |
                aiProcess_SortByPType | aiProcess_SplitLargeMeshes | aiProcess_FlipUVs);
  if (!scene || !scene->mRootNode) {
    error = path + ": not a model that can be read (" + importer.GetErrorString() + ")";
    return false;
  }

  std::vector<NodeRecord> nodes;
  std::vector<const aiNode*> order;
  FlattenNodes(scene->mRootNode, -1, nodes, order);
  std::map<std::string, int32_t> nodeByName;
  for (size_t i = 0; i < nodes.size(); ++i) {
    nodeByName.emplace(nodes[i].name, static_cast<int32_t>(i));  // the first of a name
  }
  std::vector<HostMatrix> rest;
  NodeWorldMatrices(nodes, nullptr, 0.0, rest);
  bool bound = false;
  const std::vector<HostMatrix> bind = BindPose(*scene, order, nodes, nodeByName, &bound);

  std::vector<MeshUse> uses;
  std::set<int32_t> boneNodes;
  for (size_t i = 0; i < order.size(); ++i) {
    for (unsigned m = 0; m < order[i]->mNumMeshes; ++m) {
      unsigned index = order[i]->mMeshes[m];
      if (index >= scene->mNumMeshes) continue;
      const aiMesh* mesh = scene->mMeshes[index];
      if (!mesh || !HasTriangles(mesh) || mesh->mNumVertices > kMaxVertices) continue;
      MeshUse use{mesh, static_cast<int32_t>(i), static_cast<int32_t>(i), IdentityMatrix(),
                  bind[i]};
      float heaviest = 0.0f;
      for (unsigned b = 0; b < mesh->mNumBones; ++b) {
        const aiBone* bone = mesh->mBones[b];
        auto found = nodeByName.find(bone->mName.C_Str());
        if (found == nodeByName.end()) continue;
        boneNodes.insert(found->second);
        float total = 0.0f;
        for (unsigned w = 0; w < bone->mNumWeights; ++w) {
          if (bone->mWeights[w].mWeight > 0.0f) total += bone->mWeights[w].mWeight;
        }
        if (total > heaviest) {
          heaviest = total;
          use.anchor = found->second;
          use.anchorOffset = ToHost(bone->mOffsetMatrix);
          use.meshToScene = Multiply(use.anchorOffset, bind[static_cast<size_t>(found->second)]);
        }
      }
      boneNodes.insert(use.anchor);
      uses.push_back(use);
    }
  }
  if (uses.empty()) {
    error = path + ": no triangles";
    return false;
  }
  if (boneNodes.size() > kMaxBones) {
    error = path + ": " + std::to_string(boneNodes.size()) + " bones, at most 256 can be used";
    return false;
  }

  std::vector<int32_t> boneIndex(nodes.size(), -1);
  for (int32_t node : boneNodes) {  // ascending: tree order
    boneIndex[static_cast<size_t>(node)] = static_cast<int32_t>(out.boneNodes.size());
    out.boneNodes.push_back(node);
    out.boneNames.push_back(nodes[static_cast<size_t>(node)].name);
  }
  for (const BoneMapEntry& entry : map) {
    if (std::find(out.boneNames.begin(), out.boneNames.end(), entry.joint) == out.boneNames.end()) {
      error = boneMapPath + ":" + std::to_string(entry.line) + ": the model has no joint " +
              QuotedText(entry.joint) + " (joint names are matched exactly, case included)";
      out = ImportedPed{};
      return false;
    }
  }
  std::vector<int32_t> ids = AssignBoneNumbers(out.boneNames, boneMapPath.empty() ? nullptr : &map);
  Axes axes;
  const bool known = SkeletonAxes(out.boneNodes, ids, bind, &axes) || MetadataAxes(*scene, &axes) ||
                     FormatAxes(path, &axes);
  out.sceneToModel = SceneToModel(uses, known ? &axes : nullptr, facing);
  const float scale = Length(TransformVector(out.sceneToModel, {1, 0, 0}));
  out.restFromBind = RestFromBind(out.boneNodes, rest, bind, scale > 0.0f ? kHeight / scale : 0.0f);
  out.bindPose = bound;

  out.hierarchy = sim.AddHierarchy();
  SimHierarchy* h = SimHost::Sim(out.hierarchy);
  h->boneCount = static_cast<int32_t>(out.boneNodes.size());
  h->boneIds = std::move(ids);
  h->boneMatrices.assign(out.boneNodes.size(), IdentityMatrix());
  out.rootFrame = sim.AddFrame();
  out.object = sim.AddRenderObject(out.hierarchy);

  std::map<unsigned, HostMaterial*> materials;
  for (const MeshUse& use : uses) {
    HostMaterial*& material = materials[use.mesh->mMaterialIndex];
    if (!material) {
      const aiMaterial* source = use.mesh->mMaterialIndex < scene->mNumMaterials
                                     ? scene->mMaterials[use.mesh->mMaterialIndex]
                                     : nullptr;
      TexturePixels pixels;
      std::string note;
      if (source && LoadMaterialTexture(*scene, *source, path, pixels, note)) {
        HostTexture* texture = sim.AddTexture(pixels.width, pixels.height);
        SimSurface* surface = SimHost::Sim(texture)->surface;
        for (int32_t y = 0; surface && y < pixels.height && y < surface->height; ++y) {
          std::copy_n(
              pixels.bgra.data() + static_cast<size_t>(y) * 4 * static_cast<size_t>(pixels.width),
              4 * static_cast<size_t>(std::min(pixels.width, surface->width)),
              surface->pixels.data() +
                  static_cast<size_t>(y) * static_cast<size_t>(surface->stride));
        }
        material = sim.AddMaterial(texture, MaterialColour(source, true));
        ++out.texturedMaterials;
      } else {
        if (!note.empty()) out.notes.push_back(note);
        material = sim.AddMaterial(sim.AddTexture(kTextureSize, kTextureSize),
                                   MaterialColour(source, false));
      }
    }
    HostGeometry* geometry = sim.AddGeometry();
    HostSkin* skin = sim.AddSkin();
    FillGeometry(use, boneIndex, nodeByName, bind, out.sceneToModel, material,
                 *SimHost::Sim(geometry), *SimHost::Sim(skin));
    SimHost::Sim(geometry)->skin = skin;
    out.geometries.push_back(geometry);
    out.skins.push_back(skin);
    out.meshes.push_back(sim.AddMesh(out.object, geometry));
  }

  for (unsigned a = 0; a < scene->mNumAnimations; ++a) {
    const aiAnimation* source = scene->mAnimations[a];
    NodeAnimation animation;
    animation.name = source->mName.C_Str();
    animation.duration = source->mDuration;
    animation.ticksPerSecond = source->mTicksPerSecond;
    for (unsigned c = 0; c < source->mNumChannels; ++c) {
      const aiNodeAnim* channel = source->mChannels[c];
      auto found = nodeByName.find(channel->mNodeName.C_Str());
      if (found == nodeByName.end()) continue;
      NodeChannel keys;
      keys.node = found->second;
      for (unsigned k = 0; k < channel->mNumPositionKeys; ++k) {
        keys.positions.push_back(
            {channel->mPositionKeys[k].mTime, ToVec3(channel->mPositionKeys[k].mValue)});
      }
      for (unsigned k = 0; k < channel->mNumRotationKeys; ++k) {
        keys.rotations.push_back(
            {channel->mRotationKeys[k].mTime, ToQuaternion(channel->mRotationKeys[k].mValue)});
      }
      for (unsigned k = 0; k < channel->mNumScalingKeys; ++k) {
        keys.scalings.push_back(
            {channel->mScalingKeys[k].mTime, ToVec3(channel->mScalingKeys[k].mValue)});
      }
      animation.channels.push_back(std::move(keys));
    }
    out.animations.push_back(std::move(animation));
  }
  out.animationCount = static_cast<int>(out.animations.size());
  std::vector<Vec3> points;
  for (HostGeometry* geometry : out.geometries) {
    const std::vector<Vec3>& positions = SimHost::Sim(geometry)->positions;
    points.insert(points.end(), positions.begin(), positions.end());
  }
  for (const auto& bone : GuessBodyLayout(points)) {
    if (std::find(h->boneIds.begin(), h->boneIds.end(), bone.first) == h->boneIds.end()) {
      out.guessedBones.push_back(bone);
    }
  }
  out.nodes = std::move(nodes);
  out.bindWorld = bind;
  out.placement = placement;

  out.ped = sim.AddPed(placement.position, out.object);
  SimHost::Sim(out.ped)->model = kModelIndex;
  PoseImportedPed(sim, out, -1, 0.0);
  return true;
}

void PoseImportedPed(SimHost& /*sim*/, const ImportedPed& ped, int animation, double seconds) {
  if (!ped.hierarchy) return;
  const NodeAnimation* chosen =
      animation >= 0 && static_cast<size_t>(animation) < ped.animations.size()
          ? &ped.animations[static_cast<size_t>(animation)]
          : nullptr;
  std::vector<HostMatrix> world = ped.bindWorld;
  if (chosen) NodeWorldMatrices(ped.nodes, chosen, seconds, world);
  const PedPlacement& placement = ped.placement;
  HostMatrix place = PlacementMatrix(placement.position, placement.heading);
  bool root = placement.rootMatrix && ped.rootFrame;

  SimHierarchy* h = SimHost::Sim(ped.hierarchy);
  h->flags = root ? (h->flags | kRootFlag) : (h->flags & ~kRootFlag);
  h->root = root ? ped.rootFrame : nullptr;
  if (ped.rootFrame) ped.rootFrame->matrix = place;
  h->boneMatrices.resize(ped.boneNodes.size());
  std::vector<std::pair<int32_t, Vec3>> queryBones;
  for (size_t b = 0; b < ped.boneNodes.size(); ++b) {
    size_t node = static_cast<size_t>(ped.boneNodes[b]);
    HostMatrix model =
        node < world.size() ? Multiply(world[node], ped.sceneToModel) : ped.sceneToModel;
    HostMatrix placed = Multiply(model, place);
    h->boneMatrices[b] = root ? model : placed;
    if (b < h->boneIds.size()) queryBones.push_back({h->boneIds[b], MatrixTranslation(placed)});
  }
  for (const auto& bone : ped.guessedBones) {
    queryBones.push_back({bone.first, TransformPoint(place, bone.second)});
  }

  if (!ped.ped) return;
  SimEntity* entity = SimHost::Sim(ped.ped);
  entity->position = placement.position;
  entity->hasMatrix = true;
  entity->matrix = place;
  entity->queryBones = std::move(queryBones);
}
