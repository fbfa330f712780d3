#include "host/sim/sim_host.h"

#include <algorithm>
#include <mutex>

namespace {

Vec3 Normalised(Vec3 v) {
  float length = Length(v);
  return length > 0.0f ? v * (1.0f / length) : v;
}

template <typename T>
T* Keep(std::vector<std::unique_ptr<T>>& store) {
  store.push_back(std::make_unique<T>());
  return store.back().get();
}

template <typename T>
T* DataOrNull(std::vector<T>& v) {
  return v.empty() ? nullptr : v.data();
}

}  // namespace

void SetBoundsFromPositions(SimGeometry& g) {
  Vec3 lo = g.positions.empty() ? Vec3{0, 0, 0} : g.positions[0], hi = lo;
  for (const Vec3& p : g.positions) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  const Vec3 centre = (lo + hi) * 0.5f;
  float radius = 0.0f;
  for (const Vec3& p : g.positions) radius = std::max(radius, Length(p - centre));
  g.bounds[0] = centre.x;
  g.bounds[1] = centre.y;
  g.bounds[2] = centre.z;
  g.bounds[3] = radius;
}

class SimHost::Hook : public HostHook {
 public:
  Hook(SimHost* sim, HookSite site, bool installed)
      : sim_(sim), site_(site), installed_(installed) {
    if (installed_) sim_->hooked[static_cast<int>(site_)] = true;
  }
  ~Hook() override {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (installed_) sim_->hooked[static_cast<int>(site_)] = false;
  }
  bool Installed() const override { return installed_; }
  void Lock() override { lock_.lock(); }
  void Unlock() override { lock_.unlock(); }

 private:
  SimHost* sim_;
  HookSite site_;
  bool installed_;
  std::recursive_mutex lock_;
};

class SimHost::Subscription : public HostPatch {
 public:
  Subscription(SimHost* sim, HostEvent event) : sim_(sim), event_(static_cast<int>(event)) {
    if (sim_->events[event_].subscriptions++ == 0) sim_->eventPatched[event_] = true;
  }
  ~Subscription() override {
    EventLists& lists = sim_->events[event_];
    if (--lists.subscriptions == 0) {
      // The last share of the event goes: its call sites are restored and its lists freed.
      sim_->eventPatched[event_] = false;
      lists.before.clear();
      lists.after.clear();
    }
  }

 private:
  SimHost* sim_;
  int event_;
};

SimHost::SimHost() = default;
SimHost::~SimHost() = default;

// --- Building the world ---------------------------------------------------------------

SimEntity* SimHost::AddEntity(uint8_t type) {
  SimEntity* entity = Keep(entities_);
  entity->type = type;
  return entity;
}

HostPed* SimHost::AddPed(Vec3 position, HostRenderObject* renderObject) {
  SimEntity* entity = AddEntity(3);
  entity->position = position;
  entity->renderObject = renderObject;
  HostPed* ped = reinterpret_cast<HostPed*>(entity);
  auto freeSlot = std::find(pool.begin(), pool.end(), nullptr);
  if (freeSlot != pool.end()) {
    *freeSlot = ped;
  } else {
    pool.push_back(ped);
  }
  return ped;
}

HostRenderObject* SimHost::AddRenderObject(HostHierarchy* hierarchy) {
  SimRenderObject* object = Keep(renderObjects_);
  object->hierarchy = hierarchy;
  return reinterpret_cast<HostRenderObject*>(object);
}

HostMesh* SimHost::AddMesh(HostRenderObject* object, HostGeometry* geometry) {
  SimMesh* mesh = Keep(meshes_);
  mesh->geometry = geometry;
  HostMesh* handle = reinterpret_cast<HostMesh*>(mesh);
  if (object) Sim(object)->meshes.push_back(handle);
  return handle;
}

HostGeometry* SimHost::AddGeometry() { return reinterpret_cast<HostGeometry*>(Keep(geometries_)); }

HostMaterial* SimHost::AddMaterial(HostTexture* texture, uint32_t colour) {
  SimMaterial* material = Keep(materials_);
  material->texture = texture;
  material->colour = colour;
  return reinterpret_cast<HostMaterial*>(material);
}

HostTexture* SimHost::AddTexture(int32_t width, int32_t height, const std::string& name) {
  SimSurface* surface = Keep(surfaces_);
  surface->width = width;
  surface->height = height;
  surface->depth = 32;
  surface->stride = width * 4;
  surface->pixels.assign(static_cast<size_t>(surface->stride) * height, 0xFF);
  SimTexture* texture = Keep(textures_);
  texture->surface = surface;
  texture->name = name;
  return reinterpret_cast<HostTexture*>(texture);
}

