// Finding services on the local network: one "ZEP" datagram to the broadcast port, and
// every service that echoes it is listed by address and name.
#ifndef KEL_WEBEXT_CLIENT_CLIENT_DISCOVERY_H
#define KEL_WEBEXT_CLIENT_CLIENT_DISCOVERY_H

#include <netinet/in.h>

#include <map>
#include <string>

// The largest reply a service's echo may carry that is looked at.
inline constexpr unsigned int kDiscoveryReplySize = 128;

// The environment variable that names where the discovery datagram goes (a dotted IPv4
// address). A host whose only interface is loopback cannot deliver the limited broadcast,
// so tests and such hosts point it at 127.0.0.1.
inline constexpr const char kDiscoveryAddrEnv[] = "KEL_BROADCAST_ADDR";

// The destination for the value of KEL_BROADCAST_ADDR (null or empty: 255.255.255.255).
// False for a value that is not a dotted IPv4 address.
bool DiscoveryDestination(const char* envValue, in_addr* out);

// The reply's text as it may be printed: up to its first zero byte, never more than
// kDiscoveryReplySize bytes, whatever `n` says; bytes outside printable ASCII become '?'.
std::string DiscoveryReplyText(const unsigned char* reply, size_t n);

// Services that answered, by dotted address (std::map keeps them in ascending text order),
// each with its reverse-looked-up name or "Unknown".
using KelDiscoveredServices = std::map<std::string, std::string>;

// Writes the list as ExecuteBroadCast returns it: for each address "ADDR\nNAME\n", the
// whole zero-terminated within listSize bytes. 0, or 2015 when an entry would not fit
// (the entries before it stay).
int FormatDiscoveryList(const KelDiscoveredServices& found, char* list, unsigned int listSize);

// Sends the discovery datagram to KEL_BROADCAST_ADDR's address on `port` and collects the
// answers until none arrives for waitSec seconds; the first answer of each address counts.
// 0 (also when nobody answered), or 2000 when no socket could be made or the destination
// is not an address.
int DiscoverServices(unsigned short port, unsigned int waitSec, KelDiscoveredServices* found);

// The same as one text list in `list` (listSize bytes), formatted as FormatDiscoveryList
// does. 2000 for a null list or no socket, 2015 when the list does not fit, else 0.
int ExecuteBroadCast(unsigned short port, char* list, unsigned int listSize,
                     unsigned int waitSec);

#endif
