#pragma once
// A counted object that keeps count of how many of its kind are alive, for
// the object model's tests.
#include "core/RefPtr.h"

namespace talvinor::testing {

inline int g_alive = 0;

class Probe : public RefObject {
  TALVINOR_CLASS_CODES(0x7001, 0x7000)

 public:
  Probe() { ++g_alive; }
  ~Probe() override { --g_alive; }
};

}  // namespace talvinor::testing