HostSkin* SimHost::AddSkin() { return reinterpret_cast<HostSkin*>(Keep(skins_)); }

HostHierarchy* SimHost::AddHierarchy() {
  return reinterpret_cast<HostHierarchy*>(Keep(hierarchies_));
}

SimFrame* SimHost::AddFrame() { return Keep(frames_); }

HostDamage* SimHost::AddDamage(HostEntity* damager, float factor, uint8_t piece, int32_t weapon) {
  SimDamage* damage = Keep(damages_);
  *damage = SimDamage{damager, factor, piece, weapon};
  return reinterpret_cast<HostDamage*>(damage);
}

HostWeapon* SimHost::AddWeapon(int32_t code) {
  SimWeapon* weapon = Keep(weapons_);
  weapon->code = code;
  return reinterpret_cast<HostWeapon*>(weapon);
}

void SimHost::AimAt(Vec3 target) {
  Vec3 origin = (player ? EntityPosition(AsEntity(player)) : Vec3{0, 0, 0}) + aimOffset;
  aimDirection = Normalised(target - origin);
  viewEye = origin - aimDirection * 3.0f + Vec3{0, 0, 0.3f};
  viewDirection = Normalised(target - viewEye);
}

int SimHost::TexturesReleased() const {
  int count = 0;
  for (const SimTexture* texture : systemTextures_) count += texture->releaseCount;
  return count;
}

int SimHost::TexturesReleasedTwice() const {
  int count = 0;
  for (const SimTexture* texture : systemTextures_) count += texture->releaseCount > 1;
  return count;
}

int SimHost::TexturesLive() const {
  int count = 0;
  for (const SimTexture* texture : systemTextures_) count += texture->releaseCount == 0;
  return count;
}

// --- The game's side -----------------------------------------------------------------

void SimHost::GameDamage(HostDamage* record, HostEntity* entity, uint32_t arg1, uint32_t arg2) {
  if (hooked[static_cast<int>(HookSite::Damage)]) {
    handlers_.damage(record, entity, arg1, arg2);
  } else {
    CallDamageTrampoline(record, entity, arg1, arg2);
  }
}

uint8_t SimHost::GameFire(HostWeapon* weapon, HostPed* shooter) {
  FireArgs args{shooter, {0, 0, 0, 0, 0}};
  return hooked[static_cast<int>(HookSite::Fire)] ? handlers_.fire(weapon, args)
                                                  : CallFireTrampoline(weapon, args);
}

void SimHost::GameRenderPed(HostPed* ped) {
  if (hooked[static_cast<int>(HookSite::Render)]) {
    handlers_.render(ped);
  } else {
    CallRenderTrampoline(ped);
  }
}

void SimHost::GameRemovePed(HostPed* ped) {
  RunEvent(HostEvent::PedRemoval, ped, [&] {
    std::replace(pool.begin(), pool.end(), ped, static_cast<HostPed*>(nullptr));
    if (player == ped) player = nullptr;
  });
}

void SimHost::GameFrame() {
  RunEvent(HostEvent::Frame, nullptr, [] {});
}

void SimHost::GameReset(HostEvent which) {
  RunEvent(which, nullptr, [] {});
}

void SimHost::RunFor(uint32_t ms, uint32_t frameMs) {
  if (frameMs == 0) frameMs = 1;
  uint32_t elapsed = 0;
  while (elapsed < ms) {
    uint32_t step = std::min(frameMs, ms - elapsed);
    clock += step;
    elapsed += step;
    GameFrame();
  }
}

void SimHost::RunEvent(HostEvent event, HostPed* ped, const std::function<void()>& original) {
  EventLists& lists = events[static_cast<int>(event)];
  if (!eventPatched[static_cast<int>(event)]) {
    original();
    return;
  }
  auto run = [ped](const std::vector<EventEntry>& list) {
    std::vector<EventEntry> copy = list;
    for (const EventEntry& entry : copy) {
      if (entry.ped) entry.ped(ped);
      if (entry.plain) entry.plain();
    }
  };
  run(lists.before);
  original();
  run(lists.after);
}

void SimHost::DrawMeshes(HostPed* ped) {
  HostRenderObject* object = PedRenderObject(ped);
  if (!object) return;
  for (HostMesh* mesh : Sim(object)->meshes) CallMeshRenderCallback(mesh);
}

// --- HostGame ------------------------------------------------------------------------

int SimHost::GameVersion() { return version; }
uint32_t SimHost::ClockMs() { return clock; }
HostPed* SimHost::FindPlayerPed() { return player; }
int32_t SimHost::PedPoolSlotCount() {
  return reportedSlotCount ? *reportedSlotCount : static_cast<int32_t>(pool.size());
}

