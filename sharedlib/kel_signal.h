// KelSignal: an internal signal that monitoring code (watchdog timers, background tasks)
// posts to the process-wide signal queue, and that queue with the reader/writer lock that
// guards it. The signal parser drains the queue and hands each signal to a worker.
//
// Ownership: the producer owns a signal until Insert returns true; the queue then owns it
// until the parser unlinks it (under the writer lock) or ClearSigQueue deletes it.
#ifndef KEL_SHAREDLIB_KEL_SIGNAL_H
#define KEL_SHAREDLIB_KEL_SIGNAL_H

#include "sharedlib/kel_list.h"
#include "sharedlib/kel_mutex.h"

// Fixed to int: a code from a faulty producer is a value the parser can see and refuse.
enum KelSignalCode : int {
  Kel_Signal_Hotplug = 0,
  Kel_Signal_DiskStatus = 1,
  Kel_Signal_SMR = 2,
};

class KelSignal {
 public:
  // Allocates `nDataLen` zeroed bytes of payload (none for 0). A negative length prints the
  // assertion "nDataLen >= 0" and leaves the signal without payload.
  KelSignal(KelSignalCode code, int nDataLen);
  ~KelSignal();
  KelSignal(const KelSignal&) = delete;
  KelSignal& operator=(const KelSignal&) = delete;

  // Folding several signals into one is left to the workers.
  void Merge() {}

  int DataLen() const { return m_nDataLen; }

  // Appends `pSignal` to the queue under the writer lock: true, and the queue owns it. When
  // the writer lock cannot be had within 5 seconds ("WLock the global sig queue failed\n")
  // or the list node cannot be allocated ("Allocate memory failed\n") the queue is left
  // untouched and the result is false: the producer still owns the signal and decides
  // whether to retry or delete it. A null signal prints an assertion and returns false.
  static bool Insert(KelSignal* pSignal);
  // Unlinks `pSignal` under the writer lock without deleting it. A signal that is not
  // queued prints the assertion "kelSignalQueue.Remove(pSignal)"; a lock that cannot be had
  // prints "WLock the global sig queue failed\n"; either way the queue is unchanged.
  static void Remove(KelSignal* pSignal);
  // Under the writer lock, deletes every queued signal and empties the queue (shutdown).
  static void ClearSigQueue();

  // The process-wide queue (kelSignalQueue), in posting order, and its lock
  // (kelSignalQueueRWLock). Built on first use, safe from static initialisers of any file,
  // never destroyed. Readers of the queue hold QueueLock() shared; changes hold it exclusive.
  static KelList<KelSignal*>& Queue();
  static KelRWLock& QueueLock();

  KelSignalCode code;   // what happened; selects the worker
  unsigned char* data;  // payload of DataLen() bytes, owned; null when empty

 private:
  int m_nDataLen;  // bytes at `data`
};

#endif
