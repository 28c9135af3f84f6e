// Tests of the event log file, one per behaviour (the ring arithmetic has its own test):
// stored form and cutting, flush order, a wrapped ring read back both ways after a reopen,
// clipped and refused reads, a corrupt header clearing the log, a file that cannot be
// opened and the flush timer. Each test uses a ten-record ring (S = 200, C = 10) in its
// own folder.
#include "service/eventlog/kel_event_log.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sharedlib/kel_thread.h"
#include "sharedlib/kel_timer.h"
#include "tests/service/service_test_util.h"
#include "tests/support/temp_dir.h"

namespace {

using kel_test::Captured;
using kel_test::ReadAll;

constexpr int kRecord = 200;
constexpr int kCapacity = 10;

// Head and tail from the file's header.
std::pair<int, int> Header(const std::string& path) {
  const std::string b = ReadAll(path);
  if (b.size() < 8) return {-100, -100};
  auto le = [&](int at) {
    return static_cast<int>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8 |
                            static_cast<unsigned char>(b[at + 2]) << 16 | static_cast<unsigned char>(b[at + 3]) << 24);
  };
  return {le(0), le(4)};
}

// The whole record of slot k, zero padding included.
std::string Slot(const std::string& path, int k) {
  const std::string bytes = ReadAll(path);
  const size_t at = static_cast<size_t>(k + 1) * kRecord;
  return bytes.size() < at + kRecord ? "" : bytes.substr(at, kRecord);
}

std::string Padded(const std::string& text) { return text + std::string(kRecord - text.size(), '\0'); }

class KelEventLogTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(KelTimer::StartTimerDaemonThread()); }
  void TearDown() override {
    m_log.reset();
    KelTimer::StopTimerDaemonThread();
  }

  KelEventLog& Open() {
    m_log.reset();
    m_out = Captured([&] { m_log = std::make_unique<KelEventLog>(m_path.c_str(), kCapacity * kRecord, kRecord); });
    return *m_log;
  }

  // Queues lines and writes them in one flush; returns the stored form of the last.
  std::string Write(std::vector<std::string> lines) {
    m_out = Captured([&] {
      for (std::string& line : lines) m_log->AddItemToQueue(line);
      m_log->FlushLogQueue();
    });
    return lines.back();
  }
  std::string Write(const std::string& line) { return Write(std::vector<std::string>{line}); }
  void WriteItems(int from, int to) {
    for (int i = from; i <= to; ++i) Write("INFO~item " + std::to_string(i));
  }

  // ReadLines on a fresh stream: "ok" or "refused", the count it leaves, the item numbers read.
  std::string Read(int offset, int count) {
    std::ifstream file(m_path, std::ios::binary);
    std::vector<std::string> lines;
    bool ok = false;
    m_out = Captured([&] { ok = m_log->ReadLines(file, lines, offset, count); });
    std::string read = (ok ? "ok " : "refused ") + std::to_string(count) + ":";
    for (const std::string& l : lines) read += " " + std::to_string(std::stoi(l.substr(l.rfind(' ') + 1)));
    return read;
  }
  bool Says(const std::string& what) const { return m_out.find(what) != std::string::npos; }

  kel_test::TempDir m_dir;
  std::string m_path = m_dir.File("kel_event.log");
  std::string m_out;
  std::unique_ptr<KelEventLog> m_log;
};

// Stored items are "<local time>~<line without CR/LF>\n": 26 bytes more than the line. A
// record of 200 holds an item of 199 and its zero; an item of 200 is cut to 199 and '\n'.
TEST_F(KelEventLogTest, ItemsAreStoredBehindTheLocalTimeAndCutToFitARecord) {
  KelEventLog& log = Open();
  EXPECT_TRUE(ReadAll(m_path) == std::string(kRecord, '\0') && log.GetCurLineNum() == 0);
  std::string empty;
  log.AddItemToQueue(empty);
  EXPECT_FALSE(log.HasQueuedItems());

  std::string line = "WARNING~disk 3\r\n pulled out";
  EXPECT_NE(Captured([&] { log.AddItemToQueue(line); }).find("WARNING~disk 3\r\n pulled out\n"), std::string::npos);
  ASSERT_EQ(line.size(), 24u + 1 + 25 + 1) << line;
  EXPECT_EQ(line.substr(24), "~WARNING~disk 3 pulled out\n");
  EXPECT_TRUE(line[3] == ' ' && line[13] == ':') << line;
  EXPECT_TRUE(log.HasQueuedItems());
  log.FlushLogQueue();
  EXPECT_FALSE(log.HasQueuedItems());
  EXPECT_EQ(Slot(m_path, 0), Padded(line));
  EXPECT_EQ(Header(m_path), std::make_pair(0, 1));

  const std::string fits = Write("INFO~" + std::string(199 - 26 - 5, 'f'));
  ASSERT_EQ(fits.size(), 199u);
  EXPECT_EQ(Slot(m_path, 1), Padded(fits));
  EXPECT_FALSE(Says("Cut the string as ")) << m_out;
  const std::string cut = Write("INFO~" + std::string(200 - 26 - 5, 'c'));
  EXPECT_EQ(Slot(m_path, 2), cut.substr(0, kRecord - 1) + "\n");
  EXPECT_TRUE(Says("Cut the string as ")) << m_out;
  // Lines queued within one flush appear newest first.
  Write(std::vector<std::string>{"INFO~first", "INFO~second"});
  EXPECT_TRUE(Slot(m_path, 3).find("~INFO~second\n") != std::string::npos &&
              Slot(m_path, 4).find("~INFO~first\n") != std::string::npos);
}