HostPed* SimHost::PedPoolSlot(int32_t i) {
  if (i < 0 || static_cast<size_t>(i) >= pool.size()) return nullptr;
  return pool[static_cast<size_t>(i)];
}

uint8_t SimHost::EntityType(HostEntity* entity) { return entity ? Sim(entity)->type & 7 : 0; }

Vec3 SimHost::EntityPosition(HostEntity* entity) {
  if (!entity) return {0, 0, 0};
  const SimEntity* e = Sim(entity);
  if (e->hasMatrix) return {e->matrix.m[3][0], e->matrix.m[3][1], e->matrix.m[3][2]};
  return e->position;
}

float SimHost::PedHealth(HostPed* ped) { return ped ? Sim(ped)->health : 0.0f; }

HostRenderObject* SimHost::PedRenderObject(HostPed* ped) {
  return ped ? Sim(ped)->renderObject : nullptr;
}

int16_t SimHost::PedModelIndex(HostPed* ped) { return ped ? Sim(ped)->model : 0; }

Vec3 SimHost::PedBonePosition(HostPed* ped, int32_t boneId) {
  if (!ped) return {0, 0, 0};
  for (const auto& bone : Sim(ped)->queryBones) {
    if (bone.first == boneId) return bone.second;
  }
  return EntityPosition(AsEntity(ped));
}

DamageRecord SimHost::ReadDamageRecord(HostDamage* record) {
  if (!record) return {nullptr, 0.0f, 0, 0};
  const SimDamage* d = Sim(record);
  return {d->damager, d->factor, d->piece, d->weapon};
}

int32_t SimHost::WeaponCode(HostWeapon* weapon) { return weapon ? Sim(weapon)->code : 0; }

bool SimHost::ExplosionAt(int i, Vec3* position) {
  if (i < 0 || i >= kExplosionSlots) return false;
  *position = explosionPosition[static_cast<size_t>(i)];
  return explosionActive[static_cast<size_t>(i)];
}

void SimHost::AimTargetQuery(float range, Vec3 origin, Vec3* aimStart, Vec3* aimEnd) {
  Vec3 start = aimFromShooter ? origin + aimOffset : aimOrigin;
  *aimStart = start;
  *aimEnd = start + Normalised(aimDirection) * range;
}

void SimHost::ActiveView(Vec3* eye, Vec3* direction) {
  *eye = viewEye;
  *direction = viewDirection;
}

bool SimHost::IsLineClear(Vec3 start, Vec3 end) {
  Vec3 d = end - start;
  float lengthSq = Dot(d, d);
  for (const SimBlocker& blocker : blockers) {
    float t = lengthSq > 0.0f ? Dot(blocker.centre - start, d) / lengthSq : 0.0f;
    t = std::min(1.0f, std::max(0.0f, t));
    Vec3 nearest = start + d * t;
    if (Length(blocker.centre - nearest) < blocker.radius) return false;
  }
  return true;
}

HostHierarchy* SimHost::SkinHierarchy(HostRenderObject* object) {
  return object ? Sim(object)->hierarchy : nullptr;
}

HierarchyView SimHost::GetHierarchy(HostHierarchy* hierarchy) {
  if (!hierarchy) return {0, 0, nullptr, nullptr};
  SimHierarchy* h = Sim(hierarchy);
  return {h->flags, h->boneCount, DataOrNull(h->boneMatrices),
          reinterpret_cast<HostFrame*>(h->root)};
}

int32_t SimHost::BoneIndex(HostHierarchy* hierarchy, int32_t boneId) {
  if (!hierarchy) return -1;
  const std::vector<int32_t>& ids = Sim(hierarchy)->boneIds;
  auto found = std::find(ids.begin(), ids.end(), boneId);
  return found == ids.end() ? -1 : static_cast<int32_t>(found - ids.begin());
}

const HostMatrix* SimHost::FrameMatrix(HostFrame* frame) {
  return frame ? &reinterpret_cast<SimFrame*>(frame)->matrix : nullptr;
}

void SimHost::ForEachMesh(HostRenderObject* object, MeshCallback callback, void* user) {
  if (!object) return;
  std::vector<HostMesh*> meshes = Sim(object)->meshes;
  for (HostMesh* mesh : meshes) {
    if (!callback(mesh, user)) break;
  }
}

HostGeometry* SimHost::MeshGeometry(HostMesh* mesh) { return mesh ? Sim(mesh)->geometry : nullptr; }

