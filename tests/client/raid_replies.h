// Replies of the RAID queries as the service builds them, for the fake service of the
// client tests: the request moved five bytes up behind the sub-code and return code, with
// a record written into the moved request.
#ifndef KEL_TESTS_CLIENT_RAID_REPLIES_H
#define KEL_TESTS_CLIENT_RAID_REPLIES_H

#include <cstring>

#include "tests/client/fake_server.h"

namespace kel_test {

// The reply to `request` with return code 0 and `size` bytes of `record` placed where the
// request had its byte `at`.
inline Bytes MovedReply(const Bytes& request, size_t at, const void* record, size_t size) {
  Bytes out = Reply(request.at(0), 0, request);
  memcpy(out.data() + 5 + at, record, size);
  return out;
}

template <typename T>
Bytes MovedReply(const Bytes& request, size_t at, const T& record) {
  return MovedReply(request, at, &record, sizeof(record));
}

// A reply of the return code alone, as for a refusal or a stale magic number.
inline Bytes CodeReply(const Bytes& request, int code) { return Reply(request.at(0), code); }

template <typename T>
void Put(Bytes* bytes, size_t at, T value) {
  memcpy(bytes->data() + at, &value, sizeof(value));
}

}  // namespace kel_test

#endif
