// KelSigParser drains the process-wide signal queue every 10 ms and hands each signal to
// the worker for its code. It owns the three workers.
#ifndef KEL_SERVICE_MONITOR_KEL_SIG_PARSER_H
#define KEL_SERVICE_MONITOR_KEL_SIG_PARSER_H

#include <array>
#include <memory>
#include <vector>

#include "service/monitor/kel_sig_workers.h"

inline constexpr int gMaxSigWorkers = 3;

class KelSigParser : public KelThread, public KelMemPool {
 public:
  // Builds the workers; `sink` receives the notices (null: every client's notification
  // connection, through the registry of `priv`).
  explicit KelSigParser(KelSrvPrivate* priv, KelNoticeSink* sink = nullptr);
  // Ends the parser's thread, then the workers'; signals not yet handled are freed.
  ~KelSigParser() override;

  // Starts the workers, then the parser.
  bool start() override;
  void run() override;
  // One round: takes the queued signals out of the process-wide queue and gives each to
  // its worker. A busy worker's signals wait here, in order, for the next round.
  void DispatchOnce();

  KelSigWorker* Worker(int code) { return m_pSigWorkers[static_cast<size_t>(code)].get(); }

 private:
  std::unique_ptr<KelNoticeSink> m_pOwnSink;
  std::array<std::unique_ptr<KelSigWorker>, gMaxSigWorkers> m_pSigWorkers;
  std::vector<KelSignal*>
      m_waiting;  // taken from the queue, not yet handed over; parser thread only
};

#endif