void SimHost::SetMeshGeometry(HostMesh* mesh, HostGeometry* geometry) {
  if (mesh) Sim(mesh)->geometry = geometry;
}

bool SimHost::MeshHasRenderCallback(HostMesh* mesh) { return mesh && Sim(mesh)->hasRenderCallback; }

void SimHost::CallMeshRenderCallback(HostMesh* mesh) {
  if (!MeshHasRenderCallback(mesh)) return;
  SimDraw draw{mesh, Sim(mesh)->geometry, {}, {}};
  if (draw.geometry) {
    for (HostMaterial* material : Sim(draw.geometry)->materials) {
      draw.textures.push_back(Sim(material)->texture);
      draw.colours.push_back(Sim(material)->colour);
    }
  }
  draws.push_back(std::move(draw));
}

GeometryView SimHost::GetGeometry(HostGeometry* geometry) {
  GeometryView view{};
  if (!geometry) return view;
  SimGeometry* g = Sim(geometry);
  view.vertexCount = g->vertexCount;
  view.triangleCount = g->triangleCount;
  view.format = g->format;
  view.triangles = DataOrNull(g->triangles);
  view.texCoords = DataOrNull(g->texCoords);
  view.colours = DataOrNull(g->colours);
  view.hasVertexData = g->hasVertexData;
  if (g->hasVertexData) {
    view.positions = DataOrNull(g->positions);
    view.normals = DataOrNull(g->normals);
    view.bounds = g->bounds;
  }
  view.materials = DataOrNull(g->materials);
  view.materialCount = g->reportedMaterialCount.value_or(static_cast<int32_t>(g->materials.size()));
  return view;
}

HostGeometry* SimHost::CreateGeometry(int32_t vertices, int32_t triangles, uint32_t format) {
  if (failCreateGeometry || vertices < 0 || triangles < 0) return nullptr;
  SimGeometry* g = Keep(geometries_);
  ++geometriesMade;
  g->vertexCount = vertices;
  g->triangleCount = triangles;
  g->format = format;
  size_t v = static_cast<size_t>(vertices);
  g->triangles.resize(static_cast<size_t>(triangles));
  // The game's constructor makes the arrays the format word asks for.
  if (format & 0x02) g->positions.resize(v);
  if (format & 0x04) g->texCoords.resize(v);
  if (format & 0x08) g->colours.resize(v);
  if (format & 0x10) g->normals.resize(v);
  return reinterpret_cast<HostGeometry*>(g);
}

void SimHost::AppendMaterial(HostGeometry* geometry, HostMaterial* material) {
  if (geometry) Sim(geometry)->materials.push_back(material);
}

void SimHost::FinishGeometry(HostGeometry* geometry) {
  if (geometry) Sim(geometry)->finished = true;
}

void SimHost::DestroyGeometry(HostGeometry* geometry) {
  if (!geometry) return;
  ++geometriesDestroyed;
  if (Sim(geometry)->skin) ++skinnedGeometriesDestroyed;
  // The record stays, so that a later use shows up as a draw of a destroyed geometry.
  SimGeometry& g = *Sim(geometry);
  g = SimGeometry{};
  g.hasVertexData = false;
  g.destroyed = true;
}

HostSkin* SimHost::GeometrySkin(HostGeometry* geometry) {
  return geometry ? Sim(geometry)->skin : nullptr;
}

void SimHost::SetGeometrySkin(HostGeometry* geometry, HostSkin* skin) {
  if (geometry) Sim(geometry)->skin = skin;
}

SkinView SimHost::GetSkin(HostSkin* skin) {
  if (!skin) return {nullptr, nullptr, nullptr};
  SimSkin* s = Sim(skin);
  return {DataOrNull(s->weights), DataOrNull(s->boneIndices), DataOrNull(s->inverseBind)};
}

void SimHost::TextureName(HostTexture* texture, char (&name)[kTextureNameLength + 1]) {
  const std::string& text = texture ? Sim(texture)->name : std::string();
  const size_t length = std::min(text.size(), static_cast<size_t>(kTextureNameLength));
  text.copy(name, length);
  name[length] = '\0';
}

HostTexture* SimHost::MaterialTexture(HostMaterial* material) {
  return material ? Sim(material)->texture : nullptr;
}

void SimHost::SetMaterialTexture(HostMaterial* material, HostTexture* texture) {
  if (material) Sim(material)->texture = texture;
}

uint32_t SimHost::MaterialColour(HostMaterial* material) {
  return material ? Sim(material)->colour : 0;
}

void SimHost::SetMaterialColour(HostMaterial* material, uint32_t colour) {
  if (material) Sim(material)->colour = colour;
}

