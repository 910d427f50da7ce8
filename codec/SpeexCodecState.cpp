#include "codec/SpeexCodecState.h"

#include <speex/speex_stereo.h>

#include <cstring>

#include "core/ScopedLock.h"

namespace talvinor {

SpeexCodecState::~SpeexCodecState() { Reset(); }

bool SpeexCodecState::EncoderInit(const SpeexMode* mode) {
  Locker lock(m_lock.Get());
  if (m_encoder) speex_encoder_destroy(m_encoder);
  m_encoder = mode ? speex_encoder_init(mode) : nullptr;
  return m_encoder != nullptr;
}

int SpeexCodecState::EncoderCtl(int request, void* value) {
  Locker lock(m_lock.Get());
  if (!m_encoder) return -1;
  return speex_encoder_ctl(m_encoder, request, value);
}

bool SpeexCodecState::PreprocessorInit(int frameSize, int rate) {
  Locker lock(m_lock.Get());
  if (m_preprocess) speex_preprocess_state_destroy(m_preprocess);
  m_preprocess = speex_preprocess_state_init(frameSize, rate);
  return m_preprocess != nullptr;
}

int SpeexCodecState::PreprocessorCtl(int request, void* value) {
  Locker lock(m_lock.Get());
  if (!m_preprocess) return -1;
  return speex_preprocess_ctl(m_preprocess, request, value);
}

bool SpeexCodecState::HasPreprocessor() {
  Locker lock(m_lock.Get());
  return m_preprocess != nullptr;
}

void SpeexCodecState::Preprocess(spx_int16_t* frame) {
  Locker lock(m_lock.Get());
  if (m_preprocess) speex_preprocess_run(m_preprocess, frame);
}

void SpeexCodecState::BitsInit() {
  Locker lock(m_lock.Get());
  if (m_bitsInit) speex_bits_destroy(&m_bits);
  speex_bits_init(&m_bits);
  m_bitsInit = true;
}

void SpeexCodecState::BitsReset() {
  Locker lock(m_lock.Get());
  if (m_bitsInit) speex_bits_reset(&m_bits);
}

void SpeexCodecState::BitsPack(int data, int bits) {
  Locker lock(m_lock.Get());
  if (m_bitsInit) speex_bits_pack(&m_bits, data, bits);
}

void SpeexCodecState::BitsInsertTerminator() {
  Locker lock(m_lock.Get());
  if (m_bitsInit) speex_bits_insert_terminator(&m_bits);
}

int SpeexCodecState::Encode(spx_int16_t* frame) {
  Locker lock(m_lock.Get());
  if (!m_encoder || !m_bitsInit) return -1;
  return speex_encode_int(m_encoder, frame, &m_bits);
}

void SpeexCodecState::EncodeStereo(spx_int16_t* frame, int frameSize) {
  Locker lock(m_lock.Get());
  if (m_bitsInit) speex_encode_stereo_int(frame, frameSize, &m_bits);
}

int SpeexCodecState::BitsWrite(char* out, int size) {
  Locker lock(m_lock.Get());
  if (!m_bitsInit) return 0;
  return speex_bits_write(&m_bits, out, size);
}

void SpeexCodecState::Reset() {
  Locker lock(m_lock.Get());
  ClearStream();
  if (m_bitsInit) speex_bits_destroy(&m_bits);
  std::memset(&m_bits, 0, sizeof m_bits);
  m_bitsInit = false;
  if (m_encoder) speex_encoder_destroy(m_encoder);
  m_encoder = nullptr;
  if (m_preprocess) speex_preprocess_state_destroy(m_preprocess);
  m_preprocess = nullptr;
}

}  // namespace talvinor
