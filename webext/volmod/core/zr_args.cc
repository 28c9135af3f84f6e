#include "webext/volmod/core/zr_args.h"

#include "sharedlib/diag.h"
#include "webext/client/client_codes.h"
#include "webext/volmod/core/volmod_codes.h"

int ZrInvalid(const char* function, const char* what) {
  KEL_PRINT(ZEP_DBG_ERROR, "%s: invalid parameters (%s)\n", function, what);
  return KEL_CLIENT_INVALID_PARAM;
}

int ZrTooMuch(const char* function, const char* what) {
  KEL_PRINT(ZEP_DBG_ERROR, "%s: the request cannot hold %s\n", function, what);
  return kVolmodBadArgs;
}
