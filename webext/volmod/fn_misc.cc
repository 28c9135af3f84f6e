// The small functions: the self-test names kept for old pages, the version query that was
// never implemented, and the PC speaker.
#include <unistd.h>
#if defined(__i386__) || defined(__x86_64__)
#include <sys/io.h>
#endif

#include "zv_util.h"

namespace {

// Programmable interval timer channel 2 drives the speaker; port 0x61 gates it.
constexpr unsigned short kPitControl = 0x43;
constexpr unsigned short kPitChannel2 = 0x42;
constexpr unsigned short kSpeakerGate = 0x61;
constexpr unsigned char kChannel2SquareWave = 0xB6;  // channel 2, low then high byte, mode 3
constexpr unsigned int kBeepTicks = 80;              // in 10 ms steps

// Divisor of the timer's 1.19 MHz clock for each kind; unknown kinds sound like kind 2.
unsigned int BeepDivisor(zend_long kind) {
  switch (kind) {
    case 0: return 700;
    case 1: return 600;
    default: return 500;
  }
}

// Sounds the speaker with `divisor` for `ticks` × 10 ms. Needs the I/O privilege, which
// is asked for once per process; 2000 when it is refused or the machine has no such ports.
int Speaker(unsigned int divisor, unsigned int ticks) {
#if defined(__i386__) || defined(__x86_64__)
  static bool privileged = false;
  if (!privileged) {
    if (iopl(3) != 0) {
      KEL_PRINT(ZEP_DBG_ERROR, "No I/O privilege for the speaker\n");
      return KEL_CLIENT_INVALID_PARAM;
    }
    privileged = true;
  }
  outb(kChannel2SquareWave, kPitControl);
  outb(static_cast<unsigned char>(divisor & 0xFF), kPitChannel2);
  outb(static_cast<unsigned char>((divisor >> 8) & 0xFF), kPitChannel2);
  const unsigned char gate = inb(kSpeakerGate);
  outb(static_cast<unsigned char>(gate | 0x03), kSpeakerGate);
  usleep(ticks * 10000u);
  outb(static_cast<unsigned char>(gate & ~0x03), kSpeakerGate);
  return 0;
#else
  (void)divisor;
  (void)ticks;
  KEL_PRINT(ZEP_DBG_ERROR, "No PC speaker ports on this machine\n");
  return KEL_CLIENT_INVALID_PARAM;
#endif
}

}  // namespace

// Extra arguments are ignored by these three, as old pages may pass some.
ZEND_FUNCTION(php_test) {}

ZEND_FUNCTION(confirm_volmod_compiled) {
  php_printf("hello,this is my windows module!");
}

ZEND_FUNCTION(php_zr_get_version) {
  zend_error(E_WARNING, "php_zr_get_version: not yet implemented");
}

// Port I/O as root can disturb the machine, so the speaker stays off unless the
// administrator set volmod.speaker=1.
ZEND_FUNCTION(php_beep) {
  zend_long kind = 0;
  ZEND_PARSE_PARAMETERS_START_EX(ZEND_PARSE_PARAMS_QUIET, 1, 1)
  Z_PARAM_LONG(kind)
  ZEND_PARSE_PARAMETERS_END_EX(RETURN_LONG(kVolmodBadArgs));
  if (INI_INT("volmod.speaker") != 1) RETURN_LONG(kVolmodSpeakerDisabled);
  RETURN_LONG(Speaker(BeepDivisor(kind), kBeepTicks));
}
