#include "core/NarrowTextObject.h"

#include "core/TrimBlanks.h"

namespace talvinor {

void NarrowTextObject::TrimBlanks() { talvinor::TrimBlanks(m_text); }

}  // namespace talvinor
