#include "core/Singletons.h"

#include <array>
#include <mutex>

namespace talvinor {

namespace {

std::recursive_mutex& TableMutex() {
  static std::recursive_mutex m;
  return m;
}

// guarded by TableMutex()
std::array<RefPtr<RefObject>, kSingletonSlotCount>& Slots() {
  static std::array<RefPtr<RefObject>, kSingletonSlotCount> slots;
  return slots;
}

uintptr_t g_mainWindow = 0;  // guarded by TableMutex()

constexpr SingletonSlot kTeardownOrder[] = {
    SingletonSlot::Settings,       SingletonSlot::SettingsParser, SingletonSlot::CharacterTable,
    SingletonSlot::SkinResources,  SingletonSlot::ManualLayout,   SingletonSlot::SettingsLayout,
    SingletonSlot::PlayerLayout,   SingletonSlot::RecorderLayout, SingletonSlot::MemoLayout,
    SingletonSlot::VolumeBoostFilter, SingletonSlot::SmoothingFilter,
};

}  // namespace

SingletonCreationGuard::SingletonCreationGuard() { TableMutex().lock(); }
SingletonCreationGuard::~SingletonCreationGuard() { TableMutex().unlock(); }

RefPtr<RefObject> GetSingletonObject(int slot) {
  std::lock_guard lock(TableMutex());
  if (slot < 0 || slot >= kSingletonSlotCount) return nullptr;
  return Slots()[slot];
}

void SetSingletonObject(int slot, RefPtr<RefObject> object) {
  RefPtr<RefObject> old;
  {
    std::lock_guard lock(TableMutex());
    if (slot < 0 || slot >= kSingletonSlotCount) return;
    old = std::move(Slots()[slot]);
    Slots()[slot] = std::move(object);
  }
  // `old` is released outside the lock: its destructor may reach other slots.
}

uintptr_t GetMainWindowHandle() {
  std::lock_guard lock(TableMutex());
  return g_mainWindow;
}

void SetMainWindowHandle(uintptr_t handle) {
  std::lock_guard lock(TableMutex());
  g_mainWindow = handle;
}

void ReleaseSingletons() {
  for (SingletonSlot slot : kTeardownOrder) SetSingletonObject(static_cast<int>(slot), nullptr);
  SetMainWindowHandle(0);
}

}  // namespace talvinor
