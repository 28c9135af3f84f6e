// The module entry of volmod.so: the function table (generated from volmod.stub.php), the
// ini settings and the per-request hooks that keep the one client connection of the
// process from outliving a script run.
#include "webext/client/client_connect.h"
#include "webext/client/client_info.h"
#include "zv_util.h"

extern "C" {
#include "ext/standard/info.h"
}

// The only file that includes the generated table: its prototypes and the definitions in
// the fn_*.cc files then have the same (C++) linkage.
#include "volmod_arginfo.h"

namespace {

// volmod.speaker: whether php_beep may take the I/O privilege it needs for the PC
// speaker. volmod.diagnostics: whether the client library's diagnostic lines go to
// standard error (1) or nowhere (0); never to standard output, which is the page.
// Both are system settings: a script cannot switch them with ini_set.
PHP_INI_BEGIN()
PHP_INI_ENTRY("volmod.speaker", "0", PHP_INI_SYSTEM, nullptr)
PHP_INI_ENTRY("volmod.diagnostics", "1", PHP_INI_SYSTEM, nullptr)
PHP_INI_END()

PHP_MINIT_FUNCTION(volmod) {
  REGISTER_INI_ENTRIES();
  ZepPrintSetSink(INI_INT("volmod.diagnostics") == 1 ? ZEP_SINK_STDERR : ZEP_SINK_NONE);
  return SUCCESS;
}

PHP_MSHUTDOWN_FUNCTION(volmod) {
  UNREGISTER_INI_ENTRIES();
  return SUCCESS;
}

// A new request starts without connections. The fields are only forgotten here: closing
// is the previous request's end hook's job.
PHP_RINIT_FUNCTION(volmod) {
  g_ClientInfo.nCmdSock = -1;
  g_ClientInfo.nNoticeSock = -1;
  return SUCCESS;
}

// Also runs after a fatal error in the script, with whatever was left open.
PHP_RSHUTDOWN_FUNCTION(volmod) {
  zvu::Guarded([] { return CloseConnect(&g_ClientInfo); });
  return SUCCESS;
}

PHP_MINFO_FUNCTION(volmod) {
  php_info_print_table_start();
  php_info_print_table_header(2, "volmod support", "enabled");
  php_info_print_table_end();
  DISPLAY_INI_ENTRIES();
}

}  // namespace

extern "C" {
zend_module_entry volmod_module_entry = {
    STANDARD_MODULE_HEADER,
    "volmod",
    ext_functions,
    PHP_MINIT(volmod),
    PHP_MSHUTDOWN(volmod),
    PHP_RINIT(volmod),
    PHP_RSHUTDOWN(volmod),
    PHP_MINFO(volmod),
    "1.0",
    STANDARD_MODULE_PROPERTIES,
};
ZEND_GET_MODULE(volmod)
}
