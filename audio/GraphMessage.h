#pragma once
#include <atomic>
#include <cstdint>

#include "audio/StopReason.h"
#include "core/RefPtr.h"

namespace talvinor {

class AudioBuffer;

// Codes of the message kinds; each kind is its own class (GraphMessageOf) and
// answers for its code and for the GraphMessage family.
enum class MessageKind : uint32_t {
  Abort = 0x20804,               // component or file worker -> master; first: abort code
  DeviceOpened = 0x2080d,        // wave-input callback -> input master
  DeviceClosed = 0x2080e,        // wave-input callback -> input master
  InputBufferDone = 0x2080f,     // wave-input callback -> input master; the filled buffer
  OutputOpened = 0x20817,        // wave-output callback -> output master
  OutputClosed = 0x20818,        // wave-output callback -> output master
  OutputBufferDone = 0x20819,    // wave-output callback -> output master; the played buffer
  InputConsumed = 0x20821,       // encoder -> master; the PCM buffer it has finished with
  EncodedData = 0x20822,         // encoder -> master; a pool buffer; first: file offset
  PcmData = 0x20823,             // source -> master; decoded PCM
  FormatReady = 0x20824,         // source -> master; the source's format is set
  EndOfStream = 0x20825,         // source -> master
  FileOpened = 0x2082b,          // file worker -> master; the worker
  BlockWritten = 0x2082c,        // file worker -> master; the buffer; first: bytes written
  BlockRead = 0x2082d,           // file worker -> master; the buffer holding file data
  WriteBlock = 0x20903,          // master -> file worker; first: offset, second: count
  ReadBlock = 0x20904,           // source -> master -> file worker; first: offset, second: count
  EncoderInput = 0x2090d,        // encoder to itself; the PCM buffer to encode
  SourceInput = 0x2090e,         // source to itself; a buffer
  DeviceResetRequest = 0x20917,  // source -> master
};

// File offset meaning "the current position" (append for writes).
inline constexpr uint32_t kCurrentPosition = 0xFFFFFFFFu;

// A counted message between the threads of the audio graph: one counted
// payload (a buffer, a worker or nothing) and two 32-bit integers. Created
// with Create<GraphMessageOf<...>> (or MakeMessage), posted, and released by
// whoever takes it last.
class GraphMessage : public RefObject {
  TALVINOR_CLASS_CODES(0x20803)

 public:
  const RefPtr<RefObject>& Payload() const { return m_payload; }
  // The payload as a buffer, or null when it is something else.
  RefPtr<AudioBuffer> Buffer() const;
  uint32_t First() const { return m_first; }
  uint32_t Second() const { return m_second; }
  MessageKind Kind() const { return static_cast<MessageKind>(GetTypeCode()); }

  // Messages alive in the process, for leak checks.
  static int32_t LiveCount() { return s_live.load(); }

  // Every kind has the same size, so the storage of a released message is
  // kept for the next one: a running graph posts without allocating.
  static void* operator new(size_t size);
  static void operator delete(void* storage, size_t size);

 protected:
  GraphMessage(RefPtr<RefObject> payload, uint32_t first, uint32_t second)
      : m_payload(std::move(payload)), m_first(first), m_second(second) {
    s_live.fetch_add(1);
  }
  ~GraphMessage() override { s_live.fetch_sub(1); }

 private:
  RefPtr<RefObject> m_payload;
  uint32_t m_first;
  uint32_t m_second;
  static std::atomic<int32_t> s_live;
};

template <MessageKind K>
class GraphMessageOf : public GraphMessage {
  TALVINOR_CLASS_CODES(static_cast<uint32_t>(K), 0x20803)

 public:
  explicit GraphMessageOf(RefPtr<RefObject> payload = nullptr, uint32_t first = 0, uint32_t second = 0)
      : GraphMessage(std::move(payload), first, second) {}
};

using AbortMessage = GraphMessageOf<MessageKind::Abort>;
using DeviceOpenedMessage = GraphMessageOf<MessageKind::DeviceOpened>;
using DeviceClosedMessage = GraphMessageOf<MessageKind::DeviceClosed>;
using InputBufferDoneMessage = GraphMessageOf<MessageKind::InputBufferDone>;
using OutputOpenedMessage = GraphMessageOf<MessageKind::OutputOpened>;
using OutputClosedMessage = GraphMessageOf<MessageKind::OutputClosed>;
using OutputBufferDoneMessage = GraphMessageOf<MessageKind::OutputBufferDone>;
using InputConsumedMessage = GraphMessageOf<MessageKind::InputConsumed>;
using EncodedDataMessage = GraphMessageOf<MessageKind::EncodedData>;
using PcmDataMessage = GraphMessageOf<MessageKind::PcmData>;
using FormatReadyMessage = GraphMessageOf<MessageKind::FormatReady>;
using EndOfStreamMessage = GraphMessageOf<MessageKind::EndOfStream>;
using FileOpenedMessage = GraphMessageOf<MessageKind::FileOpened>;
using BlockWrittenMessage = GraphMessageOf<MessageKind::BlockWritten>;
using BlockReadMessage = GraphMessageOf<MessageKind::BlockRead>;
using WriteBlockMessage = GraphMessageOf<MessageKind::WriteBlock>;
using ReadBlockMessage = GraphMessageOf<MessageKind::ReadBlock>;
using EncoderInputMessage = GraphMessageOf<MessageKind::EncoderInput>;
using SourceInputMessage = GraphMessageOf<MessageKind::SourceInput>;
using DeviceResetRequestMessage = GraphMessageOf<MessageKind::DeviceResetRequest>;

// A new message of kind K as the family type, ready to post.
template <MessageKind K>
RefPtr<GraphMessage> MakeMessage(RefPtr<RefObject> payload = nullptr, uint32_t first = 0, uint32_t second = 0) {
  return Create<GraphMessageOf<K>>(std::move(payload), first, second);
}

// An Abort message: `reason` travels as its number in the first integer.
inline RefPtr<GraphMessage> MakeAbortMessage(StopReason reason) {
  return MakeMessage<MessageKind::Abort>(nullptr, StopCode(reason));
}

}  // namespace talvinor
