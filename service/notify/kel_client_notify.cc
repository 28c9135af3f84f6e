// Placeholder senders until the notification connection lands: nothing is sent.
#include "service/notify/kel_client_notify.h"

bool KelClientNotify::SendNotice(const _KelHostEventData&, int*) { return false; }
bool KelClientNotify::BroadcastNotice(const _KelHostEventData&) { return false; }
bool KelClientAck::AckClient(int) { return false; }
