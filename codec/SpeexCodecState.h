#pragma once
#include <speex/speex.h>
#include <speex/speex_preprocess.h>

#include <cstdint>

#include "codec/OggCodecState.h"

namespace talvinor {

// The library state of one Speex stream being written: the Ogg stream of the
// base, the encoder, its bit packer and the optional preprocessor that
// removes noise. Every call is made under the state's lock.
class SpeexCodecState : public OggCodecState {
 public:
  SpeexCodecState() = default;

  // Destroys a previous encoder first. Non-zero on success.
  bool EncoderInit(const SpeexMode* mode);
  int EncoderCtl(int request, void* value);
  // Destroys a previous preprocessor first.
  bool PreprocessorInit(int frameSize, int rate);
  // -1 without a preprocessor.
  int PreprocessorCtl(int request, void* value);
  bool HasPreprocessor();
  // Runs the preprocessor over one frame of mono samples (no echo input).
  void Preprocess(spx_int16_t* frame);
  // Destroys previous bits first.
  void BitsInit();
  void BitsReset();
  void BitsPack(int data, int bits);
  void BitsInsertTerminator();
  int Encode(spx_int16_t* frame);
  // Mixes an interleaved stereo frame down to mono in place and packs the
  // stereo parameters.
  void EncodeStereo(spx_int16_t* frame, int frameSize);
  // Bytes written, 0 when nothing fits.
  int BitsWrite(char* out, int size);

  // Clears the stream, destroys the bits, the encoder and the preprocessor.
  void Reset();

 protected:
  ~SpeexCodecState() override;

 private:
  void* m_encoder = nullptr;                        // guarded by m_lock
  SpeexBits m_bits{};                               // guarded by m_lock
  bool m_bitsInit = false;                          // guarded by m_lock
  SpeexPreprocessState* m_preprocess = nullptr;     // guarded by m_lock
};

}  // namespace talvinor
