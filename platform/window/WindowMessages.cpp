#include "platform/window/WindowMessages.h"

#include <mutex>
#include <unordered_map>

namespace talvinor {

namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<WindowId, MessageSink*> sinks;  // guarded by mutex
  WindowId nextId = 0x100;                           // guarded by mutex
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // outlives every static sink
  return *registry;
}

}  // namespace

WindowId RegisterWindow(MessageSink* sink) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  WindowId id = r.nextId++;
  r.sinks[id] = sink;
  return id;
}

void UnregisterWindow(WindowId window) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  r.sinks.erase(window);
}

bool IsWindow(WindowId window) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  return r.sinks.count(window) != 0;
}

bool PostMessage(WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  auto it = r.sinks.find(window);
  if (it == r.sinks.end()) return false;
  it->second->Deliver(WindowMessage{window, message, wParam, lParam});
  return true;
}

}  // namespace talvinor
