// Plain-text tables for kelctl's listings: a header row and rows of cells, each column as
// wide as its widest cell, columns two blanks apart.
#ifndef KEL_TOOLS_KELCTL_KELCTL_TABLE_H
#define KEL_TOOLS_KELCTL_KELCTL_TABLE_H

#include <string>
#include <vector>

class TextTable {
 public:
  explicit TextTable(std::vector<std::string> header) { m_rows.push_back(std::move(header)); }
  void AddRow(std::vector<std::string> cells) { m_rows.push_back(std::move(cells)); }
  size_t RowCount() const { return m_rows.size() - 1; }
  // Every row ending with "\n"; the last cell of a row is not padded.
  std::string Text() const;

 private:
  std::vector<std::vector<std::string>> m_rows;  // m_rows[0] is the header
};

#endif
