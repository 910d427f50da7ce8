#pragma once
#include <cstdint>

#include "core/RefPtr.h"

namespace talvinor {

// Process-wide services live in a fixed table of slots until teardown.
enum class SingletonSlot : int {
  MainWindow = 5,        // plain window id (not counted): owner of message boxes
  SkinResources = 6,     // fonts, bitmap and frame metrics
  RecorderLayout = 7,    // 7-11: one page layout per skinned page
  PlayerLayout = 8,
  MemoLayout = 9,
  ManualLayout = 10,
  SettingsLayout = 11,
  Settings = 12,         // CONFIG
  SmoothingFilter = 13,  // the shared playback filters
  VolumeBoostFilter = 14,
  SettingsParser = 15,   // holds the character table (16)
  CharacterTable = 16,
  SkinFirst = SkinResources,  // the skin's slots, 6-11
  SkinLast = SettingsLayout,
};

inline constexpr int kSingletonSlotCount = 17;

// The counted object in `slot` (null when empty).
RefPtr<RefObject> GetSingletonObject(int slot);
void SetSingletonObject(int slot, RefPtr<RefObject> object);

// The object in `slot`, created with T's default constructor on first call.
// Getters are first called on the UI thread during start-up; the table is
// still locked so that a worker thread that reaches a getter is safe.
template <typename T>
RefPtr<T> GetOrCreateSingleton(SingletonSlot slot);

// The main window id (slot 5); 0 when none.
uintptr_t GetMainWindowHandle();
void SetMainWindowHandle(uintptr_t handle);

// Releases every slot in the fixed teardown order: the settings, the
// settings parser and its table, the skin resources, the manual, settings,
// player, recorder and memo layouts, the volume boost and smoothing filters.
void ReleaseSingletons();

// Internal: serialises creation for GetOrCreateSingleton.
class SingletonCreationGuard {
 public:
  SingletonCreationGuard();
  ~SingletonCreationGuard();
  SingletonCreationGuard(const SingletonCreationGuard&) = delete;
  SingletonCreationGuard& operator=(const SingletonCreationGuard&) = delete;
};

template <typename T>
RefPtr<T> GetOrCreateSingleton(SingletonSlot slot) {
  SingletonCreationGuard guard;
  RefPtr<RefObject> existing = GetSingletonObject(static_cast<int>(slot));
  if (existing) return RefPtr<T>(static_cast<T*>(existing.Get()));
  RefPtr<T> created = Create<T>();
  SetSingletonObject(static_cast<int>(slot), created);
  return created;
}

}  // namespace talvinor
