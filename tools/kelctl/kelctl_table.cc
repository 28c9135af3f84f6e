// Column layout of TextTable.
#include "tools/kelctl/kelctl_table.h"

#include <algorithm>

std::string TextTable::Text() const {
  std::vector<size_t> widths;
  for (const std::vector<std::string>& row : m_rows) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  std::string out;
  for (const std::vector<std::string>& row : m_rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    out += line + "\n";
  }
  return out;
}