// After 13 writes (the last one after a reopen) the ring holds items 4..13 in slots
// 4..9, 0..3 (head 4, tail 3); slot 3 is due for overwriting, so items 5..13 can be read.
TEST_F(KelEventLogTest, AWrappedRingSurvivesAReopenAndReadsBackBothWays) {
  Open();
  WriteItems(1, 12);
  EXPECT_EQ(Header(m_path), std::make_pair(3, 2));
  KelEventLog& log = Open();
  EXPECT_TRUE(!Says("Invalid log file format") && log.GetCurLineNum() == kCapacity) << m_out;
  WriteItems(13, 13);
  EXPECT_EQ(Header(m_path), std::make_pair(4, 3));
  EXPECT_EQ(ReadAll(m_path).size(), static_cast<size_t>((kCapacity + 1) * kRecord));

  EXPECT_EQ(Read(0, kCapacity), "ok 10: 5 6 7 8 9 10 11 12 13");
  EXPECT_TRUE(Says("Overlapped log item, skip\n")) << m_out;
  EXPECT_EQ(Read(kCapacity, -kCapacity), "ok 10: 13 12 11 10 9 8 7 6 5");
  // A page that crosses the end of the file: indexes 7, 6, 5 in slots 1, 0, 9.
  EXPECT_EQ(Read(8, -3), "ok 3: 12 11 10");
}

TEST_F(KelEventLogTest, ReadRequestsAreClippedOrRefusedWithTheirMessages) {
  Open();
  WriteItems(1, 3);
  const struct { int offset, count; std::string read, says; } cases[] = {
      {1, 5, "ok 2: 2 3", "Can not fetch so many new lines\n"},
      {5, -4, "ok 2: 3 2", ""},  // offset 5 exceeds the 3 items by 2: two remain
      {5, -2, "refused -2:", "Given count is invalid\n"},  // wholly above the newest item
      {kCapacity + 1, 1, "refused 1:", "Given offset is invalid\n"},
      {0, 0, "refused 0:", "Given count is invalid\n"},
  };
  for (const auto& k : cases) {
    EXPECT_EQ(Read(k.offset, k.count), k.read) << k.offset << "/" << k.count;
    EXPECT_TRUE(Says(k.says)) << m_out;
  }
}

TEST_F(KelEventLogTest, HeaderClaimingATailBeyondTheRingClearsTheLog) {
  std::string bytes(3 * kRecord, 'z');  // head 0, tail 11
  bytes.replace(0, 8, std::string(4, '\0') + static_cast<char>(kCapacity + 1) + std::string(3, '\0'));
  std::ofstream(m_path, std::ios::binary) << bytes;
  KelEventLog& log = Open();
  EXPECT_TRUE(Says("Invalid log file format. Clear it!\n")) << m_out;
  EXPECT_TRUE(ReadAll(m_path) == std::string(kRecord, '\0') && log.GetCurLineNum() == 0);
}

TEST_F(KelEventLogTest, FileThatCannotBeOpenedIsReportedOnFlush) {
  m_path = m_dir.File("missing/folder/kel_event.log");
  KelEventLog& log = Open();  // reported here too
  Write("ERROR~nowhere to go");
  EXPECT_TRUE(Says("Open log file " + m_path + " failed\n")) << m_out;
  EXPECT_TRUE(!log.HasQueuedItems() && log.GetCurLineNum() == 0 && KelEventLog::GetSize(m_path.c_str()) == 0u);
}

// The one test that waits for the real 3-second timer rather than flushing by hand.
TEST_F(KelEventLogTest, FlushTimerWritesQueuedLinesByItself) {
  KelEventLog& log = Open();
  std::string line = "INFO~flushed by the timer";
  Captured([&] { log.AddItemToQueue(line); });
  for (int waited = 0; waited < 8000 && log.GetCurLineNum() == 0; waited += 100) KelBaseThread::KelThreadSleep(100);
  EXPECT_EQ(log.GetCurLineNum(), 1);
  EXPECT_EQ(Slot(m_path, 0), Padded(line));
}

}  // namespace
