#include "ui/WaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace talvinor {

WaitCursor::WaitCursor() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  m_shown = true;
}

WaitCursor::~WaitCursor() {
  if (m_shown) QApplication::restoreOverrideCursor();
}

}  // namespace talvinor
