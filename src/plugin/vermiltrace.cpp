#include "plugin/vermiltrace.h"

#include <string>

#include "core/config.h"
#include "core/log.h"
#include "core/platform.h"
#include "core/plugin_paths.h"
#include "host/game_facts.h"
#include "plugin/handlers.h"
#include "plugin/system_state.h"

namespace {

bool Installed(const std::unique_ptr<HostHook>& hook) { return hook && hook->Installed(); }

const char* HookResult(const std::unique_ptr<HostHook>& hook) {
  return Installed(hook) ? "installed" : "FAILED";
}

// Frees a scratch array's memory, not only its contents.
template <typename T>
void Free(std::vector<T>& scratch) {
  std::vector<T>().swap(scratch);
}

// The given path, or name in the plug-in folder. Owned copy: the path store's composed
// buffer is overwritten by the next request.
std::string PluginFile(const std::string& given, const char* name) {
  return given.empty() ? std::string(PluginFilePath(name)) : given;
}

// The plug-in folder, found first thing as the game's start-up always has.
void PlacePluginFolder(const StartupOptions& options) {
  if (!options.pluginDirectory.empty()) {
    SetPluginDirectory(options.pluginDirectory.c_str());
  } else if (options.iniPath.empty() || options.logPath.empty()) {
    FindPluginDirectory(options.showMessageBox);
  }
}

}  // namespace

Vermiltrace::Vermiltrace(HostGame& host, const StartupOptions& options) {
  SystemState& state = State();
  state.host = &host;

  PlacePluginFolder(options);
  const std::string iniPath = PluginFile(options.iniPath, "Vermiltrace.ini");
  LoadConfig(state.config, iniPath.c_str());

  const int version = Host().GameVersion();
  if (!game::IsSupportedVersion(version)) {
    options.showMessageBox(nullptr,
                           "Vermiltrace needs GTA San Andreas 1.0 US (original or "
                           "downgraded).\nThis version isn't supported, so the mod is turned "
                           "off.",
                           "Vermiltrace", 0x30);
    return;
  }

  SetLogEnabled(state.config.Log != 0);
  if (state.config.Log != 0) OpenLog(PluginFile(options.logPath, "Vermiltrace.log").c_str());
  if (LogOpen()) LogLine("Vermiltrace loaded");

  SeedRandom(state.rng, options.tickCount());

  state.damageHook = Host().PlaceInlineHook(HookSite::Damage, kHookHandlers);
  state.fireHook = Host().PlaceInlineHook(HookSite::Fire, kHookHandlers);
  if (LogOpen()) {
    LogLine("damage hook %s, fire hook %s", HookResult(state.damageHook),
            HookResult(state.fireHook));
  }

  if (state.config.KeepHeadOnHeadshot != 0) {
    Host().KeepHeadsOnHeadshots();
  }

  state.renderHook = Host().PlaceInlineHook(HookSite::Render, kHookHandlers);
  if (LogOpen()) LogLine("render hook %s", HookResult(state.renderHook));
  WriteHeldLogLines();  // what the settings' reading found, now that the log is open

  state.events.push_back(Host().SubscribePedRemoval(EventOrder::Before, OnPedRemoved, 0));
  state.events.push_back(
      Host().Subscribe(HostEvent::FirstReset, EventOrder::After, OnGameReset, 0));
  state.events.push_back(
      Host().Subscribe(HostEvent::SecondReset, EventOrder::After, OnGameReset, 0));
  state.events.push_back(Host().Subscribe(HostEvent::Frame, EventOrder::After, OnFrame, 0));
}

Vermiltrace::~Vermiltrace() {
  SystemState& state = State();
  // Each subscription restores its call sites when the last share of them goes.
  while (!state.events.empty()) state.events.pop_back();

  // A hook's removal waits for the calls still inside its thunk.
  state.renderHook.reset();
  state.damageHook.reset();
  state.fireHook.reset();

  // Only now: a call still passing through a hook or call site may use them until then.
  Free(state.scratch.bones);
  Free(state.pass.savedTextures);
  Free(state.pass.savedColours);

  // Memory only: the host's textures are not released at shutdown.
  state.hits.records.clear();
  state.tables.bloodGeometryCache.clear();
  state.tables.corpseDeathTimes.clear();
  state.tables.bloodStates.clear();
}
