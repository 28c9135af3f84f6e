// Helpers of the PHP binding: result-variable checks, writing into references, records as
// associative arrays, device references read from script arrays, and the guard that keeps
// C++ exceptions inside the module. Every script function follows one pattern: quiet
// parse -> reference check -> guarded core call (no zend calls inside) -> zvals -> code.
#ifndef KEL_WEBEXT_VOLMOD_ZV_UTIL_H
#define KEL_WEBEXT_VOLMOD_ZV_UTIL_H

// Standard and system headers first: the interpreter's headers define macros that break
// them.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string>
#include <vector>

#include "sharedlib/diag.h"
#include "sharedlib/raid_records.h"
#include "webext/client/client_codes.h"
#include "webext/volmod/core/record_fields.h"
#include "webext/volmod/core/volmod_codes.h"

extern "C" {
#include "php.h"
}

#ifdef ZTS
#error "volmod keeps its client in plain globals and needs a non-thread-safe PHP"
#endif

namespace zvu {

// True when every result variable arrived as a reference. Otherwise raises the one
// warning scripts know and returns false; the caller answers 201 or 900.
inline bool AllRefs(std::initializer_list<zval*> outs) {
  for (zval* z : outs) {
    if (z == nullptr || !Z_ISREF_P(z)) {
      zend_error(E_WARNING, "parameter wasn't passed by reference");
      return false;
    }
  }
  return true;
}

// Runs a core call; an exception never reaches the interpreter (it would abort the whole
// process), it becomes a code. The call must not touch any zend API.
template <class F>
int Guarded(F&& f) noexcept {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    KEL_PRINT(ZEP_DBG_ERROR, "Out of memory in a volmod call\n");
    return KEL_CLIENT_NO_MEMORY;
  } catch (...) {
    KEL_PRINT(ZEP_DBG_ERROR, "Unexpected failure in a volmod call\n");
    return KEL_CLIENT_INVALID_PARAM;
  }
}

// Writing into a reference, through the engine's typed-reference aware assignments (a
// refused assignment leaves an exception pending, which the script then sees).
inline void SetLong(zval* ref, zend_long v) { ZEND_TRY_ASSIGN_REF_LONG(ref, v); }
inline void SetDouble(zval* ref, double v) { ZEND_TRY_ASSIGN_REF_DOUBLE(ref, v); }
inline void SetText(zval* ref, const char* p, size_t n) { ZEND_TRY_ASSIGN_REF_STRINGL(ref, p, n); }
inline void SetText(zval* ref, const std::string& s) { SetText(ref, s.data(), s.size()); }
// Hands the array `arr` (initialised by the caller) over to the reference.
inline void SetArray(zval* ref, zval* arr) { ZEND_TRY_ASSIGN_REF_ARR(ref, Z_ARR_P(arr)); }

// A record's field list as an associative array in `out`, keys in list order.
inline void FieldsToArray(const ZrFields& fields, zval* out) {
  array_init_size(out, static_cast<uint32_t>(fields.size()));
  for (const ZrField& f : fields) {
    switch (f.kind) {
      case ZrField::kInt: add_assoc_long(out, f.key, static_cast<zend_long>(f.i)); break;
      case ZrField::kDouble: add_assoc_double(out, f.key, f.d); break;
      case ZrField::kBool: add_assoc_bool(out, f.key, f.b); break;
      case ZrField::kText: add_assoc_stringl(out, f.key, f.text.data(), f.text.size()); break;
    }
  }
}

// Writes the record into `ref` as an associative array.
inline void SetFields(zval* ref, const ZrFields& fields) {
  zval arr;
  FieldsToArray(fields, &arr);
  SetArray(ref, &arr);
}

// An indexed list of integers into `ref`.
template <class T>
void SetIntList(zval* ref, const std::vector<T>& values) {
  zval arr;
  array_init_size(&arr, static_cast<uint32_t>(values.size()));
  for (const T& v : values) add_next_index_long(&arr, static_cast<zend_long>(v));
  SetArray(ref, &arr);
}

// A device or array reference from a script's array: "nIndex", "wdMagicNum", "reserved";
// a missing key sends zero, other keys are ignored.
inline _Index_Plus_t ToIndexPlus(HashTable* ht) {
  _Index_Plus_t r{};
  if (zval* v = zend_hash_str_find_deref(ht, ZEND_STRL("nIndex")))
    r.nIndex = static_cast<int32_t>(zval_get_long(v));
  if (zval* v = zend_hash_str_find_deref(ht, ZEND_STRL("wdMagicNum")))
    r.wdMagicNum = static_cast<uint16_t>(zval_get_long(v));
  if (zval* v = zend_hash_str_find_deref(ht, ZEND_STRL("reserved")))
    r.reserved = static_cast<uint16_t>(zval_get_long(v));
  return r;
}

// The same for an argument parsed as any value (it may arrive as a reference): false when
// it is no array.
inline bool ZvalToIndexPlus(zval* z, _Index_Plus_t* out) {
  if (z == nullptr) return false;
  ZVAL_DEREF(z);
  if (Z_TYPE_P(z) != IS_ARRAY) return false;
  *out = ToIndexPlus(Z_ARRVAL_P(z));
  return true;
}

// A list of references that must hold exactly `count` elements, each an array; false
// (nothing to send) otherwise. How many the request takes is the request layer's check.
inline bool ToIndexPlusList(HashTable* ht, zend_long count, std::vector<_Index_Plus_t>* out) {
  if (count < 0 || zend_hash_num_elements(ht) != static_cast<uint32_t>(count)) return false;
  out->clear();
  out->reserve(static_cast<size_t>(count));
  zval* it;
  ZEND_HASH_FOREACH_VAL(ht, it) {
    ZVAL_DEREF(it);
    if (Z_TYPE_P(it) != IS_ARRAY) return false;
    out->push_back(ToIndexPlus(Z_ARRVAL_P(it)));
  }
  ZEND_HASH_FOREACH_END();
  return true;
}

// A zero-terminated copy of a script's text: the request layer takes C strings. Texts with
// a zero byte inside are cut there, as the wire format would.
inline std::string CText(const char* p, size_t n) { return std::string(p, strnlen(p, n)); }

}  // namespace zvu

#endif
