// Tests of the event log file: stored form, cutting, queue order, the ring's head and
// tail, reading back a wrapped ring, corrupt headers, clearing, persistence and a file
// that cannot be opened. Each test works in its own temporary folder with a ten-record
// ring (S = 200, C = 10).
#include "service/eventlog/kel_event_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sharedlib/kel_thread.h"
#include "sharedlib/kel_timer.h"

namespace {

constexpr int kRecord = 200;
constexpr int kCapacity = 10;
constexpr unsigned long long kMaxSize = kCapacity * kRecord;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int32_t Le32(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int b = 3; b >= 0; --b) v = (v << 8) | static_cast<unsigned char>(bytes[at + b]);
  return static_cast<int32_t>(v);
}

// Head and tail from the file's header.
std::pair<int, int> Header(const std::string& path) {
  const std::string bytes = ReadAll(path);
  if (bytes.size() < 8) return {-100, -100};
  return {Le32(bytes, 0), Le32(bytes, 4)};
}

// The whole record of slot k, zero padding included.
std::string Slot(const std::string& path, int k) {
  const std::string bytes = ReadAll(path);
  const size_t at = static_cast<size_t>(k + 1) * kRecord;
  if (bytes.size() < at + kRecord) return "";
  return bytes.substr(at, kRecord);
}

std::string Padded(const std::string& text) { return text + std::string(kRecord - text.size(), '\0'); }

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

class KelEventLogTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kel_event_log_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
    m_path = m_dir + "/kel_event.log";
    ASSERT_TRUE(KelTimer::StartTimerDaemonThread());
  }
  void TearDown() override {
    m_log.reset();
    KelTimer::StopTimerDaemonThread();
    std::filesystem::remove_all(m_dir);
  }

  KelEventLog& Open() {
    testing::internal::CaptureStdout();
    m_log = std::make_unique<KelEventLog>(m_path.c_str(), kMaxSize, kRecord);
    m_openOutput = testing::internal::GetCapturedStdout();
    return *m_log;
  }

  // Queues one line and writes it at once; returns its stored form.
  std::string Write(const std::string& text) {
    std::string line = text;
    testing::internal::CaptureStdout();
    m_log->AddItemToQueue(line);
    m_log->FlushLogQueue();
    testing::internal::GetCapturedStdout();
    return line;
  }

  // ReadLines on a fresh stream, with its diagnostics captured into `output`.
  bool Read(int offset, int& count, std::vector<std::string>& lines, std::string* output = nullptr) {
    std::ifstream file(m_path, std::ios::binary);
    testing::internal::CaptureStdout();
    const bool ok = m_log->ReadLines(file, lines, offset, count);
    const std::string out = testing::internal::GetCapturedStdout();
    if (output != nullptr) *output = out;
    return ok;
  }

  std::string m_dir;
  std::string m_path;
  std::string m_openOutput;
  std::unique_ptr<KelEventLog> m_log;
};

TEST_F(KelEventLogTest, NewFileStartsWithAnEmptyHeaderRecord) {
  KelEventLog& log = Open();
  EXPECT_EQ(ReadAll(m_path), std::string(kRecord, '\0'));
  EXPECT_EQ(log.GetCurLineNum(), 0);
  EXPECT_EQ(KelEventLog::GetSize(m_path.c_str()), static_cast<unsigned long long>(kRecord));
}

TEST_F(KelEventLogTest, QueuedLineIsEchoedAndStoredBehindTheLocalTime) {
  KelEventLog& log = Open();
  std::string line = "WARNING~disk 3\r\n pulled out";
  testing::internal::CaptureStdout();
  log.AddItemToQueue(line);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("WARNING~disk 3\r\n pulled out\n"), std::string::npos) << out;
  ASSERT_EQ(line.size(), 24u + 1 + 25 + 1) << line;
  EXPECT_EQ(line.substr(24), "~WARNING~disk 3 pulled out\n");
  EXPECT_EQ(line[3], ' ');
  EXPECT_EQ(line[13], ':');
  EXPECT_TRUE(log.HasQueuedItems());
  log.FlushLogQueue();
  EXPECT_FALSE(log.HasQueuedItems());
  EXPECT_EQ(Slot(m_path, 0), Padded(line));
  EXPECT_EQ(Header(m_path), std::make_pair(0, 1));
}

TEST_F(KelEventLogTest, EmptyLineIsIgnored) {
  KelEventLog& log = Open();
  std::string line;
  log.AddItemToQueue(line);
  EXPECT_TRUE(line.empty());
  EXPECT_FALSE(log.HasQueuedItems());
}

