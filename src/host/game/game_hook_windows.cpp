#include <utility>

#include "hooking/inline_hook.h"
#include "host/game/game_patches.h"

namespace inline_hook {

GameHook::GameHook(std::unique_ptr<InlineHook> hook) : hook_(std::move(hook)) {}

GameHook::~GameHook() = default;

memory::Removal GameHook::Remove() { return hook_->Destroy(); }

bool GameHook::Installed() const { return hook_->Installed(); }

void GameHook::Lock() { hook_->Lock().lock(); }

void GameHook::Unlock() { hook_->Lock().unlock(); }

uintptr_t GameHook::Trampoline() const { return hook_->Trampoline(); }

std::unique_ptr<GameHook> PlaceGameHook(uintptr_t target, uintptr_t destination) {
  return std::make_unique<GameHook>(
      std::make_unique<InlineHook>(InlineHook::Create(target, destination)));
}

}  // namespace inline_hook
