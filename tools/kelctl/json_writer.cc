// kelctl's JSON text: compact, members in insertion order, bad UTF-8 replaced.
#include "tools/kelctl/json_writer.h"

namespace {

// The library leaves DEL as it is; it is escaped as well so that a terminal showing the
// output cannot be driven by it. DEL never occurs inside a multi-byte UTF-8 sequence, so
// every raw DEL in the text sits in a string.
std::string EscapeDel(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\x7f')
      out += "\\u007f";
    else
      out += c;
  }
  return out;
}

std::string Dump(const nlohmann::ordered_json& value) {
  return EscapeDel(value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

}  // namespace

std::string JsonQuote(const std::string& text) { return Dump(nlohmann::ordered_json(text)); }

std::string JsonWriter::Text() const { return Dump(m_object); }

JsonWriter& JsonWriter::AddString(const std::string& key, const std::string& value) {
  m_object[key] = value;
  return *this;
}

JsonWriter& JsonWriter::AddInt(const std::string& key, long long value) {
  m_object[key] = value;
  return *this;
}

JsonWriter& JsonWriter::AddUint(const std::string& key, unsigned long long value) {
  m_object[key] = value;
  return *this;
}

JsonWriter& JsonWriter::AddBool(const std::string& key, bool value) {
  m_object[key] = value;
  return *this;
}

JsonWriter& JsonWriter::AddStrings(const std::string& key, const std::vector<std::string>& values) {
  m_object[key] = values;
  return *this;
}

JsonWriter& JsonWriter::AddInts(const std::string& key, const std::vector<long long>& values) {
  m_object[key] = values;
  return *this;
}

JsonWriter& JsonWriter::AddObject(const std::string& key, const JsonWriter& value) {
  m_object[key] = value.m_object;
  return *this;
}

JsonWriter& JsonWriter::AddObjects(const std::string& key, const std::vector<JsonWriter>& values) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const JsonWriter& v : values) list.push_back(v.m_object);
  m_object[key] = std::move(list);
  return *this;
}
