// Pipe tables: splitting rows into cells, the delimiter row and the caption line.
#include "tables.hpp"

#include "../byte_scan.hpp"
#include "../unicode.hpp"

namespace quenlor {

std::vector<std::string> raw_table_cells(std::string_view line) {
    std::string_view s = trim_unicode(line);
    std::vector<std::string> cells;
    std::string cell;     // a cell's text when an escaped pipe was taken out of it
    std::size_t run = 0;  // start of the bytes not yet copied
    auto finish_cell = [&](std::size_t end) {
        if (cell.empty()) {
            cells.emplace_back(trim_unicode(s.substr(run, end - run)));
        } else {
            cell.append(s.substr(run, end - run));
            cells.emplace_back(trim_unicode(cell));
            cell.clear();
        }
        run = end + 1;
    };
    auto next_stop = [&](std::size_t from) {
        return static_cast<std::size_t>(find_first_of_bytes<'\\', '|'>(s.data() + from, s.data() + s.size()) - s.data());
    };
    for (std::size_t i = next_stop(0); i < s.size(); i = next_stop(i)) {
        if (s[i] == '|') {
            finish_cell(i);
            ++i;
        } else if (i + 1 < s.size()) {
            // An escaped pipe is cell text; any other escape is left for the
            // inline parser, and consuming both bytes keeps "\\|" a separator.
            if (s[i + 1] == '|') {
                cell.append(s.substr(run, i - run));
                run = i + 1;  // the pipe itself starts the next run
            }
            i += 2;
        } else {
            ++i;
        }
    }
    finish_cell(s.size());
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
        std::string_view c = trim_unicode(raw);
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
    std::string_view s = trim_unicode_start(line);
    if (s.size() < 2 || s[0] != ':') return std::nullopt;
    std::size_t pos = 1;
    if (!is_white_space(decode_utf8(s, pos))) return std::nullopt;
    std::string_view caption = trim_unicode(s.substr(1));
    if (caption.empty()) return std::nullopt;
    return std::string(caption);
}

}  // namespace quenlor
