// Automatic heading identifiers.
#include <gtest/gtest.h>

#include "auto_ids.hpp"

using namespace quenlor;

namespace {

Block heading(std::string text, std::optional<std::string> id = std::nullopt) {
    Heading h;
    h.inlines = {Text{std::move(text)}};
    if (id) h.attr.set_id(std::move(*id));
    return h;
}

const std::optional<std::string>& id_of(const Block& b) { return b.as<Heading>().attr.id(); }

}  // namespace

TEST(AutoIdsSlug, FromText) {
    struct Case {
        const char* text;
        const char* want;
    } cases[] = {
        {"Hello World", "hello-world"},
        {"3 Plans", "plans"},
        {"123", "section"},
        {"", "section"},
        {" \t ", "section"},
        {"2. Setup", "setup"},
        {"A  B", "a--b"},
        {"A++ & you", "a--you"},
        {"  Trim me  ", "trim-me"},
        {"\xC3\x9Cn\xC3\xAF" "code", "\xC3\xBCn\xC3\xAF" "code"},            // Ünïcode
        {"\xCE\xA3\xCE\x91\xCE\xA3 \xCE\xA3", "\xCF\x83\xCE\xB1\xCF\x82-\xCF\x83"},  // final sigma only word-final
        {"v1.2_x-y", "v1.2_x-y"},
        {"-_.a", "a"},
        {"a\tb\xC2\xA0" "c", "a-b-c"},                                         // tab and no-break space
        {"Caf\xC3\xA9 \xC2\xA9", "caf\xC3\xA9-"},                              // symbol dropped, space kept
        {"x\xC2\xB2", "x\xC2\xB2"},                                            // superscript two is numeric
        {"a!\"#$%&'()*+,/:;<=>?@[\\]^`{|}~Z", "az"},                               // ASCII punctuation dropped
        {"a\x0B\x0C\rb\x01\x7F" "c", "a---bc"},                                        // other controls dropped
        {"\xC3\x84" "BC D\xC3\xA9" "F", "\xC3\xA4" "bc-d\xC3\xA9" "f"},               // ASCII capitals beside others
    };
    for (const auto& c : cases) EXPECT_EQ(auto_ids::slug(c.text), c.want) << c.text;
}

TEST(AutoIdsAssign, UniqueAndReserved) {
    Document doc;
    doc.blocks = {
        heading("Hello World"), heading("Hello World"), heading("Hello World"),
        heading("Intro"),  // the explicit "intro" further down is reserved first
        heading("Intro"), heading("Intro 1"), heading("Other", "intro"),
        heading("Empty", ""), heading("A"), heading("A"), heading("a-2 explicit", "a-2"),
    };
    auto_ids::assign(doc);
    const char* want[] = {"hello-world", "hello-world-1", "hello-world-2", "intro-1", "intro-2",
                          "intro-1-1", "intro", "", "a", "a-1", "a-2"};
    for (std::size_t i = 0; i < std::size(want); ++i) EXPECT_EQ(id_of(doc.blocks[i]), want[i]) << i;
    // A third "A" skips the explicit a-2.
    Document more;
    more.blocks = {heading("A"), heading("A"), heading("x", "a-2"), heading("A")};
    auto_ids::assign(more);
    EXPECT_EQ(id_of(more.blocks[3]), "a-3");
}

TEST(AutoIdsAssign, VisitsNestedBlocksButNotFootnotes) {
    TableCellData cell;
    cell.content.v = Blocks{heading("T")};
    Table table;
    table.body = {TableRowData{{}, {cell}}};
    DefinitionList dl;
    dl.items = {DefinitionItem{{}, {Definition{{heading("D")}, false}}}};
    Document doc;
    doc.blocks = {
        BlockQuote{{}, {heading("Q")}},
        List{{}, {ListItem{{}, {heading("L")}}}, false, 1, true},
        Div{{}, {heading("V")}},
        HtmlContainer{"section", {}, {heading("H")}},
        dl,
        table,
        heading("F"),
    };
    doc.footnotes = {Footnote{"n", {heading("F"), heading("Q", "f")}}};
    auto_ids::assign(doc);
    EXPECT_EQ(id_of(doc.blocks[0].as<BlockQuote>().blocks[0]), "q");
    EXPECT_EQ(id_of(doc.blocks[1].as<List>().items[0].blocks[0]), "l");
    EXPECT_EQ(id_of(doc.blocks[2].as<Div>().blocks[0]), "v");
    EXPECT_EQ(id_of(doc.blocks[3].as<HtmlContainer>().blocks[0]), "h");
    EXPECT_EQ(id_of(doc.blocks[4].as<DefinitionList>().items[0].definitions[0].blocks[0]), "d");
    const auto& tcell = doc.blocks[5].as<Table>().body[0].cells[0];
    EXPECT_EQ(id_of(std::get<Blocks>(tcell.content.v)[0]), "t");
    // Footnote headings are neither given ids nor reserve theirs.
    EXPECT_EQ(id_of(doc.blocks[6]), "f");
    EXPECT_FALSE(id_of(doc.footnotes[0].blocks[0]).has_value());
}

TEST(AutoIdsAssign, SlugFromPlainTextOfInlines) {
    Heading h;
    h.inlines = {Text{"See "}, Link{{}, {Text{"the "}, Emph{{}, {Text{"Docs"}}}}, "/d", std::nullopt},
                 FootnoteRef{"1"}, Code{{}, "X"}};
    Document doc;
    doc.blocks = {h};
    auto_ids::assign(doc);
    EXPECT_EQ(id_of(doc.blocks[0]), "see-the-docs1x");
}
