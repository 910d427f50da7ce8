#include "codec/VorbisCodecState.h"

#include <cstring>

#include "core/ScopedLock.h"

namespace talvinor {

VorbisCodecState::VorbisCodecState() {
  std::memset(&m_info, 0, sizeof m_info);
  std::memset(&m_comment, 0, sizeof m_comment);
  std::memset(&m_dsp, 0, sizeof m_dsp);
  std::memset(&m_block, 0, sizeof m_block);
  std::memset(&m_file, 0, sizeof m_file);
}

VorbisCodecState::~VorbisCodecState() { Reset(); }

int VorbisCodecState::InfoInit() {
  Locker lock(m_lock.Get());
  ClearInfo();
  vorbis_info_init(&m_info);
  m_infoInit = true;
  return 0;
}

int VorbisCodecState::CommentInit() {
  Locker lock(m_lock.Get());
  ClearComment();
  vorbis_comment_init(&m_comment);
  m_commentInit = true;
  return 0;
}

int VorbisCodecState::AnalysisInit() {
  Locker lock(m_lock.Get());
  ClearAnalysis();
  if (!m_infoInit) return -1;
  int result = vorbis_analysis_init(&m_dsp, &m_info);
  m_dspInit = result == 0;
  return result;
}

int VorbisCodecState::BlockInit() {
  Locker lock(m_lock.Get());
  if (!m_dspInit) return -1;
  ClearBlock();
  int result = vorbis_block_init(&m_dsp, &m_block);
  m_blockInit = result == 0;
  return result;
}

int VorbisCodecState::HeaderOut(ogg_packet* identification, ogg_packet* comment, ogg_packet* setup) {
  Locker lock(m_lock.Get());
  if (!m_dspInit || !m_commentInit) return -1;
  return vorbis_analysis_headerout(&m_dsp, &m_comment, identification, comment, setup);
}

float** VorbisCodecState::AnalysisBuffer(int frames) {
  Locker lock(m_lock.Get());
  if (!m_dspInit) return nullptr;
  return vorbis_analysis_buffer(&m_dsp, frames);
}

int VorbisCodecState::AnalysisWrote(int frames) {
  Locker lock(m_lock.Get());
  if (!m_dspInit) return -1;
  return vorbis_analysis_wrote(&m_dsp, frames);
}

int VorbisCodecState::BlockOut() {
  Locker lock(m_lock.Get());
  if (!m_dspInit || !m_blockInit) return -1;
  return vorbis_analysis_blockout(&m_dsp, &m_block);
}

int VorbisCodecState::AnalyseBlock() {
  Locker lock(m_lock.Get());
  if (!m_blockInit) return -1;
  int result = vorbis_analysis(&m_block, nullptr);
  if (result < 0) return result;
  return vorbis_bitrate_addblock(&m_block);
}

int VorbisCodecState::FlushPacket(ogg_packet* packet) {
  Locker lock(m_lock.Get());
  if (!m_dspInit) return 0;
  return vorbis_bitrate_flushpacket(&m_dsp, packet);
}

int VorbisCodecState::OpenFile(void* dataSource, ov_callbacks callbacks) {
  Locker lock(m_lock.Get());
  ClearFile();
  int result = ov_open_callbacks(dataSource, &m_file, nullptr, 0, callbacks);
  // ov_open_callbacks clears what it built when it fails.
  if (result == 0) {
    m_fileInit = true;
  } else {
    std::memset(&m_file, 0, sizeof m_file);
  }
  return result;
}

bool VorbisCodecState::IsFileOpen() {
  Locker lock(m_lock.Get());
  return m_fileInit;
}

void VorbisCodecState::ClearFile() {
  Locker lock(m_lock.Get());
  if (m_fileInit) ov_clear(&m_file);
  std::memset(&m_file, 0, sizeof m_file);
  m_fileInit = false;
}

void VorbisCodecState::ClearBlock() {
  if (m_blockInit) vorbis_block_clear(&m_block);
  std::memset(&m_block, 0, sizeof m_block);
  m_blockInit = false;
}

void VorbisCodecState::ClearAnalysis() {
  // A block belongs to the analysis state it was made for.
  ClearBlock();
  if (m_dspInit) vorbis_dsp_clear(&m_dsp);
  std::memset(&m_dsp, 0, sizeof m_dsp);
  m_dspInit = false;
}

void VorbisCodecState::ClearComment() {
  if (m_commentInit) vorbis_comment_clear(&m_comment);
  std::memset(&m_comment, 0, sizeof m_comment);
  m_commentInit = false;
}

void VorbisCodecState::ClearInfo() {
  if (m_infoInit) vorbis_info_clear(&m_info);
  std::memset(&m_info, 0, sizeof m_info);
  m_infoInit = false;
}

void VorbisCodecState::Reset() {
  Locker lock(m_lock.Get());
  ClearStream();
  // The block refers to the analysis state, the analysis state to the info.
  ClearBlock();
  ClearAnalysis();
  ClearComment();
  ClearInfo();
  ClearFile();
}

}  // namespace talvinor