HostSurface* SimHost::CreateSurface(int32_t width, int32_t height, int32_t depth, uint32_t flags) {
  if (failCreateSurface || width <= 0 || height <= 0 || depth != 32) return nullptr;
  SimSurface* surface = Keep(surfaces_);
  surface->width = width;
  surface->height = height;
  surface->depth = depth;
  surface->flags = flags;
  // Rows padded past their pixels, as drivers do: writers must honour the stride.
  surface->stride = width * 4 + 16;
  surface->pixels.assign(static_cast<size_t>(surface->stride) * static_cast<size_t>(height), 0xCD);
  ++surfacesMade;
  return reinterpret_cast<HostSurface*>(surface);
}

void SimHost::DestroySurface(HostSurface* surface) {
  if (!surface) return;
  ++Sim(surface)->destroyCount;
  ++surfacesDestroyed;
}

uint8_t* SimHost::LockSurface(HostSurface* surface, int32_t /*level*/, int32_t /*mode*/) {
  if (!surface || failLock) return nullptr;
  Sim(surface)->locked = true;
  return Sim(surface)->pixels.data();
}

void SimHost::UnlockSurface(HostSurface* surface) {
  if (surface) Sim(surface)->locked = false;
}

int32_t SimHost::SurfaceStride(HostSurface* surface) { return surface ? Sim(surface)->stride : 0; }

HostTexture* SimHost::CreateTexture(HostSurface* surface) {
  if (failCreateTexture || !surface) return nullptr;
  SimTexture* texture = Keep(textures_);
  texture->surface = Sim(surface);
  systemTextures_.push_back(texture);
  ++texturesCreated_;
  return reinterpret_cast<HostTexture*>(texture);
}

void SimHost::ReleaseTexture(HostTexture* texture) {
  if (!texture) return;
  SimTexture* t = Sim(texture);
  // Records are kept, so a second release is counted instead of touching freed memory.
  if (t->releaseCount++ == 0 && t->surface) {
    ++t->surface->destroyCount;
    std::vector<uint8_t>().swap(t->surface->pixels);  // long runs make many textures
  }
}

HostSurface* SimHost::TextureSurface(HostTexture* texture) {
  return texture ? reinterpret_cast<HostSurface*>(Sim(texture)->surface) : nullptr;
}

void SimHost::SetTextureSampling(HostTexture* texture, uint32_t word) {
  if (texture) Sim(texture)->sampling = word;
}

std::unique_ptr<HostHook> SimHost::PlaceInlineHook(HookSite site, const HookHandlers& handlers) {
  handlers_ = handlers;
  return std::make_unique<Hook>(this, site, !failHook[static_cast<int>(site)]);
}

void SimHost::CallDamageTrampoline(HostDamage* record, HostEntity* entity, uint32_t, uint32_t) {
  ++damageRoutineCalls;
  // The game's own damage response: the ped loses health.
  if (record && entity && EntityType(entity) == game::kPedEntity)
    Sim(entity)->health -= Sim(record)->factor;
}

uint8_t SimHost::CallFireTrampoline(HostWeapon*, const FireArgs&) {
  ++fireRoutineCalls;
  return fireResult;
}

void SimHost::CallRenderTrampoline(HostPed* ped) {
  ++renderRoutineCalls;
  DrawMeshes(ped);
}

std::unique_ptr<HostPatch> SimHost::AddSubscription(HostEvent event, EventOrder order,
                                                    EventEntry entry) {
  auto subscription = std::make_unique<Subscription>(this, event);
  EventLists& lists = events[static_cast<int>(event)];
  std::vector<EventEntry>& list = order == EventOrder::Before ? lists.before : lists.after;
  for (const EventEntry& existing : list) {
    bool sameId = entry.id != 0 && existing.id == entry.id;
    bool sameRoutine = entry.id == 0 && ((entry.ped && existing.ped == entry.ped) ||
                                         (entry.plain && existing.plain == entry.plain));
    if (sameId || sameRoutine) return subscription;
  }
  list.push_back(entry);
  return subscription;
}

std::unique_ptr<HostPatch> SimHost::SubscribePedRemoval(EventOrder order, PedEventCallback callback,
                                                        int32_t id) {
  return AddSubscription(HostEvent::PedRemoval, order, {callback, nullptr, id});
}

std::unique_ptr<HostPatch> SimHost::Subscribe(HostEvent event, EventOrder order,
                                              PlainEventCallback callback, int32_t id) {
  return AddSubscription(event, order, {nullptr, callback, id});
}

void SimHost::KeepHeadsOnHeadshots() { headPatched = true; }
