#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "block/tables.hpp"

#ifndef QUENLOR_TIME_SCALE
#define QUENLOR_TIME_SCALE 1  // more under sanitizers, which slow everything down
#endif

using namespace quenlor;

namespace {

using Strings = std::vector<std::string>;

std::vector<std::string> split_lines(const std::string& s) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < s.size()) {
        std::size_t nl = s.find('\n', start);
        if (nl == std::string::npos) nl = s.size();
        out.push_back(s.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

char align_char(Align a) {
    switch (a) {
        case Align::Left: return 'L';
        case Align::Center: return 'C';
        case Align::Right: return 'R';
        default: return '-';
    }
}

// Nested parses are recorded and stand in as one paragraph holding the text.
struct Recorder {
    std::vector<std::pair<std::string, std::size_t>> calls;
    NestedBlockParse fn() {
        return [this](const std::string& text, std::size_t depth) {
            calls.emplace_back(text, depth);
            DraftBlocks blocks;
            blocks.push_back(DraftBlock(draft::Paragraph{Attr{}, text, {}}));
            return blocks;
        };
    }
};

// A compact picture of a grid table: sections, then rows as
// [text(align rowspan x colspan)] cells; block cells show as {text}.
std::string describe(const std::optional<DraftBlock>& b) {
    if (!b) return "none";
    const auto& t = std::get<draft::Table>(b->v);
    std::string out = "aligns=";
    for (Align a : t.aligns) out += align_char(a);
    auto rows = [&](const char* name, const std::vector<DraftTableRow>& rs) {
        if (rs.empty()) return;
        out += std::string(" ") + name + ":";
        for (const auto& r : rs) {
            out += "[";
            for (const auto& c : r.cells) {
                if (auto s = std::get_if<std::string>(&c.content.v))
                    out += "'" + *s + "'";
                else
                    out += "{" + std::get<draft::Paragraph>(std::get<DraftBlocks>(c.content.v).at(0).v).text + "}";
                out += "(" + std::string(1, align_char(c.align));
                if (c.rowspan != 1 || c.colspan != 1)
                    out += std::to_string(c.rowspan) + "x" + std::to_string(c.colspan);
                out += ")";
            }
            out += "]";
        }
    };
    rows("head", t.head);
    rows("body", t.body);
    rows("foot", t.foot);
    return out;
}

std::string grid(const std::string& text, std::size_t depth = 0, Recorder* rec = nullptr) {
    Recorder local;
    Recorder& r = rec ? *rec : local;
    return describe(parse_grid_table(split_lines(text), r.fn(), depth));
}

}  // namespace

TEST(TablesPipe, RawCellsAndSplitRow) {
    struct Case { const char* line; Strings raw; std::optional<Strings> split; };
    const Case cases[] = {
        {"| a | b |", {"", "a", "b", ""}, Strings{"a", "b"}},
        {"  a|b  ", {"a", "b"}, Strings{"a", "b"}},
        {"a \\| b | c", {"a | b", "c"}, Strings{"a | b", "c"}},
        {"x \\\\| y", {"x \\\\", "y"}, Strings{"x \\\\", "y"}},
        {"`x | y`", {"`x", "y`"}, Strings{"`x", "y`"}},
        {"a \\* b\\", {"a \\* b\\"}, std::nullopt},
        {"|", {"", ""}, Strings{}},
        {"| |", {"", "", ""}, Strings{""}},
        {"||x", {"", "", "x"}, Strings{"", "x"}},
        {"no pipes", {"no pipes"}, std::nullopt},
        {"\\|a\\|", {"|a|"}, Strings{"|a|"}},               // escaped pipes at both ends
        {"a\\|\\|b|c\\*", {"a||b", "c\\*"}, Strings{"a||b", "c\\*"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(raw_table_cells(c.line), c.raw) << c.line;
        EXPECT_EQ(split_table_row(c.line), c.split) << c.line;
    }
}

TEST(TablesPipe, DelimiterRow) {
    using A = std::vector<Align>;
    struct Case { const char* line; std::optional<A> aligns; };
    const Case cases[] = {
        {"|:--|--:|:-:|---|", A{Align::Left, Align::Right, Align::Center, Align::None}},
        {"--|--", A{Align::None, Align::None}},
        {"|::--::|", A{Align::Center}},
        {"| - |", A{Align::None}},
        {"| : |", std::nullopt},
        {"| :: |", std::nullopt},
        {"| - - | --- |", std::nullopt},
        {"| -x- |", std::nullopt},
        {"|---|---", A{Align::None, Align::None}},
        {"---", std::nullopt},  // no pipe at all
        {"|", std::nullopt},    // no columns
        {"| --- | |", std::nullopt},
        {"|| --- |", std::nullopt},  // an empty cell that is neither first nor last
        {"||", std::nullopt},
        {"--- | |", std::nullopt},
        {"| --- \\| --- |", std::nullopt},  // an escaped pipe is cell text
        {"| --- | :-: \\", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(table_delimiter_row(c.line), c.aligns) << c.line;
}

TEST(TablesPipe, HeadRow) {
    using S = std::vector<std::string>;
    struct Case { const char* line; std::size_t columns; std::optional<S> cells; };
    const Case cases[] = {
        {"| a | b |", 2, S{"a", "b"}},
        {"a | b", 2, S{"a", "b"}},
        {"| a | |", 2, S{"a", ""}},  // only one trailing empty cell is dropped
        {"| | a |", 2, S{"", "a"}},
        {"a \\| b | c", 2, S{"a | b", "c"}},
        {"| a | b |", 3, std::nullopt},
        {"| a | b | c |", 2, std::nullopt},
        {"|", 1, std::nullopt},
        {"a b", 1, std::nullopt},  // no pipe, no row
    };
    for (const auto& c : cases) {
        const std::vector<Align> aligns(c.columns, Align::Right);
        auto row = table_head_row(c.line, aligns);
        ASSERT_EQ(row.has_value(), c.cells.has_value()) << c.line;
        if (!row) continue;
        S got;
        for (const auto& cell : row->cells) {
            got.push_back(std::get<std::string>(cell.content.v));
            EXPECT_EQ(cell.align, Align::Right) << c.line;
        }
        EXPECT_EQ(got, *c.cells) << c.line;
    }
}

TEST(TablesPipe, CaptionLine) {
    struct Case { const char* line; std::optional<std::string> caption; };
    const Case cases[] = {
        {": A caption", "A caption"},
        {"   :\tTabbed  ", "Tabbed"},
        {": Cap {#id}", "Cap {#id}"},
        {":\xE3\x80\x80wide space", "wide space"},  // U+3000 is White_Space
        {":nospace", std::nullopt},
        {": ", std::nullopt},
        {":", std::nullopt},
        {"x: y", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(table_caption_line(c.line), c.caption) << c.line;
}

TEST(TablesGrid, NormalizeAndBorder) {
    EXPECT_EQ(normalize_grid_line("   +---+  "), "+---+");
    EXPECT_EQ(normalize_grid_line("    +---+"), std::nullopt);
    EXPECT_EQ(normalize_grid_line("\t+---+"), std::nullopt);
    EXPECT_EQ(normalize_grid_line("   "), "");
    EXPECT_EQ(normalize_grid_line(""), "");

    struct Case { const char* line; bool border; };
    const Case cases[] = {
        {"+---+", true},         {"+:==+:-:+  ", true},  {"++---++", true},   {"+ --- +", true},
        {"+---+   +", false},    {"+", false},           {"++", false},       {"+-x-+", false},
        {"+:+", false},          {"| a |", false},       {"+---", false},     {" +---+", false},
        {"+- -+", false},
    };
    for (const auto& c : cases) EXPECT_EQ(is_grid_border_line(c.line), c.border) << c.line;
}

TEST(TablesGrid, DisplayPositions) {
    // "a", tab to 4, CJK (2 wide), combining acute (0), a C1 control (0), "b".
    auto p = display_positions("a\t\xE4\xB8\xAD" "e\xCC\x81\xC2\x85" "b");
    std::vector<std::size_t> cols, bytes;
    for (const auto& d : p) cols.push_back(d.col), bytes.push_back(d.byte);
    EXPECT_EQ(cols, (std::vector<std::size_t>{0, 1, 4, 6, 7, 7, 7}));
    EXPECT_EQ(bytes, (std::vector<std::size_t>{0, 1, 2, 5, 6, 8, 10}));
    EXPECT_EQ(p[2].ch, U'\u4E2D');
}

TEST(TablesGrid, Shapes) {
    struct Case { const char* name; const char* text; const char* expect; };
    const Case cases[] = {
        {"colspan", "+---+---+\n| wide  |\n+---+---+\n| 1 | 2 |\n+---+---+",
         "aligns=-- body:['wide'(-1x2)]['1'(-)'2'(-)]"},
        {"rowspan and alignment", "+--:+---+\n| a | b |\n+   +---+\n|   | c |\n+---+---+",
         "aligns=R- body:['a'(R2x1)'b'(-)]['c'(-)]"},
        {"both spans", "+:--+---+--:+\n| a     | b |\n+       +---+\n|       | c |\n+---+---+---+\n| d | e | f |\n+---+---+---+",
         "aligns=L-R body:['a'(L2x2)'b'(R)]['c'(R)]['d'(L)'e'(-)'f'(R)]"},
        {"row band without cells", "+---+---+\n| a     |\n+---+   +\n|       |\n+---+---+",
         "aligns=-- body:['a\n---+'(-2x2)][]"},
        {"L-shaped merge", "+---+---+\n| a     |\n+---+   +\n| b |   |\n+---+---+", "none"},
        {"head body foot", "+---+\n| h |\n+===+\n| b |\n+===+\n| f |\n+===+",
         "aligns=- head:['h'(-)] body:['b'(-)] foot:['f'(-)]"},
        {"CJK by display width", "+------+----+\n| 中文 | x  |\n+------+----+\n| ab   | 表 |\n+------+----+",
         "aligns=-- body:['中文'(-)'x'(-)]['ab'(-)'表'(-)]"},
        {"fullwidth in the rule", "+----+\n| 表 |\n+----+", "aligns=- body:['表'(-)]"},
        {"multi-line inline cell", "+-----+\n| one |\n| two |\n+-----+", "aligns=- body:['one\ntwo'(-)]"},
        {"empty cell and empty band", "+---+---+\n| a |   |\n+---+---+\n+---+---+", "aligns=-- body:['a'(-)''(-)][''(-1x2)]"},
        {"lines after the last rule are ignored", "+---+\n| a |\n+---+\n| b |", "aligns=- body:['a'(-)]"},
        {"two lines", "+---+\n+---+", "none"},
        {"single boundary", "+\n|\n+", "none"},
        {"first line no rule", "| a |\n+---+\n| b |\n+---+", "none"},
        {"one rule line", "+---+\n| a |\n| b |", "none"},
    };
    for (const auto& c : cases) EXPECT_EQ(grid(c.text), c.expect) << c.name;
}

TEST(TablesGrid, BlockCells) {
    struct Case { const char* name; const char* text; const char* expect; std::vector<std::string> nested; };
    const Case cases[] = {
        {"two paragraphs", "+----------+\n| para one |\n|          |\n| para two |\n+----------+",
         "aligns=- body:[{para one\n\npara two}(-)]", {"para one\n\npara two"}},
        {"list beside inline", "+-------+-----+\n| - one | x   |\n| - two |     |\n+-------+-----+",
         "aligns=-- body:[{- one\n- two}(-)'x'(-)]", {"- one\n- two"}},
        {"indented code keeps its indent", "+----------+\n|     code |\n+----------+",
         "aligns=- body:[{    code}(-)]", {"    code"}},
        {"definition", "+-----------+\n| Term      |\n| : Meaning |\n+-----------+",
         "aligns=- body:[{Term\n: Meaning}(-)]", {"Term\n: Meaning"}},
        {"fence across a rowspan", "+-------+---+\n| ```   | a |\n| x     +---+\n| ```   | b |\n+-------+---+",
         "aligns=-- body:[{```\nx\n```}(-2x1)'a'(-)]['b'(-)]", {"```\nx\n```"}},
        {"blank lines at the ends are dropped", "+-----+\n|     |\n| a   |\n|     |\n+-----+", "aligns=- body:['a'(-)]", {}},
    };
    for (const auto& c : cases) {
        Recorder rec;
        EXPECT_EQ(grid(c.text, 3, &rec), c.expect) << c.name;
        std::vector<std::string> texts;
        for (const auto& [text, depth] : rec.calls) {
            texts.push_back(text);
            EXPECT_EQ(depth, 5u) << c.name;
        }
        EXPECT_EQ(texts, c.nested) << c.name;
    }
}

// One long line adds many column bands that the other lines never reach;
// the parse must not visit every (row band, column band) position.
TEST(TablesGrid, SizeStaysLinear) {
    auto build = [](std::size_t cols, std::size_t rows) {
        std::string rule = "+", row = "|";
        for (std::size_t c = 0; c < cols; ++c) rule += "----+", row += " c" + std::to_string(c % 10) + " |";
        std::vector<std::string> lines{rule};
        for (std::size_t r = 0; r < rows; ++r) lines.push_back(row), lines.push_back(rule);
        return lines;
    };
    Recorder rec;
    auto t0 = std::chrono::steady_clock::now();
    auto table = parse_grid_table(build(100, 500), rec.fn(), 0);
    ASSERT_TRUE(table);
    const auto& tb = std::get<draft::Table>(table->v);
    EXPECT_EQ(tb.body.size(), 500u);
    EXPECT_EQ(tb.body.back().cells.size(), 100u);

    // A wide header row over thousands of short rows: one cell takes the
    // whole area to the right of the first column.
    std::vector<std::string> lines{"+" + std::string(19999, '-') + "+"};
    std::string head = "|";
    for (int i = 0; i < 10000; ++i) head += "a|";
    lines.push_back(head);
    lines.push_back("+-+" + std::string(19997, '-') + "+");
    for (int i = 0; i < 5000; ++i) lines.push_back("|x|"), lines.push_back("+-+");
    auto wide = parse_grid_table(lines, rec.fn(), 0);
    ASSERT_TRUE(wide);
    const auto& wt = std::get<draft::Table>(wide->v);
    ASSERT_EQ(wt.body.size(), 5001u);
    EXPECT_EQ(wt.body[1].cells.size(), 2u);
    EXPECT_EQ(wt.body[1].cells[1].rowspan, 5000u);
    EXPECT_EQ(wt.body[1].cells[1].colspan, 9999u);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 5.0 * QUENLOR_TIME_SCALE);
}