TEST_F(KelEventLogTest, ItemTooLongForARecordIsCutAndEndsInANewline) {
  KelEventLog& log = Open();
  std::string line = "INFO~" + std::string(245, 'x');
  ASSERT_EQ(line.size(), 250u);
  testing::internal::CaptureStdout();
  log.AddItemToQueue(line);
  log.FlushLogQueue();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Cut the string as "), std::string::npos) << out;
  EXPECT_EQ(Slot(m_path, 0), line.substr(0, kRecord - 1) + "\n");
}

TEST_F(KelEventLogTest, LinesQueuedWithinOneFlushAppearNewestFirst) {
  KelEventLog& log = Open();
  std::string first = "INFO~first";
  std::string second = "INFO~second";
  testing::internal::CaptureStdout();
  log.AddItemToQueue(first);
  log.AddItemToQueue(second);
  log.FlushLogQueue();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(Slot(m_path, 0), Padded(second));
  EXPECT_EQ(Slot(m_path, 1), Padded(first));
}

TEST_F(KelEventLogTest, HeadFollowsTheTailOnceTheRingIsFull) {
  KelEventLog& log = Open();
  for (int i = 1; i <= kCapacity - 1; ++i) Write("INFO~item " + std::to_string(i));
  EXPECT_EQ(Header(m_path), std::make_pair(0, kCapacity - 1));
  Write("INFO~item 10");
  EXPECT_EQ(Header(m_path), std::make_pair(1, 0));
  EXPECT_EQ(log.GetCurLineNum(), kCapacity);
  Write("INFO~item 11");
  EXPECT_EQ(Header(m_path), std::make_pair(2, 1));
  Write("INFO~item 12");
  EXPECT_EQ(Header(m_path), std::make_pair(3, 2));
  for (int i = 13; i <= 2 * kCapacity + 1; ++i) {
    Write("INFO~item " + std::to_string(i));
    EXPECT_EQ(Header(m_path), std::make_pair((i + 1) % kCapacity, i % kCapacity));
    EXPECT_EQ(log.GetCurLineNum(), kCapacity) << "after write " << i;
  }
  EXPECT_EQ(ReadAll(m_path).size(), static_cast<size_t>((kCapacity + 1) * kRecord));
}

TEST_F(KelEventLogTest, WrappedRingReadsBackEveryItemBothWays) {
  KelEventLog& log = Open();
  for (int i = 1; i <= 13; ++i) Write("INFO~item " + std::to_string(i));
  ASSERT_EQ(Header(m_path), std::make_pair(4, 3));
  ASSERT_EQ(log.GetCurLineNum(), kCapacity);

  // Forward from the oldest: items 5..13; the last index is the slot due for overwriting.
  std::vector<std::string> lines;
  int count = kCapacity;
  std::string out;
  ASSERT_TRUE(Read(0, count, lines, &out));
  EXPECT_EQ(count, kCapacity);
  ASSERT_EQ(lines.size(), 9u);
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(EndsWith(lines[i], "~INFO~item " + std::to_string(i + 5) + "\n")) << lines[i];
  EXPECT_NE(out.find("Overlapped log item, skip\n"), std::string::npos) << out;

  // Backward from the end: items 13..5, newest first.
  count = -kCapacity;
  ASSERT_TRUE(Read(kCapacity, count, lines));
  EXPECT_EQ(count, kCapacity);
  ASSERT_EQ(lines.size(), 9u);
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(EndsWith(lines[i], "~INFO~item " + std::to_string(13 - i) + "\n")) << lines[i];

  // A page that crosses the end of the file: indexes 7, 6, 5 lie in slots 1, 0, 9.
  count = -3;
  ASSERT_TRUE(Read(8, count, lines));
  EXPECT_EQ(count, 3);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(EndsWith(lines[0], "item 12\n"));
  EXPECT_TRUE(EndsWith(lines[1], "item 11\n"));
  EXPECT_TRUE(EndsWith(lines[2], "item 10\n"));
}

