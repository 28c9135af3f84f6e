// KelReplacePD: where the one disk replacement that may run at a time stands between two of
// its steps. The manager owns it and changes it only under its write lock.
//
// Recording progress saves the configuration, which rebuilds the model and destroys every
// disk object; the copy's state is therefore kept here, by disk index, and the disks are
// looked up afresh at every step. What survives a restart is on the disks themselves: the
// roles and the position recorded in both configuration areas.
#ifndef KEL_ENGINE_REPLACE_PD_H
#define KEL_ENGINE_REPLACE_PD_H

#include "engine/replace_plan.h"

class KelDeviceManage;

class KelReplacePD {
 public:
  explicit KelReplacePD(KelDeviceManage* dm) : m_pDM(dm) {}

  KelDeviceManage* m_pDM;
  // A copy has been set up from the disks and is under way.
  bool m_bRunning = false;
  // The next step starts from the disks again (after a failure, a stop or the end).
  bool m_bFirstStep = true;
  int m_nSrc = -1;
  int m_nTgt = -1;
  KelRplProgress m_progress;

  bool Runs(int src, int tgt) const { return m_bRunning && m_nSrc == src && m_nTgt == tgt; }
  // Back to "set up, not started": the next step resumes from the position on the disks.
  void Reset() {
    m_bRunning = false;
    m_bFirstStep = true;
  }
};

#endif
