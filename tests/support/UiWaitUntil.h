#pragma once
// The window tests' wait: the plain one in WaitUntil.h would block the UI
// thread whose events the condition waits for. A test file takes one of the
// two, never both.
#include <QTest>

#include <functional>

namespace talvinor::testing {

// Handles events until `done` holds or `timeoutMs` passed; the result is
// whether it holds.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  return QTest::qWaitFor(done, timeoutMs);
}

}  // namespace talvinor::testing
