// Grid tables: border lines, display columns and the grid parser.
//
// The grid is a matrix of positions (row band, column band). Rather than one
// disjoint-set node per position, each row band is cut into runs: maximal
// stretches of column bands not separated by a "|" on any of its lines. The
// positions of a run are always joined, so the union works on runs, and the
// work stays linear in the text even when one long line creates many column
// bands that the other lines never reach.
#include "tables.hpp"

#include <algorithm>
#include <cstdint>

#include "../line.hpp"
#include "../unicode.hpp"
#include "predicates.hpp"

namespace quenlor {

namespace {

constexpr std::size_t npos = static_cast<std::size_t>(-1);

std::size_t advance_column(char32_t c, std::size_t col) {
    if (c == '\t') return (col / 4 + 1) * 4;
    if (c < 32 || (c >= 127 && c <= 159)) return col;
    if (c < 128) return col + 1;
    return col + east_asian_column_width(c);
}

// The display columns of one line. A line of printable ASCII needs no table:
// its columns, character indices and byte offsets coincide.
struct GridLine {
    std::string_view text;
    std::vector<std::size_t> cols;
    std::vector<std::size_t> bytes;
    bool simple = true;

    std::size_t count() const { return simple ? text.size() : cols.size(); }
    std::size_t col(std::size_t i) const { return simple ? i : cols[i]; }
    std::size_t byte(std::size_t i) const { return simple ? i : bytes[i]; }
    std::size_t byte_or_end(std::size_t i) const { return i < count() ? byte(i) : text.size(); }
    // The lead byte: multi-byte characters never compare equal to an ASCII one.
    char at(std::size_t i) const { return text[byte(i)]; }
};

GridLine make_grid_line(std::string_view text) {
    GridLine g;
    g.text = text;
    for (unsigned char b : text) {
        if (b < 0x20 || b >= 0x7F) {
            g.simple = false;
            break;
        }
    }
    if (g.simple) return g;
    g.cols.reserve(text.size());
    g.bytes.reserve(text.size());
    std::size_t col = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t start = pos;
        char32_t c = decode_utf8(text, pos);
        g.cols.push_back(col);
        g.bytes.push_back(start);
        col = advance_column(c, col);
    }
    return g;
}

bool is_rule_edge(char c) { return c == '+' || c == '-' || c == ':' || c == '='; }

enum class Seg : std::uint8_t { None, Dash, Equals };

// What the parser keeps of a rule line.
struct RuleInfo {
    std::size_t line = 0;
    std::vector<std::size_t> rule_prefix;     // rule_prefix[j]: rule segments among bands < j
    std::size_t equals = 0;                  // number of "=" segments

    bool all_rule(std::size_t a, std::size_t b) const {
        if (b + 1 >= rule_prefix.size()) return false;
        return rule_prefix[b + 1] - rule_prefix[a] == b - a + 1;
    }
};

struct Run {
    std::size_t lo = 0, hi = 0;  // column bands, inclusive
};

// A group of runs: its bounding box and the number of positions it holds.
struct Cell {
    std::size_t r1 = 0, r2 = 0, c1 = 0, c2 = 0;
    std::size_t area = 0;
};

// Text of one cell on one content line; a cell's pieces are chained by index.
struct Piece {
    std::size_t ordinal = 0;  // content line number within the cell
    std::string_view text;
    std::size_t next = npos;
};

// A cell's text: inline when it is one run of plain lines, else parsed blocks.
DraftTableCellContent cell_content(const std::vector<Piece>& all, std::size_t first, std::vector<std::string_view>& texts,
                                   std::vector<std::size_t>& ordinals, const NestedBlockParse& nested,
                                   std::size_t depth) {
    DraftTableCellContent content;
    texts.clear();
    ordinals.clear();
    for (std::size_t p = first; p != npos; p = all[p].next) {
        texts.push_back(all[p].text);
        ordinals.push_back(all[p].ordinal);
    }
    if (texts.empty()) {
        content.v = std::string();
        return content;
    }
    bool all_spaced = true;
    for (std::string_view t : texts) all_spaced = all_spaced && t.front() == ' ';
    if (all_spaced)
        for (std::string_view& t : texts) t.remove_prefix(1);

    bool is_inline = true;
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::string_view t = texts[i];
        bytes += t.size() + 1 + (i > 0 ? ordinals[i] - ordinals[i - 1] : 0);
        if (!is_inline) continue;
        if ((i > 0 && ordinals[i] != ordinals[i - 1] + 1) || leading_indent_columns(t) > 3 || starts_block(t) ||
            list_marker(t) || has_def_marker(t))
            is_inline = false;
    }
    std::string text;
    text.reserve(bytes);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) text.append(is_inline ? 1 : ordinals[i] - ordinals[i - 1], '\n');
        text += is_inline ? trim_white_space(texts[i]) : texts[i];
    }
    if (is_inline)
        content.v = std::move(text);
    else
        content.v = nested(text, depth + 2);
    return content;
}

