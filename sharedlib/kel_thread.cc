// Thread start, termination handshake and the common thread entry.
#include "sharedlib/kel_thread.h"

#include <sys/select.h>

#include <cerrno>
#include <cxxabi.h>
#include <exception>

#include "sharedlib/diag.h"

bool KelBaseThread::running() {
  stateMutex.lock();
  const bool result = isRunning;
  stateMutex.unlock();
  return result;
}

void KelBaseThread::KelThreadSleep(long ms) {
  if (ms <= 0) return;
  timeval tv;
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  // Linux select leaves the remaining time in `tv`, so an interrupted sleep resumes.
  while (select(0, nullptr, nullptr, nullptr, &tv) < 0 && errno == EINTR) {
  }
}

int KelBaseThread::SchedPriority(Priority priority, int minPrio, int maxPrio) {
  if (priority <= kPriorityMin) return minPrio;
  if (priority == kPriorityMax) return maxPrio;
  const int prio = minPrio + priority * (maxPrio - minPrio) / 6;
  return prio > maxPrio ? maxPrio : prio;
}

KelThread::~KelThread() {
  if (!thread_terminate(500)) KEL_PRINT(ZEP_DBG_ASSERT, "A thread outlives its object\n");
}

void KelThread::ApplyPriority(pthread_attr_t* attr, Priority priority) {
  if (priority == kPriorityInherit || priority < kPriorityMin || priority > kPriorityInherit) {
    KEL_ASSERT(priority >= kPriorityMin && priority <= kPriorityInherit);
    pthread_attr_setinheritsched(attr, PTHREAD_INHERIT_SCHED);
    return;
  }
  int policy;
  if (pthread_attr_getschedpolicy(attr, &policy) != 0) {
    KEL_PRINT(ZEP_DBG_WARN, "Cannot determine default scheduler policy\n");
    return;
  }
  const int minPrio = sched_get_priority_min(policy);
  const int maxPrio = sched_get_priority_max(policy);
  if (minPrio == -1 || maxPrio == -1) {
    KEL_PRINT(ZEP_DBG_WARN, "Cannot determine scheduler priority range\n");
    return;
  }
  sched_param param{};
  param.sched_priority = SchedPriority(priority, minPrio, maxPrio);
  pthread_attr_setinheritsched(attr, PTHREAD_EXPLICIT_SCHED);
  pthread_attr_setschedpolicy(attr, policy);
  pthread_attr_setschedparam(attr, &param);
}

bool KelThread::thread_start(Priority priority) {
  stateMutex.lock();
  if (isRunning) {
    KEL_PRINT(ZEP_DBG_ERROR, "The thread is running\n");
    stateMutex.unlock();
    return false;
  }
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  ApplyPriority(&attr, priority);
  // Requests and exits left over from the previous run belong to that run. They must go
  // before the new run can poll for a request; none of the new run can be pending yet,
  // since requests need stateMutex and a running thread.
  terminateEvent.WaitForComplete(0);
  exitEvent.WaitForComplete(0);
  // The new thread cannot reach exit() before we release stateMutex, so setting the state
  // after creation is safe.
  const bool created = pthread_create(&threadId, &attr, &KelThread::ThreadCallBackFun, this) == 0;
  pthread_attr_destroy(&attr);
  if (created) {
    isRunning = true;
    KEL_PRINT(ZEP_DBG_VERBOSE, "Create thread [0x%lx] with priority %d\n",
              static_cast<unsigned long>(threadId), priority);
  } else {
    KEL_PRINT(ZEP_DBG_ERROR, "Create thread failed\n");
    isRunning = false;
    threadId = kNoThread;
  }
  stateMutex.unlock();
  return created;
}

bool KelThread::thread_terminate(int ms) {
  stateMutex.lock();
  if (!isRunning || threadId == kNoThread) {
    KEL_PRINT(ZEP_DBG_VERBOSE, "The thread has been terminated yet\n");
    stateMutex.unlock();
    return true;
  }
  terminateEvent.Complete();
  stateMutex.unlock();
  return exitEvent.WaitForComplete(ms);
}

void KelThread::exit() {
  stateMutex.lock();
  threadId = kNoThread;
  isRunning = false;
  exitEvent.Complete();
  stateMutex.unlock();
  // The object may be destroyed from here on: touch nothing of it.
  pthread_exit(nullptr);
}

void* KelThread::ThreadCallBackFun(void* arg) {
  KelThread* self = static_cast<KelThread*>(arg);
  KEL_PRINT(ZEP_DBG_VERBOSE, "Enter thread 0x%lx\n", static_cast<unsigned long>(pthread_self()));
  // An exception must not end the process from a worker thread: report it and let the
  // thread end normally so that the object can be started again.
  try {
    self->run();
  } catch (abi::__forced_unwind&) {
    throw;  // pthread_exit() from inside run() unwinds through here and must go on
  } catch (const std::exception& e) {
    KEL_PRINT(ZEP_DBG_ASSERT, "Thread 0x%lx ended by an exception: %s\n",
              static_cast<unsigned long>(pthread_self()), e.what());
  } catch (...) {
    KEL_PRINT(ZEP_DBG_ASSERT, "Thread 0x%lx ended by an unknown exception\n",
              static_cast<unsigned long>(pthread_self()));
  }
  KEL_PRINT(ZEP_DBG_VERBOSE, "Exit thread\n");
  self->exit();
  return nullptr;
}
