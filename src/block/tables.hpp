// Pipe tables and grid tables: the pure recognisers and the grid parser.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../byte_scan.hpp"
#include "../line.hpp"
#include "../unicode.hpp"
#include "draft.hpp"

namespace quenlor {

// ---- pipe tables ----

// Calls emit(text) for each cell of a row, in order, its text trimmed and with
// escaped pipes unescaped (the view lasts only for the call).
template <class Emit>
void for_each_raw_cell(std::string_view line, Emit emit) {
    const std::string_view s = trim_white_space(line);
    std::string cell;     // a cell's text when an escaped pipe was taken out of it
    std::size_t run = 0;  // start of the bytes not yet copied
    auto finish_cell = [&](std::size_t end) {
        if (cell.empty()) {
            emit(trim_white_space(s.substr(run, end - run)));
        } else {
            cell.append(s.substr(run, end - run));
            emit(trim_white_space(cell));
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
}

std::vector<std::string> raw_table_cells(std::string_view line);
std::optional<std::vector<std::string>> split_table_row(std::string_view line);
// A table's head row, its cells aligned as the delimiter row says; nothing
// when the line is no row or has another number of cells.
std::optional<DraftTableRow> table_head_row(std::string_view line, const std::vector<Align>& aligns);
std::optional<std::string> table_caption_line(std::string_view line);
// Delimiter row: the alignments, or nothing when the line is no delimiter row.
std::optional<std::vector<Align>> table_delimiter_row(std::string_view line);

// ---- grid tables ----
std::optional<std::string> normalize_grid_line(std::string_view line);
bool is_grid_border_line(std::string_view line);

struct DisplayChar {
    std::size_t col = 0;
    char32_t ch = 0;
    std::size_t byte = 0;  // byte offset of the character in the line
};
std::vector<DisplayChar> display_positions(std::string_view line);

class Dsu {
public:
    explicit Dsu(std::size_t n);
    std::size_t find(std::size_t x);
    // The representative of `parent_side` becomes the parent of that of `child_side`.
    void join(std::size_t parent_side, std::size_t child_side);
private:
    std::vector<std::size_t> parent_;
};

// Parses cell text as blocks inside the running parse (definitions and
// footnotes reach the whole document); given the text and the depth of that
// nested parse (the table's depth + 2).
using NestedBlockParse = std::function<DraftBlocks(const std::string& text, std::size_t depth)>;

std::optional<DraftBlock> parse_grid_table(const std::vector<std::string>& lines, const NestedBlockParse& nested,
                                           std::size_t depth);

}  // namespace quenlor