Align band_alignment(const GridLine& g, std::size_t& t, std::size_t left, std::size_t right) {
    while (t < g.count() && g.col(t) <= left) ++t;
    std::size_t s = t;
    while (t < g.count() && g.col(t) < right) ++t;
    if (s == t) return Align::None;
    bool first = g.at(s) == ':';
    bool last = g.at(t - 1) == ':';
    return first && last ? Align::Center : first ? Align::Left : last ? Align::Right : Align::None;
}

}  // namespace

std::optional<std::string> normalize_grid_line(std::string_view line) {
    if (is_blank(line)) return std::string();
    if (leading_indent_columns(line) > 3) return std::nullopt;
    return std::string(trim_unicode_end(line.substr(leading_indent_bytes(line))));
}

bool is_grid_border_line(std::string_view line) {
    std::string_view s = trim_unicode_end(line);
    if (s.size() < 2 || s.front() != '+' || s.back() != '+') return false;
    bool any = false;
    std::size_t start = 1;
    while (start < s.size()) {
        std::size_t end = s.find('+', start);
        std::string_view piece = s.substr(start, end - start);
        start = end + 1;
        if (piece.empty()) continue;
        piece = trim_white_space(piece);
        std::size_t b = piece.find_first_not_of(':');
        if (b == std::string_view::npos) return false;
        piece = piece.substr(b, piece.find_last_not_of(':') - b + 1);
        if (piece.find_first_not_of("-=") != std::string_view::npos) return false;
        any = true;
    }
    return any;
}

std::vector<DisplayChar> display_positions(std::string_view line) {
    std::vector<DisplayChar> out;
    out.reserve(line.size());
    std::size_t col = 0;
    for (std::size_t pos = 0; pos < line.size();) {
        std::size_t start = pos;
        char32_t c = decode_utf8(line, pos);
        out.push_back(DisplayChar{col, c, start});
        col = advance_column(c, col);
    }
    return out;
}

Dsu::Dsu(std::size_t n) : parent_(n) {
    for (std::size_t i = 0; i < n; ++i) parent_[i] = i;
}

std::size_t Dsu::find(std::size_t x) {
    std::size_t root = x;
    while (parent_[root] != root) root = parent_[root];
    while (parent_[x] != root) {
        std::size_t next = parent_[x];
        parent_[x] = root;
        x = next;
    }
    return root;
}

void Dsu::join(std::size_t parent_side, std::size_t child_side) {
    std::size_t a = find(parent_side), b = find(child_side);
    if (a != b) parent_[b] = a;
}

