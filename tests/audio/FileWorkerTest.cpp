#include "audio/FileWorker.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "audio/GraphTestSupport.h"
#include "support/TempFolder.h"

namespace talvinor {
namespace {

using testing::ProbeQueue;
using testing::TempFolder;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

RefPtr<AudioBuffer> BufferWith(const std::string& bytes) {
  RefPtr<AudioBuffer> b = Create<AudioBuffer>();
  uint8_t* p = b->Reserve(static_cast<uint32_t>(bytes.size()));
  std::copy(bytes.begin(), bytes.end(), p);
  b->SetValid(p, static_cast<uint32_t>(bytes.size()));
  return b;
}

uint32_t OpenAndExpectAbort(const std::wstring& path, FileWorkerMode mode) {
  ProbeQueue reply;
  RefPtr<FileWorker> worker = Create<FileWorker>();
  if (!worker->Open(path, mode, reply.queue)) return 0;
  RefPtr<GraphMessage> m = reply.Next();
  worker->Close();
  return m && m->Kind() == MessageKind::Abort ? m->First() : 0;
}

TEST(FileWorkerTest, WritesAppendAtCurrentPositionAndOverwriteAtOffsets) {
  TempFolder folder;
  ProbeQueue reply;
  RefPtr<FileWorker> worker = Create<FileWorker>();
  EXPECT_EQ(worker->GetFileSize(), FileWorker::kUnknownSize);
  ASSERT_TRUE(worker->Open(folder.WFile(L"out.bin"), FileWorkerMode::CreateNew, reply.queue));
  RefPtr<GraphMessage> opened = reply.Next();
  ASSERT_TRUE(opened);
  ASSERT_EQ(opened->Kind(), MessageKind::FileOpened);
  EXPECT_EQ(opened->Payload().Get(), worker.Get());
  EXPECT_EQ(worker->GetFileSize(), 0u);

  RefPtr<AudioBuffer> head = BufferWith("HEAD");
  RefPtr<AudioBuffer> body = BufferWith("0123456789");
  ASSERT_TRUE(worker->PostWrite(head, kCurrentPosition));
  ASSERT_TRUE(worker->PostWrite(body, kCurrentPosition));  // count 0: the valid length
  ASSERT_TRUE(worker->PostWrite(BufferWith("abcdef"), kCurrentPosition, 3));
  ASSERT_TRUE(worker->PostWrite(BufferWith("hd"), 1));  // overwrite in place
  uint32_t written[4];
  for (uint32_t& w : written) {
    RefPtr<GraphMessage> m = reply.Next();
    ASSERT_TRUE(m);
    ASSERT_EQ(m->Kind(), MessageKind::BlockWritten);
    w = m->First();
  }
  EXPECT_EQ(written[0], 4u);
  EXPECT_EQ(written[1], 10u);
  EXPECT_EQ(written[2], 3u);
  EXPECT_EQ(written[3], 2u);
  EXPECT_TRUE(worker->Close());
  EXPECT_EQ(ReadAll(folder.File("out.bin")), "HhdD0123456789abc");
  EXPECT_FALSE(worker->PostWrite(head, kCurrentPosition));  // not running
}

TEST(FileWorkerTest, ReadsFillFromTheStorageStartUpToCountOrCapacity) {
  TempFolder folder;
  WriteAll(folder.File("in.bin"), std::string(10000, 'x') + "tail");
  ProbeQueue reply;
  RefPtr<FileWorker> worker = Create<FileWorker>();
  ASSERT_TRUE(worker->Open(folder.WFile(L"in.bin"), FileWorkerMode::Read, reply.queue));
  ASSERT_TRUE(reply.NextOf(MessageKind::FileOpened));
  EXPECT_EQ(worker->GetFileSize(), 10004u);
  RefPtr<AudioBuffer> b = Create<AudioBuffer>();
  b->Reserve(100);
  ASSERT_TRUE(worker->PostRead(b, 9998, 0));  // whole capacity: only 6 bytes remain
  RefPtr<GraphMessage> m = reply.Next();
  ASSERT_TRUE(m);
  ASSERT_EQ(m->Kind(), MessageKind::BlockRead);
  EXPECT_EQ(m->Buffer(), b);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b->Data()), b->Length()), "xxtail");
  EXPECT_EQ(b->Data(), b->Storage());
  ASSERT_TRUE(worker->PostRead(b, 0, 3));
  ASSERT_TRUE(reply.Next());
  EXPECT_EQ(b->Length(), 3u);
  ASSERT_TRUE(worker->PostRead(b, kCurrentPosition, 2));  // continues after the last read
  ASSERT_TRUE(reply.Next());
  EXPECT_EQ(b->Length(), 2u);
  EXPECT_TRUE(worker->Close());
}

