#include "settings/WaveDeviceQuery.h"

#include <mutex>

namespace talvinor {

namespace {
std::mutex g_mutex;
RefPtr<WaveDeviceQuery> g_query;  // guarded by g_mutex
}  // namespace

RefPtr<WaveDeviceQuery> GetWaveDeviceQuery() {
  std::lock_guard lock(g_mutex);
  if (!g_query) g_query = Create<FixedWaveDeviceQuery>(1u, 1u, std::nullopt);
  return g_query;
}

void SetWaveDeviceQuery(RefPtr<WaveDeviceQuery> query) {
  RefPtr<WaveDeviceQuery> old;
  std::lock_guard lock(g_mutex);
  old = std::move(g_query);
  g_query = std::move(query);
}

}  // namespace talvinor
