// Pipe tables: splitting rows into cells, the delimiter row and the caption line.
#include "tables.hpp"

#include <algorithm>
#include <utility>

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

std::optional<DraftTableRow> table_head_row(std::string_view line, const std::vector<Align>& aligns) {
    if (line.find('|') == std::string_view::npos) return std::nullopt;
    // Cells go straight into the row; like split_table_row, an empty first
    // and an empty last cell are none.
    DraftTableRow row;
    row.cells.reserve(aligns.size() + 1);
    bool first = true;
    for_each_raw_cell(line, [&](std::string_view c) {
        if (std::exchange(first, false) && c.empty()) return;
        row.cells.emplace_back().content.v.emplace<std::string>(c);
    });
    if (!row.cells.empty() && std::get<std::string>(row.cells.back().content.v).empty()) row.cells.pop_back();
    if (row.cells.size() != aligns.size()) return std::nullopt;
    for (std::size_t i = 0; i < aligns.size(); ++i) row.cells[i].align = aligns[i];
    return row;
}

namespace {

// A delimiter cell's alignment, or nothing when the (trimmed, non-empty) cell
// is not colons around a run of dashes.
std::optional<Align> delimiter_cell_align(std::string_view c) {
    bool left = c.front() == ':';
    bool right = c.back() == ':';
    std::size_t b = c.find_first_not_of(':');
    if (b == std::string_view::npos) return std::nullopt;
    std::size_t e = c.find_last_not_of(':');
    std::string_view dashes = c.substr(b, e - b + 1);
    if (dashes.find_first_not_of('-') != std::string_view::npos) return std::nullopt;
    return left && right ? Align::Center : left ? Align::Left : right ? Align::Right : Align::None;
}

}  // namespace

std::optional<std::vector<Align>> table_delimiter_row(std::string_view line) {
    if (line.find('|') == std::string_view::npos) return std::nullopt;
    // Alignments are taken from the cells as they are split, no cell text
    // being kept. An empty cell is allowed only first or last, being no cell.
    std::vector<Align> aligns;
    aligns.reserve(static_cast<std::size_t>(std::count(line.begin(), line.end(), '|')) + 1);
    bool ok = true;
    bool first = true;
    bool empty_seen = false;  // an empty cell after the first, so far the last
    for_each_raw_cell(line, [&](std::string_view c) {
        if (!ok) return;
        if (std::exchange(first, false) && c.empty()) return;
        if (empty_seen) {
            ok = false;
            return;
        }
        if (c.empty()) {
            empty_seen = true;
            return;
        }
        if (auto a = delimiter_cell_align(c)) aligns.push_back(*a);
        else ok = false;
    });
    // A row of no cells at all ("|") would make a table without columns.
    if (!ok || aligns.empty()) return std::nullopt;
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