TEST(FileWorkerTest, OpenFailuresReportThirtyOne) {
  TempFolder folder;
  WriteAll(folder.File("exists.wav"), "data");
  EXPECT_EQ(OpenAndExpectAbort(folder.WFile(L"missing.wav"), FileWorkerMode::Read), 31u);
  EXPECT_EQ(OpenAndExpectAbort(folder.WFile(L"exists.wav"), FileWorkerMode::CreateNew), 31u);
  EXPECT_EQ(OpenAndExpectAbort(folder.WFile(L"no/such/folder.wav"), FileWorkerMode::CreateAlways), 31u);
  EXPECT_EQ(ReadAll(folder.File("exists.wav")), "data");  // untouched
  RefPtr<FileWorker> worker = Create<FileWorker>();
  EXPECT_FALSE(worker->Open(L"", FileWorkerMode::Read, ProbeQueue().queue));
}

TEST(FileWorkerTest, FilesOfFourGibibytesOrMoreAreRefusedAtOpen) {
  TempFolder folder;
  WriteAll(folder.File("big.wav"), "RIFF");
  std::filesystem::resize_file(folder.File("big.wav"), 0x100000000ull);  // sparse
  EXPECT_EQ(OpenAndExpectAbort(folder.WFile(L"big.wav"), FileWorkerMode::Read), 31u);
}

TEST(FileWorkerTest, AFifoOrADeviceToReadIsRefusedAtOnceWithoutWaitingForAWriter) {
  TempFolder folder;
  ASSERT_EQ(::mkfifo(folder.File("pipe.wav").c_str(), 0600), 0);
  EXPECT_EQ(OpenAndExpectAbort(folder.WFile(L"pipe.wav"), FileWorkerMode::Read), 31u);
  EXPECT_EQ(OpenAndExpectAbort(L"/dev/zero", FileWorkerMode::Read), 31u);
  EXPECT_EQ(OpenAndExpectAbort(folder.WFile(L"pipe.wav"), FileWorkerMode::CreateAlways), 31u);
}

TEST(FileWorkerTest, AHeaderWrittenInPlaceLeavesTheAppendPositionAtTheEnd) {
  TempFolder folder;
  ProbeQueue reply;
  RefPtr<FileWorker> worker = Create<FileWorker>();
  ASSERT_TRUE(worker->Open(folder.WFile(L"out.bin"), FileWorkerMode::CreateNew, reply.queue));
  ASSERT_TRUE(reply.NextOf(MessageKind::FileOpened));
  // The first header goes before the sound; its update in mid-file leaves
  // the sound that follows where it belongs.
  ASSERT_TRUE(worker->PostWrite(BufferWith("hhhh"), 0));
  ASSERT_TRUE(worker->PostWrite(BufferWith("0123"), kCurrentPosition));
  ASSERT_TRUE(worker->PostWrite(BufferWith("HH"), 0));
  ASSERT_TRUE(worker->PostWrite(BufferWith("4567"), kCurrentPosition));
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(reply.NextOf(MessageKind::BlockWritten));
  EXPECT_TRUE(worker->Close());
  EXPECT_EQ(ReadAll(folder.File("out.bin")), "HHhh01234567");
}

TEST(FileWorkerTest, AShortBufferAndATooSmallOneEndTheRunWithTheirCodes) {
  TempFolder folder;
  WriteAll(folder.File("in.bin"), "0123456789");
  struct Case {
    MessageKind kind;
    uint32_t offset;
    uint32_t count;
    uint32_t code;
  };
  // (A seek that fails, 34, needs a file that cannot seek: a pipe, which is
  // refused at open now.)
  for (Case c : {Case{MessageKind::WriteBlock, kCurrentPosition, 5, 32}, Case{MessageKind::ReadBlock, 0, 8193, 33}}) {
    ProbeQueue reply;
    RefPtr<FileWorker> worker = Create<FileWorker>();
    FileWorkerMode mode = c.kind == MessageKind::WriteBlock ? FileWorkerMode::CreateAlways : FileWorkerMode::Read;
    const wchar_t* name = c.kind == MessageKind::WriteBlock ? L"out.bin" : L"in.bin";
    ASSERT_TRUE(worker->Open(folder.WFile(name), mode, reply.queue));
    ASSERT_TRUE(reply.NextOf(MessageKind::FileOpened));
    RefPtr<AudioBuffer> b = BufferWith("abc");  // 3 valid bytes, 8192 capacity
    if (c.kind == MessageKind::WriteBlock) {
      ASSERT_TRUE(worker->PostWrite(b, c.offset, c.count));
    } else {
      ASSERT_TRUE(worker->PostRead(b, c.offset, c.count));
    }
    worker->PostRead(b, 0, 1);  // refused or never served: the run ends at the error
    RefPtr<GraphMessage> m = reply.Next();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Kind(), MessageKind::Abort);
    EXPECT_EQ(m->First(), c.code);
    EXPECT_TRUE(testing::WaitUntil([&] { return !worker->IsRunning(); }));
    EXPECT_FALSE(reply.Next(50));
    EXPECT_EQ(worker->GetInboxCount(), 0u);
  }
}

}  // namespace
}  // namespace talvinor
