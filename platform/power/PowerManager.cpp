#include "platform/power/PowerManager.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <map>
#include <mutex>

#include "platform/Clock.h"
#include "platform/Trace.h"

namespace talvinor {

namespace {

std::mutex g_managersLock;
std::map<std::string, std::weak_ptr<PowerManager>> g_managers;  // guarded by g_managersLock; by event name

}  // namespace

std::shared_ptr<PowerManager> PowerManager::Acquire(const PowerScope& scope) {
  std::lock_guard lock(g_managersLock);
  std::weak_ptr<PowerManager>& slot = g_managers[scope.reloadEventName];
  if (std::shared_ptr<PowerManager> running = slot.lock()) {
    if (running->m_scope.registryFolder != scope.registryFolder)
      Trace("PowerManager - \"%s\" already runs for \"%s\"; \"%s\" is not used\r\n", scope.reloadEventName.c_str(),
            running->m_scope.registryFolder.c_str(), scope.registryFolder.c_str());
    return running;
  }
  std::shared_ptr<PowerManager> manager(new PowerManager(scope));
  manager->Start();
  slot = manager;
  return manager;
}

PowerManager::PowerManager(const PowerScope& scope) : m_scope(scope) {}

PowerManager::~PowerManager() {
  Stop();
  std::lock_guard lock(g_managersLock);
  auto it = g_managers.find(m_scope.reloadEventName);
  if (it != g_managers.end() && it->second.expired()) g_managers.erase(it);
}

void PowerManager::Start() {
  StoreMissingDefaults();
  QCoreApplication* application = QCoreApplication::instance();
  if (application && QThread::currentThread() == application->thread()) {
    m_context = std::make_unique<QObject>();
    m_inhibitor = std::make_unique<SleepInhibitor>();
  } else {
    Trace("PowerManager - not on the thread of a Qt application; no sleep inhibitor\r\n");
  }
  if (!m_event.Create(ReloadEventObjectName(m_scope.reloadEventName))) {
    Trace("PowerManager - reload event \"%s\" cannot be made; not listening\r\n", m_scope.reloadEventName.c_str());
    return;
  }
  m_listening = true;
  m_thread = std::thread([this] { Wait(); });
}

void PowerManager::Stop() {
  if (m_thread.joinable()) {
    m_stopping = true;
    m_event.Set();
    m_thread.join();
  }
  // Reloads handed over but not yet run go with their receiver.
  m_context.reset();
  m_inhibitor.reset();
  m_event.Close();
  m_listening = false;
}

void PowerManager::StoreMissingDefaults() {
  Registry registry = m_scope.OpenRegistry();
  registry.Update([](RegistryContents& contents) {
    if (!contents.Find(kPowerTimeoutsKey, kBattSuspendTimeoutName))
      contents.Set(kPowerTimeoutsKey, kBattSuspendTimeoutName, RegistryValue::FromDword(kDefaultBattSuspendTimeout));
    if (!contents.Find(kPowerTimeoutsKey, kACSuspendTimeoutName))
      contents.Set(kPowerTimeoutsKey, kACSuspendTimeoutName, RegistryValue::FromDword(kDefaultACSuspendTimeout));
  });
}

void PowerManager::Wait() {
  for (;;) {
    WaitResult result = m_event.Wait(kInfinite);
    if (m_stopping) return;
    if (result != WaitResult::Signalled) {
      Trace("PowerManager - waiting on the reload event failed; not listening any more\r\n");
      return;
    }
    // Cleared before the store is read, so a signal that comes while it is
    // read brings another reload rather than being lost.
    m_event.Reset();
    if (m_context)
      QMetaObject::invokeMethod(m_context.get(), [this] { HandleReload(); }, Qt::QueuedConnection);
    else
      HandleReload();
  }
}

void PowerManager::HandleReload() {
  Registry registry = m_scope.OpenRegistry();
  uint32_t battery = 0;
  uint32_t mains = 0;
  const bool batteryRead = registry.QueryDword(kPowerTimeoutsKey, kBattSuspendTimeoutName, &battery);
  const bool mainsRead = registry.QueryDword(kPowerTimeoutsKey, kACSuspendTimeoutName, &mains);
  const bool neverSuspend = batteryRead && mainsRead && battery == 0 && mains == 0;
  Trace("PowerManager - time-outs reloaded: battery %s%u, mains %s%u\r\n", batteryRead ? "" : "(not read) ", battery,
        mainsRead ? "" : "(not read) ", mains);
  if (m_inhibitor) {
    if (neverSuspend)
      m_inhibitor->Hold();
    else
      m_inhibitor->Release();
  }
  m_reloads.fetch_add(1);
}

InhibitorState PowerManager::Inhibitor() const {
  return m_inhibitor ? m_inhibitor->State() : InhibitorState::Released;
}

}  // namespace talvinor
