// Pipe tables: splitting rows into cells, the delimiter row and the caption line.
#include "tables.hpp"

#include <algorithm>

#include "../byte_scan.hpp"
#include "../line.hpp"
#include "../unicode.hpp"

namespace quenlor {

std::vector<std::string> raw_table_cells(std::string_view line) {
    std::vector<std::string> cells;
    // A cell per pipe at most, and one more: no regrowing while splitting.
    cells.reserve(static_cast<std::size_t>(std::count(line.begin(), line.end(), '|')) + 1);
    for_each_raw_cell(line, [&](std::string_view cell) { cells.emplace_back(cell); });
    return cells;
}

std::optional<std::vector<std::string>> split_table_row(std::string_view line) {
    if (line.find('|') == std::string_view::npos) return std::nullopt;
    std::vector<std::string> cells = raw_table_cells(line);
    if (!cells.empty() && cells.front().empty()) cells.erase(cells.begin());
    if (!cells.empty() && cells.back().empty()) cells.pop_back();
    return cells;
}

DraftTableRow draft_inline_table_row(std::vector<std::string> cells, const std::vector<Align>& aligns) {
    DraftTableRow row;
    row.cells.reserve(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        DraftTableCell cell;
        cell.content.v = std::move(cells[i]);
        cell.align = i < aligns.size() ? aligns[i] : Align::None;
        row.cells.push_back(std::move(cell));
    }
    return row;
}

std::optional<std::vector<Align>> table_delimiter_row(std::string_view line) {
    auto cells = split_table_row(line);
    // A row of no cells at all ("|") would make a table without columns.
    if (!cells || cells->empty()) return std::nullopt;
    std::vector<Align> aligns;
    aligns.reserve(cells->size());
    for (const std::string& raw : *cells) {
        std::string_view c = trim_white_space(raw);
        if (c.empty()) return std::nullopt;
        bool left = c.front() == ':';
        bool right = c.back() == ':';
        std::size_t b = c.find_first_not_of(':');
        if (b == std::string_view::npos) return std::nullopt;
        std::size_t e = c.find_last_not_of(':');
        std::string_view dashes = c.substr(b, e - b + 1);
        if (dashes.find_first_not_of('-') != std::string_view::npos) return std::nullopt;
        aligns.push_back(left && right ? Align::Center : left ? Align::Left : right ? Align::Right : Align::None);
    }
    return aligns;
}

std::optional<std::string> table_caption_line(std::string_view line) {
    std::string_view s = trim_white_space_start(line);
    if (s.size() < 2 || s[0] != ':') return std::nullopt;
    std::size_t pos = 1;
    if (!is_white_space(decode_utf8(s, pos))) return std::nullopt;
    std::string_view caption = trim_white_space(s.substr(1));
    if (caption.empty()) return std::nullopt;
    return std::string(caption);
}

}  // namespace quenlor
