#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/AudioBuffer.h"
#include "audio/AudioEncoder.h"
#include "audio/AudioSource.h"
#include "audio/FileWorker.h"
#include "audio/Master.h"
#include "platform/RingQueue.h"

namespace talvinor {

// What the conversion does with an existing destination file.
enum class ConvertOutput {
  Replace,    // create always: an existing file is replaced
  CreateNew,  // create new: an existing file stops the run with 31
};

// Converts one sound file into another without a device: an input file worker
// feeds the source, the source's PCM goes to the encoder, and an output file
// worker writes the encoder's blocks. States: Opening, Running, Stopping,
// Draining, Closed. A normal run ends with reason 2 after draining.
class ConvertMaster : public Master {
 public:
  ConvertMaster();

  // Refused (releasing both components) while running or when a path or
  // component is null.
  bool Setup(const std::wstring& sourcePath, RefPtr<AudioSource> source, const std::wstring& destinationPath,
             RefPtr<AudioEncoder> encoder, ConvertOutput output = ConvertOutput::Replace);

  // The source's, while Running; otherwise 0.
  uint32_t GetPosition() override;
  uint32_t GetLength() override;

  // The number of PCM buffers circulating between source and encoder (4
  // unless changed for measurements); takes effect at the next Start.
  void SetBufferCount(uint32_t count);

  RefPtr<AudioSource> GetSource();
  RefPtr<AudioEncoder> GetEncoder();

  // Bytes of PCM the source handed on during the current or last run; 0
  // after a run that ended normally means nothing could be decoded.
  uint64_t GetDecodedBytes() const { return m_decodedBytes.load(std::memory_order_relaxed); }

 protected:
  ~ConvertMaster() override = default;

  // The end of the stream drains, any other reason stops; a stop during a
  // drain (the owner's Close) replaces it. An end of stream that arrives
  // after a stop has begun does not turn the stop back into a drain.
  StopPlan PlanStop(MasterState state, StopReason recorded, StopReason reason) override;
  // Opening, Stopping and Draining: the steps that open or shut the graph.
  bool IsTransitional(MasterState state) override;
  void BeginRun() override {
    m_endPending = false;
    m_decodedBytes.store(0, std::memory_order_relaxed);
  }
  void Dispatch(GraphMessage* message) override;
  // Opening works through the OpeningStep list; Stopping and Draining shut
  // the graph down, the input side first.
  StepResult Step(MasterState state) override;
  // Closes the components and both file workers, and drops the run's buffers.
  void EndRun() override;

 private:
  // Where the opening stands, in order.
  enum class OpeningStep : uint32_t {
    OpenInput = 0,       // start the input file worker
    OpenSource = 1,      // once the input is open: open the source, hand it buffers
    AwaitFormat = 2,     // wait for the source's FormatReady
    ConnectEncoder = 3,  // format the encoder and connect it
    OpenOutput = 4,      // start the output file worker
    AwaitOutput = 5,     // once the output is open: Running
  };

  void Open();
  // Stopping or Draining; true when the run may end.
  bool StopStep(MasterState state);

  RefPtr<FileWorker> m_input;
  RefPtr<FileWorker> m_output;
  RefPtr<AudioSource> m_source;           // guarded by m_lock
  RefPtr<AudioSource> m_defaultSource;
  RefPtr<AudioEncoder> m_encoder;         // guarded by m_lock
  RefPtr<AudioEncoder> m_defaultEncoder;
  uint32_t m_overwrite = 0;               // guarded by m_lock
  uint32_t m_bufferCount = 4;             // guarded by m_lock
  // Master thread only:
  std::vector<RefPtr<AudioBuffer>> m_buffers;
  // Encoder output that arrived before the output file worker was started;
  // written in order once it runs.
  RingQueue<RefPtr<GraphMessage>> m_heldOutput;
  // The source ended while the run was still opening.
  bool m_endPending = false;
  // Written by the master thread, read by the owner.
  std::atomic<uint64_t> m_decodedBytes{0};
};

}  // namespace talvinor
