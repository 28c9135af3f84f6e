#include "service/notify/kel_hp_listen.h"

#include <utility>

#include "sharedlib/diag.h"

KelHpListen::KelHpListen(std::function<void()> onEvent, std::string socketPath)
    : m_onEvent(std::move(onEvent)), m_socket(std::move(socketPath)) {}

KelHpListen::~KelHpListen() { StopListen(); }

void KelHpListen::run() {
  // One message per round, so a flood of events never keeps the thread from stopping.
  while (!GetTerminateEvent()) {
    if (m_socket.Accept() && m_onEvent) m_onEvent();
  }
  KEL_PRINT(ZEP_DBG_WARN, "KelHpListen get terminate sig\n");
}
