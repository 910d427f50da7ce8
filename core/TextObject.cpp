#include "core/TextObject.h"

#include "core/TrimBlanks.h"

namespace talvinor {

void TextObject::TrimBlanks() { talvinor::TrimBlanks(m_text); }

}  // namespace talvinor
