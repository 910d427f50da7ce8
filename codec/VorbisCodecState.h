#pragma once
#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include <cstdint>

#include "codec/OggCodecState.h"

namespace talvinor {

// The libvorbis structures of one Vorbis stream: the encoder side (info,
// comment, analysis state and block, with the Ogg stream of the base) and,
// for the file source, one OggVorbis_File. Each structure has its own
// initialised flag; a clear runs the library's clear function only when the
// flag is set and zero-fills the structure, so a reset after a failed start
// is always safe. Every call is made under the state's lock.
class VorbisCodecState : public OggCodecState {
 public:
  VorbisCodecState();

  int InfoInit();
  int CommentInit();
  // vorbis_analysis_init on the analysis state with the info.
  int AnalysisInit();
  // Only with an initialised analysis state.
  int BlockInit();
  // The identification, comment and setup packets.
  int HeaderOut(ogg_packet* identification, ogg_packet* comment, ogg_packet* setup);
  // Per-channel float arrays for `frames` frames; null without an
  // initialised analysis state.
  float** AnalysisBuffer(int frames);
  int AnalysisWrote(int frames);
  // 1 when a block is ready for analysis.
  int BlockOut();
  // Analyses the ready block and hands it to the bitrate manager, whose
  // packets must all be taken (FlushPacket) before the next block. 0, or
  // the library's negative result.
  int AnalyseBlock();
  // The next packet of the bitrate manager: 1 when one was produced.
  int FlushPacket(ogg_packet* packet);

  vorbis_info* Info() { return &m_info; }
  vorbis_comment* Comment() { return &m_comment; }

  // The file source's decoder. OpenFile clears a previous one first.
  int OpenFile(void* dataSource, ov_callbacks callbacks);
  bool IsFileOpen();
  OggVorbis_File* File() { return &m_file; }
  void ClearFile();

  // Clears, in this order, the stream, the block, the analysis state, the
  // comment, the info and the file decoder.
  void Reset();

 protected:
  ~VorbisCodecState() override;

 private:
  void ClearBlock();
  void ClearAnalysis();
  void ClearComment();
  void ClearInfo();

  vorbis_info m_info;           // guarded by m_lock
  vorbis_comment m_comment;     // guarded by m_lock
  vorbis_dsp_state m_dsp;       // guarded by m_lock
  vorbis_block m_block;         // guarded by m_lock
  OggVorbis_File m_file;        // guarded by m_lock
  bool m_infoInit = false;      // guarded by m_lock
  bool m_commentInit = false;   // guarded by m_lock
  bool m_dspInit = false;       // guarded by m_lock
  bool m_blockInit = false;     // guarded by m_lock
  bool m_fileInit = false;      // guarded by m_lock
};

}  // namespace talvinor
