// Scoped holds of the device manager's model lock for its L methods: the lock failure is
// reported once, naming the method, and the caller returns the lock code.
//
// For the lock analysis a hold counts as taken from its construction on; code after a
// failed Ok() must return without touching the model, as the macros below do.
#ifndef KEL_ENGINE_DM_LOCK_H
#define KEL_ENGINE_DM_LOCK_H

#include "sharedlib/diag.h"
#include "sharedlib/kel_mutex.h"

class SCOPED_CAPABILITY KelDMReadHold {
 public:
  explicit KelDMReadHold(KelRWLock& l) ACQUIRE_SHARED(l) : m_l(l), m_ok(l.RLock()) {}
  ~KelDMReadHold() RELEASE() {
    if (m_ok) m_l.RUnlock();
  }
  KelDMReadHold(const KelDMReadHold&) = delete;
  KelDMReadHold& operator=(const KelDMReadHold&) = delete;
  bool Ok() const { return m_ok; }

 private:
  KelRWLock& m_l;
  bool m_ok;
};

class SCOPED_CAPABILITY KelDMWriteHold {
 public:
  explicit KelDMWriteHold(KelRWLock& l) ACQUIRE(l) : m_l(l), m_ok(l.WLock()) {}
  ~KelDMWriteHold() RELEASE() {
    if (m_ok) m_l.WUnlock();
  }
  KelDMWriteHold(const KelDMWriteHold&) = delete;
  KelDMWriteHold& operator=(const KelDMWriteHold&) = delete;
  bool Ok() const { return m_ok; }

 private:
  KelRWLock& m_l;
  bool m_ok;
};

// Takes the read side for the rest of the enclosing scope, or returns ZR_LOCK_FAILED.
#define KEL_DM_READ_LOCK_OR_RETURN()  \
  KelDMReadHold kelDmHold_(*this);    \
  if (!kelDmHold_.Ok()) {             \
    KEL_DM_ASSERT_TEXT("RLock()");    \
    return ZR_LOCK_FAILED;            \
  }

// Takes the write side for the rest of the enclosing scope, or returns ZR_LOCK_FAILED.
#define KEL_DM_WRITE_LOCK_OR_RETURN() \
  KelDMWriteHold kelDmHold_(*this);   \
  if (!kelDmHold_.Ok()) {             \
    KEL_DM_ASSERT_TEXT("WLock()");    \
    return ZR_LOCK_FAILED;            \
  }

#endif