TEST_F(KelEventLogTest, ReadRequestsAreClippedOrRefused) {
  Open();
  for (int i = 1; i <= 3; ++i) Write("INFO~item " + std::to_string(i));
  std::vector<std::string> lines;
  std::string out;

  int count = 5;
  ASSERT_TRUE(Read(1, count, lines, &out));
  EXPECT_NE(out.find("Can not fetch so many new lines\n"), std::string::npos) << out;
  EXPECT_EQ(count, 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(EndsWith(lines[0], "item 2\n"));
  EXPECT_TRUE(EndsWith(lines[1], "item 3\n"));

  count = -4;  // offset 5 exceeds the 3 items by 2: two older items remain
  ASSERT_TRUE(Read(5, count, lines));
  EXPECT_EQ(count, 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(EndsWith(lines[0], "item 3\n"));
  EXPECT_TRUE(EndsWith(lines[1], "item 2\n"));

  count = -2;  // wholly above the newest item
  EXPECT_FALSE(Read(5, count, lines));
  EXPECT_TRUE(lines.empty());

  count = 1;
  EXPECT_FALSE(Read(kCapacity + 1, count, lines, &out));
  EXPECT_NE(out.find("Given offset is invalid\n"), std::string::npos) << out;

  count = 0;
  EXPECT_FALSE(Read(0, count, lines));
}

TEST_F(KelEventLogTest, HeaderClaimingATailBeyondTheRingClearsTheLog) {
  {
    std::string bytes(3 * kRecord, 'z');
    const unsigned char header[8] = {0, 0, 0, 0, kCapacity + 1, 0, 0, 0};
    bytes.replace(0, 8, reinterpret_cast<const char*>(header), 8);
    std::ofstream(m_path, std::ios::binary) << bytes;
  }
  KelEventLog& log = Open();
  EXPECT_NE(m_openOutput.find("Invalid log file format. Clear it!\n"), std::string::npos) << m_openOutput;
  EXPECT_EQ(ReadAll(m_path), std::string(kRecord, '\0'));
  EXPECT_EQ(log.GetCurLineNum(), 0);
}

TEST_F(KelEventLogTest, ClearLogLeavesOneRecordWithZeroIndexes) {
  KelEventLog& log = Open();
  for (int i = 1; i <= 3; ++i) Write("INFO~item " + std::to_string(i));
  EXPECT_TRUE(log.ClearLog());
  EXPECT_EQ(ReadAll(m_path), std::string(kRecord, '\0'));
  EXPECT_EQ(log.GetCurLineNum(), 0);
  const std::string stored = Write("INFO~after clearing");
  EXPECT_EQ(Slot(m_path, 0), Padded(stored));
}

TEST_F(KelEventLogTest, IndexesSurviveANewInstanceOnTheSameFile) {
  Open();
  std::vector<std::string> stored;
  for (int i = 1; i <= 12; ++i) stored.push_back(Write("INFO~item " + std::to_string(i)));
  m_log.reset();

  KelEventLog& log = Open();
  EXPECT_EQ(m_openOutput.find("Invalid log file format"), std::string::npos) << m_openOutput;
  EXPECT_EQ(log.GetCurLineNum(), kCapacity);
  std::vector<std::string> lines;
  int count = -1;
  ASSERT_TRUE(Read(kCapacity - 1, count, lines));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], stored.back());
  Write("INFO~item 13");
  EXPECT_EQ(Header(m_path), std::make_pair(4, 3));
}

TEST_F(KelEventLogTest, FileThatCannotBeOpenedIsReportedOnFlush) {
  m_path = m_dir + "/missing/folder/kel_event.log";
  KelEventLog& log = Open();
  EXPECT_NE(m_openOutput.find("Open log file " + m_path + " failed\n"), std::string::npos) << m_openOutput;
  std::string line = "ERROR~nowhere to go";
  testing::internal::CaptureStdout();
  log.AddItemToQueue(line);
  log.FlushLogQueue();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Open log file " + m_path + " failed\n"), std::string::npos) << out;
  EXPECT_FALSE(log.HasQueuedItems());
  EXPECT_EQ(log.GetCurLineNum(), 0);
  EXPECT_EQ(KelEventLog::GetSize(m_path.c_str()), 0u);
}

// The one test that waits for the real 3-second timer rather than flushing by hand.
TEST_F(KelEventLogTest, FlushTimerWritesQueuedLinesByItself) {
  KelEventLog& log = Open();
  std::string line = "INFO~flushed by the timer";
  testing::internal::CaptureStdout();
  log.AddItemToQueue(line);
  testing::internal::GetCapturedStdout();
  for (int waited = 0; waited < 8000 && log.GetCurLineNum() == 0; waited += 100) KelBaseThread::KelThreadSleep(100);
  EXPECT_EQ(log.GetCurLineNum(), 1);
  EXPECT_EQ(Slot(m_path, 0), Padded(line));
}

}  // namespace
