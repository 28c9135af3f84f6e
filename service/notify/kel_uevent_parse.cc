#include "service/notify/kel_uevent_parse.h"

#include <cstring>
#include <string_view>

namespace {

// The zero-separated fields of the message; the last one may lack its terminator.
template <typename Fn>
void ForEachField(std::string_view msg, Fn fn) {
  while (!msg.empty()) {
    size_t end = msg.find('\0');
    fn(msg.substr(0, end));
    if (end == std::string_view::npos) break;
    msg.remove_prefix(end + 1);
  }
}

// The node named after "/block/" when it is a disk (sd*) or an optical drive (sr*): the
// first path component only, so a partition's event names its whole disk.
std::string_view BlockNode(std::string_view field) {
  for (const char* kind : {"/block/sd", "/block/sr"}) {
    size_t at = field.find(kind);
    if (at == std::string_view::npos) continue;
    std::string_view rest = field.substr(at + std::strlen("/block/"));
    return rest.substr(0, rest.find('/'));
  }
  return {};
}

// True when `pciFun` is one whole component of `path`, so that one function's name never
// matches inside another's.
bool PathRunsThrough(std::string_view path, std::string_view pciFun) {
  if (pciFun.empty()) return false;
  for (size_t at = path.find(pciFun); at != std::string_view::npos;
       at = path.find(pciFun, at + 1)) {
    size_t after = at + pciFun.size();
    bool startsComponent = at > 0 && path[at - 1] == '/';
    bool endsComponent = after == path.size() || path[after] == '/';
    if (startsComponent && endsComponent) return true;
  }
  return false;
}

}  // namespace

KelUEventVerdict KelParseUEvent(const char* msg, size_t len, const char* pciFun, KelUEvent* out) {
  *out = KelUEvent{};
  if (msg == nullptr || len == 0) return KelUEventVerdict::kEmpty;
  const std::string_view text(msg, len);
  const std::string_view header = text.substr(0, text.find('\0'));
  const size_t at = header.find("@/");
  if (at == std::string_view::npos) return KelUEventVerdict::kNoHeader;

  // Only the header's own action counts: "add" elsewhere (a serial number, a model name,
  // a path) says nothing about what happened.
  const std::string_view action = header.substr(0, at);
  if (action == "add") out->action = KelUEventAction::kAdd;
  else if (action == "remove") out->action = KelUEventAction::kRemove;
  else return KelUEventVerdict::kOtherAction;

  std::string_view node;
  ForEachField(text, [&node](std::string_view field) {
    if (node.empty()) node = BlockNode(field);
  });
  if (node.empty()) return KelUEventVerdict::kNoDisk;
  constexpr std::string_view kDev = "/dev/";
  if (kDev.size() + node.size() >= KEL_UEVENT_DEVICE_LEN) return KelUEventVerdict::kNameTooLong;

  if (!PathRunsThrough(header.substr(at + 1), pciFun == nullptr ? "" : pciFun))
    return KelUEventVerdict::kOtherDevice;

  std::memcpy(out->device, kDev.data(), kDev.size());
  std::memcpy(out->device + kDev.size(), node.data(), node.size());
  out->device[kDev.size() + node.size()] = '\0';
  return KelUEventVerdict::kOk;
}
