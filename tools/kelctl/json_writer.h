// A minimal writer for one JSON object, enough for kelctl's machine-readable output:
// string, integer, boolean and array members and nested objects, strings escaped per
// RFC 8259.
#ifndef KEL_TOOLS_KELCTL_JSON_WRITER_H
#define KEL_TOOLS_KELCTL_JSON_WRITER_H

#include <string>
#include <vector>

// `text` as a JSON string literal, quotes included. Bytes are taken as they are (UTF-8
// passes through); quote, backslash and control characters are escaped.
std::string JsonQuote(const std::string& text);

// Members appear in the order they were added; keys are not checked for duplicates.
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
  std::string Text() const { return "{" + m_members + "}"; }

 private:
  void Key(const std::string& key);
  std::string m_members;
};

#endif
