#include "audio/GraphMessage.h"

#include "audio/AudioBuffer.h"

namespace talvinor {

std::atomic<int32_t> GraphMessage::s_live{0};

RefPtr<AudioBuffer> GraphMessage::Buffer() const { return QueryAs<AudioBuffer>(m_payload.Get()); }

}  // namespace talvinor