std::optional<DraftBlock> parse_grid_table(const std::vector<std::string>& lines, const NestedBlockParse& nested,
                                           std::size_t depth) {
    const std::size_t n = lines.size();
    if (n < 3) return std::nullopt;

    std::vector<GridLine> grid;
    grid.reserve(n);
    std::size_t max_col = 0;
    bool any_edge = false;
    for (const std::string& l : lines) {
        grid.push_back(make_grid_line(l));
        const GridLine& g = grid.back();
        for (std::size_t i = 0; i < g.count(); ++i) {
            char c = g.at(i);
            if (c == '+' || c == '|') {
                max_col = std::max(max_col, g.col(i));
                any_edge = true;
            }
        }
    }
    if (!any_edge) return std::nullopt;

    // Boundary columns, and for each display column the boundary it holds.
    std::vector<std::size_t> boundary_at(max_col + 1, npos);
    for (const GridLine& g : grid)
        for (std::size_t i = 0; i < g.count(); ++i)
            if (g.at(i) == '+' || g.at(i) == '|') boundary_at[g.col(i)] = 0;
    std::vector<std::size_t> bounds;
    for (std::size_t c = 0; c <= max_col; ++c)
        if (boundary_at[c] != npos) {
            boundary_at[c] = bounds.size();
            bounds.push_back(c);
        }
    if (bounds.size() < 2) return std::nullopt;
    const std::size_t ncols = bounds.size() - 1;

    // Per line: the rule segments, and the inner boundaries holding a "|".
    std::vector<RuleInfo> rules;
    std::vector<std::vector<std::size_t>> pipes(n);
    std::vector<std::size_t> at;  // boundary index -> last character at that column
    for (std::size_t li = 0; li < n; ++li) {
        const GridLine& g = grid[li];
        at.clear();
        for (std::size_t i = 0; i < g.count(); ++i) {
            std::size_t c = g.col(i);
            if (c > max_col || boundary_at[c] == npos) continue;
            std::size_t b = boundary_at[c];
            if (b >= at.size()) at.resize(b + 1, npos);
            at[b] = i;
            if (g.at(i) == '|' && b > 0 && b < ncols && (pipes[li].empty() || pipes[li].back() != b))
                pipes[li].push_back(b);
        }
        RuleInfo info;
        info.line = li;
        std::size_t rule_count = 0;
        if (at.size() >= 2) {
            info.rule_prefix.assign(at.size(), 0);
            for (std::size_t j = 0; j + 1 < at.size(); ++j) {
                Seg kind = Seg::None;
                std::size_t p = at[j], q = at[j + 1];
                if (p != npos && q != npos && bounds[j + 1] - bounds[j] >= 2 && is_rule_edge(g.at(p)) &&
                    is_rule_edge(g.at(q))) {
                    for (std::size_t t = p + 1; t < g.count() && g.col(t) < bounds[j + 1]; ++t) {
                        char c = g.at(t);
                        if (c == ':') continue;
                        if (c == '-') {
                            if (kind == Seg::None) kind = Seg::Dash;
                        } else if (c == '=') {
                            kind = Seg::Equals;
                        } else {
                            kind = Seg::None;
                            break;
                        }
                    }
                }
                if (kind != Seg::None) ++rule_count;
                if (kind == Seg::Equals) ++info.equals;
                info.rule_prefix[j + 1] = rule_count;
            }
        }
        if (rule_count > 0) {
            rules.push_back(std::move(info));
        }
    }
    if (rules.size() < 2 || rules.front().line != 0) return std::nullopt;
    const std::size_t nrows = rules.size() - 1;

    // Runs of each row band: its column bands cut at every "|" of its lines.
    std::vector<Run> runs;
    std::vector<std::size_t> band_start(nrows + 1);
    std::vector<std::size_t> seps;
    for (std::size_t k = 0; k < nrows; ++k) {
        band_start[k] = runs.size();
        seps.clear();
        for (std::size_t li = rules[k].line + 1; li < rules[k + 1].line; ++li)
            seps.insert(seps.end(), pipes[li].begin(), pipes[li].end());
        std::sort(seps.begin(), seps.end());
        seps.erase(std::unique(seps.begin(), seps.end()), seps.end());
        std::size_t lo = 0;
        for (std::size_t s : seps) {
            runs.push_back(Run{lo, s - 1});
            lo = s;
        }
        runs.push_back(Run{lo, ncols - 1});
    }
    band_start[nrows] = runs.size();

    // Runs above and below an inner rule line join where it is no rule.
    Dsu dsu(runs.size());
    for (std::size_t k = 1; k < nrows; ++k) {
        const RuleInfo& rule = rules[k];
        std::size_t x = band_start[k - 1], y = band_start[k];
        while (x < band_start[k] && y < band_start[k + 1]) {
            std::size_t a = std::max(runs[x].lo, runs[y].lo), b = std::min(runs[x].hi, runs[y].hi);
            if (!rule.all_rule(a, b)) dsu.join(x, y);
            if (runs[x].hi < runs[y].hi)
                ++x;
            else if (runs[y].hi < runs[x].hi)
                ++y;
            else
                ++x, ++y;
        }
    }

    // Groups become cells in the order their first runs appear, which is
    // (row, column) order of their top-left corners; a group is a cell only
    // when it fills its bounding box.
    std::vector<std::size_t> run_cell(runs.size()), cell_of_rep(runs.size(), npos);
    std::vector<Cell> cells;
    for (std::size_t k = 0; k < nrows; ++k)
        for (std::size_t r = band_start[k]; r < band_start[k + 1]; ++r) {
            std::size_t& ci = cell_of_rep[dsu.find(r)];
            if (ci == npos) {
                ci = cells.size();
                cells.push_back(Cell{k, k, runs[r].lo, runs[r].hi, 0});
            }
            run_cell[r] = ci;
            Cell& c = cells[ci];
            c.r2 = k;
            c.c1 = std::min(c.c1, runs[r].lo);
            c.c2 = std::max(c.c2, runs[r].hi);
            c.area += runs[r].hi - runs[r].lo + 1;
        }
    for (const Cell& c : cells)
        if ((c.r2 - c.r1 + 1) * (c.c2 - c.c1 + 1) != c.area) return std::nullopt;

    // Cut every content line into the cells that cover it.
    std::vector<Piece> pieces;
    pieces.reserve(cells.size());
    std::vector<std::size_t> first_piece(cells.size(), npos), last_piece(cells.size(), npos);
    auto take_line = [&](std::size_t li, std::size_t k, bool inner_rule) {
        const GridLine& g = grid[li];
        std::size_t t = 0, prev = npos;
        for (std::size_t r = band_start[k]; r < band_start[k + 1]; ++r) {
            std::size_t ci = run_cell[r];
            if (ci == prev) continue;
            prev = ci;
            const Cell& c = cells[ci];
            // On an inner rule line only the cells reaching across it take text.
            if (inner_rule && c.r1 == k) continue;
            std::size_t left = bounds[c.c1], right = bounds[c.c2 + 1];
            while (t < g.count() && g.col(t) <= left) ++t;
            if (t == g.count()) break;
            std::size_t s = t;
            while (t < g.count() && g.col(t) < right) ++t;
            std::string_view text = trim_unicode_end(g.text.substr(g.byte(s), g.byte_or_end(t) - g.byte(s)));
            if (text.empty()) continue;
            pieces.push_back(Piece{li - rules[c.r1].line - 1, text});
            std::size_t& last = last_piece[ci];
            (last == npos ? first_piece[ci] : pieces[last].next) = pieces.size() - 1;
            last = pieces.size() - 1;
        }
    };
    for (std::size_t k = 0; k < nrows; ++k) {
        if (k > 0) take_line(rules[k].line, k, true);
        for (std::size_t li = rules[k].line + 1; li < rules[k + 1].line; ++li) take_line(li, k, false);
    }

    // Header and footer rules: rule lines made of "=" segments only.
    auto is_equals = [&](std::size_t k) { return rules[k].equals == ncols; };
    std::size_t foot_start = nrows;
    if (is_equals(nrows))
        for (std::size_t f = nrows; f-- > 0;)
            if (is_equals(f)) {
                foot_start = f;
                break;
            }
    std::size_t head_end = 0;
    for (std::size_t h = 1; h < foot_start; ++h)
        if (is_equals(h)) {
            head_end = h;
            break;
        }

    draft::Table table;
    table.aligns.reserve(ncols);
    {
        const GridLine& g = grid[rules[head_end].line];
        std::size_t t = 0;
        for (std::size_t j = 0; j < ncols; ++j) table.aligns.push_back(band_alignment(g, t, bounds[j], bounds[j + 1]));
    }

    std::vector<std::string_view> texts;
    std::vector<std::size_t> ordinals;
    std::size_t next_cell = 0;
    for (std::size_t k = 0; k < nrows; ++k) {
        DraftTableRow row;
        std::size_t end = next_cell;
        while (end < cells.size() && cells[end].r1 == k) ++end;
        row.cells.reserve(end - next_cell);
        for (; next_cell < end; ++next_cell) {
            const Cell& c = cells[next_cell];
            DraftTableCell cell;
            cell.content = cell_content(pieces, first_piece[next_cell], texts, ordinals, nested, depth);
            cell.rowspan = c.r2 - c.r1 + 1;
            cell.colspan = c.c2 - c.c1 + 1;
            cell.align = table.aligns[c.c1];
            row.cells.push_back(std::move(cell));
        }
        auto& section = k < head_end ? table.head : k >= foot_start ? table.foot : table.body;
        section.push_back(std::move(row));
    }
    return DraftBlock(std::move(table));
}

}  // namespace quenlor
