// JSON string escaping and the flat object builder.
#include "tools/kelctl/json_writer.h"

#include <cstdio>

std::string JsonQuote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char esc[8];
          snprintf(esc, sizeof(esc), "\\u%04x", c);
          out += esc;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void JsonWriter::Key(const std::string& key) {
  if (!m_members.empty()) m_members += ",";
  m_members += JsonQuote(key) + ":";
}

JsonWriter& JsonWriter::AddString(const std::string& key, const std::string& value) {
  Key(key);
  m_members += JsonQuote(value);
  return *this;
}

JsonWriter& JsonWriter::AddInt(const std::string& key, long long value) {
  Key(key);
  m_members += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::AddUint(const std::string& key, unsigned long long value) {
  Key(key);
  m_members += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::AddBool(const std::string& key, bool value) {
  Key(key);
  m_members += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::AddStrings(const std::string& key, const std::vector<std::string>& values) {
  Key(key);
  m_members += "[";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) m_members += ",";
    m_members += JsonQuote(values[i]);
  }
  m_members += "]";
  return *this;
}

JsonWriter& JsonWriter::AddInts(const std::string& key, const std::vector<long long>& values) {
  Key(key);
  m_members += "[";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) m_members += ",";
    m_members += std::to_string(values[i]);
  }
  m_members += "]";
  return *this;
}

JsonWriter& JsonWriter::AddObject(const std::string& key, const JsonWriter& value) {
  Key(key);
  m_members += value.Text();
  return *this;
}

JsonWriter& JsonWriter::AddObjects(const std::string& key, const std::vector<JsonWriter>& values) {
  Key(key);
  m_members += "[";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) m_members += ",";
    m_members += values[i].Text();
  }
  m_members += "]";
  return *this;
}
