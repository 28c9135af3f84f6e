// One JSON object for kelctl's machine-readable output: string, integer, boolean and array
// members and nested objects, built on nlohmann::json. Scripts and log shippers parse this
// output, so a well-kept library does the escaping rather than code of our own.
#ifndef KEL_TOOLS_KELCTL_JSON_WRITER_H
#define KEL_TOOLS_KELCTL_JSON_WRITER_H

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// `text` as a JSON string literal, quotes included. Valid UTF-8 passes through; a byte that
// is not part of valid UTF-8 (disk identity strings come straight from the hardware)
// becomes U+FFFD. Quote, backslash, control characters and DEL are escaped.
std::string JsonQuote(const std::string& text);

// Members appear in the order they were added. A key added twice keeps its first place and
// takes the last value.
class JsonWriter {
 public:
  JsonWriter& AddString(const std::string& key, const std::string& value);
  JsonWriter& AddInt(const std::string& key, long long value);
  // Unsigned 64-bit values (sector counts) beyond the range of long long.
  JsonWriter& AddUint(const std::string& key, unsigned long long value);
  JsonWriter& AddBool(const std::string& key, bool value);
  JsonWriter& AddStrings(const std::string& key, const std::vector<std::string>& values);
  JsonWriter& AddInts(const std::string& key, const std::vector<long long>& values);
  JsonWriter& AddObject(const std::string& key, const JsonWriter& value);
  JsonWriter& AddObjects(const std::string& key, const std::vector<JsonWriter>& values);
  // The object, e.g. {"command":"beep","ok":true}, without a trailing newline.
  std::string Text() const;

 private:
  nlohmann::ordered_json m_object = nlohmann::ordered_json::object();
};

#endif
