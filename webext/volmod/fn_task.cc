// Background tasks: start, stop and query synchronisation, migration and replacement, and
// list them all. Arguments that cannot be parsed, a reference argument that is neither an
// array nor null, and result variables that are no references give 201.
#include "webext/volmod/core/zr_request.h"
#include "zv_util.h"

namespace {

// A nullable reference argument: null stays null (the request layer sends "none").
bool OptionalRef(zval* z, _Index_Plus_t* ref, const _Index_Plus_t** out) {
  if (z != nullptr) ZVAL_DEREF(z);
  if (z == nullptr || Z_TYPE_P(z) == IS_NULL) {
    *out = nullptr;
    return true;
  }
  if (!zvu::ZvalToIndexPlus(z, ref)) return false;
  *out = ref;
  return true;
}

struct TaskRefs {
  _Index_Plus_t array{}, source{}, target{};
  const _Index_Plus_t* pArray = nullptr;
  const _Index_Plus_t* pSource = nullptr;
  const _Index_Plus_t* pTarget = nullptr;

  bool Parse(zval* a, zval* s, zval* t) {
    return OptionalRef(a, &array, &pArray) && OptionalRef(s, &source, &pSource) &&
           OptionalRef(t, &target, &pTarget);
  }
};

}  // namespace

ZEND_FUNCTION(php_zr_sync_mig_replace) {
  zend_long code, extra, op;
  zval *array, *source, *target;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 6, 6)
  Z_PARAM_LONG(code)
  Z_PARAM_ZVAL_OR_NULL(array)
  Z_PARAM_ZVAL_OR_NULL(source)
  Z_PARAM_ZVAL_OR_NULL(target)
  Z_PARAM_LONG(extra)
  Z_PARAM_LONG(op)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  TaskRefs refs;
  if (!refs.Parse(array, source, target)) RETURN_LONG(kVolmodBadArgs);
  RETURN_LONG(zvu::Guarded([&] {
    return zr_sync_mig_replace(code, refs.pArray, refs.pSource, refs.pTarget, extra, op, nullptr);
  }));
}

// The task's result and state go into the last two variables when the query succeeded (a
// finished task counts).
ZEND_FUNCTION(php_zr_get_sync_mig_replace_status) {
  zend_long code;
  zval *array, *source, *target, *result, *state;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 6, 6)
  Z_PARAM_LONG(code)
  Z_PARAM_ZVAL_OR_NULL(array)
  Z_PARAM_ZVAL_OR_NULL(source)
  Z_PARAM_ZVAL_OR_NULL(target)
  Z_PARAM_ZVAL(result)
  Z_PARAM_ZVAL(state)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({result, state})) RETURN_LONG(kVolmodBadArgs);
  TaskRefs refs;
  if (!refs.Parse(array, source, target)) RETURN_LONG(kVolmodBadArgs);
  // A RAID 0+1 task is known by both its halves.
  const long extra = code == KEL_TASK_CODE_SYNC_RAID01 ? kTaskBothHalves : 0;
  KelTaskRecord rec{};
  const int rc = zvu::Guarded([&] {
    return zr_sync_mig_replace(code, refs.pArray, refs.pSource, refs.pTarget, extra,
                               KEL_TASK_OPERATION_QUERY, &rec);
  });
  if (KelTaskCallSucceeded(rc)) {
    zvu::SetLong(result, rec.result);
    zvu::SetLong(state, rec.state);
  }
  RETURN_LONG(rc);
}

ZEND_FUNCTION(php_zr_replace_pd_init_tarvoii) {
  HashTable *source, *target;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_ARRAY_HT(source)
  Z_PARAM_ARRAY_HT(target)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  const _Index_Plus_t s = zvu::ToIndexPlus(source), t = zvu::ToIndexPlus(target);
  RETURN_LONG(zvu::Guarded([&] {
    return zr_sync_mig_replace(KEL_TASK_CODE_REPLACE, nullptr, &s, &t, 0,
                               KEL_TASK_OPERATION_PREPARE, nullptr);
  }));
}

ZEND_FUNCTION(php_zr_replace_pd_remove_tarvoii) {
  HashTable *source, *target;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 2, 2)
  Z_PARAM_ARRAY_HT_OR_NULL(source)
  Z_PARAM_ARRAY_HT_OR_NULL(target)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  _Index_Plus_t s{}, t{};
  if (source != nullptr) s = zvu::ToIndexPlus(source);
  if (target != nullptr) t = zvu::ToIndexPlus(target);
  RETURN_LONG(zvu::Guarded([&] {
    return zr_sync_mig_replace(KEL_TASK_CODE_REPLACE, nullptr, source ? &s : nullptr,
                               target ? &t : nullptr, 0, KEL_TASK_OPERATION_WITHDRAW, nullptr);
  }));
}

// One associative array per task the service knows; an empty list when there is none.
ZEND_FUNCTION(php_kel_async_task_info) {
  zval* list;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 1, 1)
  Z_PARAM_ZVAL(list)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (!zvu::AllRefs({list})) RETURN_LONG(kVolmodBadArgs);
  std::vector<ZrFields> tasks;
  const int rc = zvu::Guarded([&] {
    std::vector<KelTaskRecord> found;
    const int r = zr_async_task_info(&found);
    for (const KelTaskRecord& t : found) {
      ZrFields f = TaskListFields(t);
      if (!f.empty()) tasks.push_back(std::move(f));
    }
    return r;
  });
  if (rc == 0) {
    zval arr;
    array_init_size(&arr, static_cast<uint32_t>(tasks.size()));
    for (const ZrFields& f : tasks) {
      zval rec;
      zvu::FieldsToArray(f, &rec);
      add_next_index_zval(&arr, &rec);
    }
    zvu::SetArray(list, &arr);
  }
  RETURN_LONG(rc);
}
