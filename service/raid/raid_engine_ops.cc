#include "service/raid/raid_engine_ops.h"

KelRaidEngineOps& KelRaidEngine() {
  static KelRaidEngineOps ops;
  return ops;
}
