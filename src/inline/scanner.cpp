// The inline scanner: one left-to-right pass over a leaf's text.
#include "scanner.hpp"

#include <algorithm>
#include <functional>

#include "../byte_scan.hpp"
#include "../entity.hpp"
#include "../limits.hpp"
#include "../smart.hpp"
#include "../unicode.hpp"

namespace quenlor {

namespace {

constexpr std::size_t npos = std::string_view::npos;


// Bytes that may start a scanner rule; everything else is copied in runs.
constexpr std::string_view kMarkupBytes = "\\$`=^~[!]*_<\n";

// The next markup byte in [p, end), or end.
const char* next_markup_byte(const char* p, const char* end) {
    return find_first_of_bytes<'\\', '$', '`', '=', '^', '~', '[', '!', ']', '*', '_', '<', '\n'>(p, end);
}
static_assert(same_byte_set<'\\', '$', '`', '=', '^', '~', '[', '!', ']', '*', '_', '<', '\n'>(kMarkupBytes.data(),
                                                                                    kMarkupBytes.size()));

constexpr std::array<bool, 256> make_special(bool with_boundaries) {
    std::array<bool, 256> t{};
    for (unsigned char c : kMarkupBytes) t[c] = true;
    if (with_boundaries) {
        // Word starts matter for bare autolinks: stop at every boundary
        // character, and at the lead bytes of non-ASCII white space.
        for (unsigned char c : std::string_view(" \t\v\f\r([{:;'\"/*~")) t[c] = true;
        t[0xC2] = t[0xE1] = t[0xE2] = t[0xE3] = true;
    }
    return t;
}
constexpr std::array<bool, 256> kSpecial = make_special(false);
constexpr std::array<bool, 256> kSpecialWords = make_special(true);

// 1: the byte alone rules out the fast path; 2: it does depending on what follows.
constexpr std::string_view kAlwaysMarkup = "&*<\\_`\n~^@";
constexpr std::string_view kMarkupByContext = "=[]:w$";
constexpr std::array<unsigned char, 256> make_fast_triggers() {
    std::array<unsigned char, 256> t{};
    for (unsigned char c : kAlwaysMarkup) t[c] = 1;
    for (unsigned char c : kMarkupByContext) t[c] = 2;
    return t;
}
constexpr std::array<unsigned char, 256> kFastTriggers = make_fast_triggers();
// The search in is_plain_text stops exactly at the bytes of the table.
constexpr bool fast_search_matches_table() {
    std::array<char, kAlwaysMarkup.size() + kMarkupByContext.size()> all{};
    std::size_t i = 0;
    for (char c : kAlwaysMarkup) all[i++] = c;
    for (char c : kMarkupByContext) all[i++] = c;
    return same_byte_set<'&', '*', '<', '\\', '_', '`', '\n', '~', '^', '@', '=', '[', ']', ':', 'w', '$'>(all.data(),
                                                                                                   all.size());
}
static_assert(fast_search_matches_table());

bool is_plain_text(std::string_view s, MathMode math) {
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n; ++i) {
        i = static_cast<std::size_t>(
            find_first_of_bytes<'&', '*', '<', '\\', '_', '`', '\n', '~', '^', '@', '=', '[', ']', ':', 'w', '$'>(
                s.data() + i, s.data() + n) -
            s.data());
        if (i == n) break;
        unsigned char t = kFastTriggers[static_cast<unsigned char>(s[i])];
        if (t == 1) return false;
        char next = i + 1 < n ? s[i + 1] : '\0';
        switch (s[i]) {
            case '=': if (next == '=') return false; break;
            case '[': if (next == '^') return false; break;
            case ']': if (next == '(' || next == '[' || next == '{') return false; break;
            case ':': if (s.substr(i, 3) == "://") return false; break;
            case 'w': if (s.substr(i, 4) == "www.") return false; break;
            case '$':
                if (math == MathMode::Dollars || (math == MathMode::Brackets && next == '$')) return false;
                break;
            default: break;
        }
    }
    return true;
}

bool is_word_char(char32_t c) { return c == '_' || is_alphanumeric(c); }

constexpr std::array<bool, 128> make_ascii_word() {
    std::array<bool, 128> t{};
    for (int c = 0; c < 128; ++c)
        t[c] = c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return t;
}
constexpr std::array<bool, 128> kAsciiWord = make_ascii_word();

// Whether the character at pos is a word character.
bool is_word_at(std::string_view s, std::size_t pos) {
    unsigned char b = static_cast<unsigned char>(s[pos]);
    if (b < 0x80) return kAsciiWord[b];
    return is_word_char(decode_utf8(s, pos));
}

// Whether a bare autolink may start at pos: the start of the text, or after
// white space or one of the boundary punctuation characters.
constexpr std::array<bool, 128> make_ascii_boundaries() {
    std::array<bool, 128> t{};
    for (unsigned char c : std::string_view(" \t\n\v\f\r([{:;'\"/*~")) t[c] = true;
    return t;
}
constexpr std::array<bool, 128> kAsciiBoundary = make_ascii_boundaries();

bool boundary_before(std::string_view s, std::size_t pos) {
    if (pos == 0) return true;
    unsigned char b = static_cast<unsigned char>(s[pos - 1]);
    if (b < 0x80) return kAsciiBoundary[b];
    return is_white_space(decode_utf8_before(s, pos));
}

bool white_space_in(std::string_view s, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to;) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            if (b == ' ' || (b >= '\t' && b <= '\r')) return true;
            ++i;
        } else if (is_white_space(decode_utf8(s, i))) {
            return true;
        }
    }
    return false;
}

bool starts_with_nocase(std::string_view s, std::size_t pos, std::string_view lower) {
    if (s.size() - pos < lower.size()) return false;
    for (std::size_t i = 0; i < lower.size(); ++i) {
        char c = s[pos + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != lower[i]) return false;
    }
    return true;
}

// Cuts a text into text pieces and abbreviations: at each word start the
// longest key that ends at a word end wins. Texts and abbreviations go to
// the two callbacks in order; no two texts are given in a row.
template <class OnText, class OnAbbr>
void split_abbreviations(std::string s, const InlineContext& ctx, OnText on_text, OnAbbr on_abbr) {
    const std::string_view v = s;
    const AbbrTrie& trie = ctx.abbr_trie;
    std::vector<std::uint32_t> hits;
    std::size_t seg = 0, i = 0;
    bool prev_word = false;  // the start counts as non-word
    while (i < v.size()) {
        // Only a byte that may start a key needs the word state before it:
        // the bytes up to the next one are passed over in bulk.
        const std::size_t j = trie.next_start(v, i);
        if (j == v.size()) break;
        if (j != i) {
            const unsigned char before = static_cast<unsigned char>(v[j - 1]);
            if (before < 0x80) {
                // No UTF-8 sequence holds an ASCII byte: it is a character of its own.
                prev_word = kAsciiWord[before];
                i = j;
            } else {
                // Decode the non-ASCII run before j from its start, as a walk
                // character by character would; j may lie inside a character,
                // where no key starts.
                std::size_t k = j - 1;
                while (k > i && static_cast<unsigned char>(v[k - 1]) >= 0x80) --k;
                i = k;
                while (i < j) prev_word = is_word_char(decode_utf8(v, i));
                if (i != j) continue;
            }
        }
        const unsigned char b = static_cast<unsigned char>(v[i]);
        if (!prev_word) {
            // Keys that start here, longest first; the first one that ends at a word end wins.
            trie.matches_at(v, i, hits);
            bool matched = false;
            for (std::uint32_t k : hits) {
                const std::string& key = ctx.abbr_keys[k];
                std::size_t e = i + key.size();
                if (e < v.size() && is_word_at(v, e)) continue;
                auto it = ctx.abbrs.find(key);
                if (i > seg) on_text(std::string(v.substr(seg, i - seg)));
                on_abbr(Abbr{key, it != ctx.abbrs.end() ? it->second : std::string()});
                prev_word = is_word_char(decode_utf8_before(v, e));
                i = seg = e;
                matched = true;
                break;
            }
            if (matched) continue;
        }
        if (b < 0x80) {
            prev_word = kAsciiWord[b];
            ++i;
        } else {
            prev_word = is_word_char(decode_utf8(v, i));
        }
    }
    if (seg == 0) {
        on_text(std::move(s));
    } else if (seg < v.size()) {
        on_text(std::string(v.substr(seg)));
    }
}

void replace_placeholder(std::string& s) {
    static constexpr std::string_view ph = "\xEE\x80\x80";
    std::size_t w = 0;
    for (std::size_t r = 0; r < s.size();) {
        if (s.compare(r, 3, ph) == 0) {
            s[w++] = '&';
            r += 3;
        } else {
            s[w++] = s[r++];
        }
    }
    s.resize(w);
}

// The first "www." at or after `from`, or npos.
std::size_t find_www(std::string_view text, std::size_t from) {
    const char* const end = text.data() + text.size();
    const char* const found = find_word(text.data() + std::min(from, text.size()), end, "www.");
    return found == end ? npos : static_cast<std::size_t>(found - text.data());
}

}  // namespace

// ---------------------------------------------------------------------------

const char* readable_end(std::string_view text, const InlineContext& ctx) {
    const std::less<const char*> before;  // a total order, also for pointers into different buffers
    const char* const source_end = ctx.source.data() + ctx.source.size();
    if (!before(text.data(), ctx.source.data()) && !before(source_end, text.data() + text.size())) return source_end;
    return text.data() + text.size();
}

Inlines parse_inner(std::string_view text, const InlineContext& ctx, std::size_t depth) {
    return parse_note_content(text, ctx, depth, {}, 0);
}

namespace {
// A leaf without any markup needs no scan: it is one text node, or with
// abbreviations defined, its text cut at the abbreviations. A "[" still
// needs one where it could use a reference definition, or where its
// bracket would part the text that abbreviations are looked for in.
bool needs_no_scan(std::string_view text, const InlineContext& ctx) {
    return is_plain_text(text, ctx.options.math) &&
           ((ctx.link_refs.empty() && ctx.abbr_keys.empty()) || text.find('[') == std::string_view::npos);
}

// `owned`, when given, holds the same text and may be taken.
Inlines plain_leaf(std::string_view text, const InlineContext& ctx, std::string* owned = nullptr) {
    Inlines out = make_node_list<Inlines>(ctx.arena);
    // A text where no key can start is one node too (an empty one is none
    // once abbreviations are defined).
    if (ctx.abbr_keys.empty() || (!text.empty() && ctx.abbr_trie.next_start(text, 0) == text.size())) {
        out.reserve(1);  // exactly one node, without the growth path
        out.emplace_back(TextInBuffer{text, readable_end(text, ctx)});
    } else if (!text.empty()) {
        split_abbreviations(
            owned ? std::move(*owned) : std::string(text), ctx,
            [&](std::string t) { out.emplace_back(Text{NodeText(t)}); },
            [&](Abbr a) { out.emplace_back(std::move(a)); });
    }
    return out;
}
}  // namespace

Inlines parse_owned(std::string&& text, const InlineContext& ctx) {
    if (needs_no_scan(text, ctx)) return plain_leaf(text, ctx, &text);
    InlineScanner scanner(text, ctx, 0);
    return scanner.run();
}

Inlines parse_note_content(std::string_view text, const InlineContext& ctx, std::size_t depth,
                           std::span<const BracketPair> pairs, std::size_t base) {
    const std::uint64_t limit = std::min(ctx.options.max_inline_depth, kMaxInlineParseDepth);
    Inlines out = make_node_list<Inlines>(ctx.arena);
    if (depth > limit) {
        out.emplace_back(Text{NodeText(text)});
        return out;
    }
    if (needs_no_scan(text, ctx)) return plain_leaf(text, ctx);
    InlineScanner scanner(text, ctx, depth);
    if (base != 0) scanner.borrow_note_pairs(pairs, base);
    return scanner.run();
}

namespace {
// Hands over the nodes with smart punctuation applied as it is to the parsed
// list: a text is converted as a whole, so texts that the list would hold as
// one are joined first; the lists inside containers are converted in place.
class SmartSink {
public:
    explicit SmartSink(InlineSink& sink) : sink_(sink) {}
    void node(Inline& node) {
        if (const Text* t = node.get_if<Text>()) {
            if (pieces_++ == 0) first_ = t->text.view();
            else {
                if (pieces_ == 2) joined_.assign(first_);
                joined_.append(t->text.view());
            }
            return;
        }
        flush();
        if (Inlines* children = children_of(node)) smart::apply(*children);
        sink_.node(node);
    }
    // Writes the texts still waiting (called once the nodes are through, not
    // from a destructor: writing may allocate, and so throw).
    void flush() {
        if (pieces_ == 0) return;
        const std::string_view text = pieces_ == 1 ? first_ : std::string_view(joined_);
        if (smart::has_smart_candidate(text)) sink_.text(smart::smarten(text));
        else sink_.text(text);
        pieces_ = 0;
    }

private:
    InlineSink& sink_;
    std::size_t pieces_ = 0;
    std::string_view first_;
    std::string joined_;
};
}  // namespace

void visit_inlines(std::string_view text, const InlineContext& ctx, InlineSink& sink) {
    // No check for a text without markup first, as parse_inner makes: most
    // paragraphs hold some, and for them the check's pass (which stops at
    // every "w" and ":") costs more than the scanner's own set-up saves on
    // the others.
    InlineScanner scanner(text, ctx, 0);
    scanner.scan();
    if (!ctx.options.smart) {
        scanner.for_each_alive([&](const Inline& node) { sink.node(node); });
        return;
    }
    SmartSink smart(sink);
    scanner.for_each_alive([&](Inline& node) { smart.node(node); });
    smart.flush();
}

InlineScanner::InlineScanner(std::string_view text, const InlineContext& ctx, std::size_t depth)
    : text_(text),
      ctx_(ctx),
      depth_(depth),
      max_height_(depth < kMaxInlineNesting ? kMaxInlineNesting - depth : 0),
      scratch_(ctx.scratch.take()),
      pending_(text, readable_end(text, ctx), scratch_->pending),
      nodes_(scratch_->nodes),
      skip_(scratch_->skip),
      delims_(scratch_->delims),
      dskip_(scratch_->dskip),
      brackets_(scratch_->brackets),
      note_pairs_(scratch_->note_pairs),
      angle_stops_(scratch_->angle_stops) {
    failed_from_.fill(npos);
    failed_until_.fill(0);
    backticks_.last_run.swap(scratch_->backtick_runs);
    text_has_amp_ = text.find('&') != npos;
    next_at_ = text.find('@');
    next_colon_ = text.find(':');
    next_www_ = find_www(text, 0);
    has_at_ = next_at_ != npos;
    link_triggers_ = has_at_ || next_colon_ != npos || next_www_ != npos;
    // A node per few dozen bytes of marked-up text: a larger guess makes every
    // short leaf pay for a big allocation, and growth only moves a few nodes.
    // Nested parses (highlights, notes) are all alive at once, each over most
    // of the text, so only the outermost one reserves by the text's size.
    const std::size_t guess = depth == 0 ? text.size() / 32 + 4 : 4;
    nodes_.reserve(guess);
    skip_.reserve(guess);
}

InlineScanner::~InlineScanner() {
    pending_.clear();
    nodes_.clear();
    skip_.clear();
    delims_.clear();
    dskip_.clear();
    brackets_.clear();
    note_pairs_.clear();
    angle_stops_.clear();
    backticks_.last_run.clear();
    backticks_.last_run.swap(scratch_->backtick_runs);
    ctx_.scratch.give(std::move(scratch_));
}

ScratchPool::ScratchPool() = default;
ScratchPool::~ScratchPool() = default;
ScratchPool::ScratchPool(ScratchPool&&) noexcept = default;
ScratchPool& ScratchPool::operator=(ScratchPool&&) noexcept = default;

std::unique_ptr<ScannerScratch> ScratchPool::take() {
    if (free_.empty()) return std::make_unique<ScannerScratch>();
    std::unique_ptr<ScannerScratch> s = std::move(free_.back());
    free_.pop_back();
    return s;
}

void ScratchPool::give(std::unique_ptr<ScannerScratch> scratch) {
    free_.push_back(std::move(scratch));
}

Inlines InlineScanner::run() {
    scan();
    // Containers were coalesced as they were made: only this level is left.
    Inlines out = make_node_list<Inlines>(ctx_.arena);
    out.reserve(alive_count_);
    for (Node& node : nodes_)
        if (node.alive) push_coalesced(out, std::move(node.value));
    return out;
}

void InlineScanner::scan() {
    const std::string_view s = text_;
    const std::size_t n = s.size();
    const MathMode math = ctx_.options.math;
    std::size_t pos = 0;
    while (pos < n) {
        // Where a bare link may start, text is scanned word by word; elsewhere
        // it is copied in runs that stop only at markup characters.
        const bool* special = kSpecial.data();
        std::size_t run_end = n;
        if (link_triggers_) {
            if (has_at_) {
                special = kSpecialWords.data();
            } else {
                if (pos >= zone_hi_) find_link_zone(pos);
                if (pos >= zone_lo_) special = kSpecialWords.data();
                else run_end = std::min(n, zone_lo_);
            }
        }
        const unsigned char c = static_cast<unsigned char>(s[pos]);
        if (!special[c]) {
            if (special == kSpecialWords.data() && autolink_may_start(pos)) {
                if (auto r = bare_link(pos)) {
                    pos = *r;
                    continue;
                }
            }
            std::size_t q = pos + 1;
            if (special == kSpecial.data()) {
                if (q < run_end) q = static_cast<std::size_t>(next_markup_byte(s.data() + q, s.data() + run_end) - s.data());
            } else {
                while (q < run_end && !special[static_cast<unsigned char>(s[q])]) ++q;
            }
            pending_.append_source(pos, q - pos);
            pos = q;
            continue;
        }
        const char next = pos + 1 < n ? s[pos + 1] : '\0';
        std::optional<std::size_t> r;
        switch (c) {
            case '\\':
                if (math >= MathMode::Brackets && (next == '[' || next == '(')) r = bracket_math(pos, next == '[');
                if (!r && pos + 1 < n && is_ascii_punctuation(static_cast<unsigned char>(next))) {
                    // A backslash escape.
                    if (math == MathMode::On && (next == '(' || next == ')' || next == '[' || next == ']')) {
                        pending_.append_source(pos, 2);
                    } else if (next == '&') {
                        pending_.append("\xEE\x80\x80");
                        has_placeholder_ = true;
                    } else {
                        pending_.append_source(pos + 1, 1);
                        if (next == '\\') escaped_backslash_end_ = pending_.size();
                    }
                    r = pos + 2;
                }
                break;
            case '$':
                if (math >= MathMode::Brackets && next == '$') r = double_dollar_math(pos);
                if (!r && math == MathMode::Dollars) r = dollar_math(pos);
                break;
            case '`': r = code_or_backticks(pos); break;
            case '=':
                if (next == '=') r = highlight(pos);
                break;
            case '^':
                if (next == '[') r = inline_note(pos);
                if (!r) r = script(pos, '^');
                break;
            case '~':
                if (next != '~' && (pos == 0 || s[pos - 1] != '~')) r = script(pos, '~');
                if (!r) r = delimiter_run(pos);
                break;
            case '[':
                if (next == '^') r = footnote_reference(pos, pos);
                if (!r) r = push_bracket(false, pos);
                break;
            case '!':
                if (next == '[') {
                    if (pos + 2 < n && s[pos + 2] == '^') r = footnote_reference(pos, pos + 1);
                    if (!r) r = push_bracket(true, pos);
                }
                break;
            case ']':
                r = resolve_bracket(pos);
                if (!r) {
                    pending_.append_source(pos, 1);
                    r = pos + 1;
                }
                break;
            case '*':
            case '_': r = delimiter_run(pos); break;
            case '<':
                r = angle(pos);
                if (!r) {
                    pending_.append_source(pos, 1);
                    r = pos + 1;
                }
                break;
            case '\n': r = line_break(pos); break;
            default: break;
        }
        if (r) {
            pos = *r;
            continue;
        }
        if (link_triggers_ && autolink_may_start(pos)) {
            if (auto b = bare_link(pos)) {
                pos = *b;
                continue;
            }
        }
        append_char(pos);
    }
    flush_text();
    process_delimiters_range(0, npos);
}

void InlineScanner::append_char(std::size_t& pos) {
    std::size_t len = std::min(utf8_len(static_cast<unsigned char>(text_[pos])), text_.size() - pos);
    pending_.append_source(pos, len);
    pos += len;
}

bool InlineScanner::autolink_may_start(std::size_t pos) {
    const char c = text_[pos];
    const bool prefix_letter = c == 'h' || c == 'f' || c == 'w' || c == 'm' || c == 'M' || c == 'x' || c == 'X';
    if ((!prefix_letter && !has_at_) || !boundary_before(text_, pos)) return false;
    switch (c) {
        case 'h':
            if (text_.compare(pos, 7, "http://") == 0 || text_.compare(pos, 8, "https://") == 0) return true;
            break;
        case 'f':
            if (text_.compare(pos, 6, "ftp://") == 0) return true;
            break;
        case 'w':
            if (text_.compare(pos, 4, "www.") == 0) return true;
            break;
        case 'm': case 'M':
            if (starts_with_nocase(text_, pos, "mailto:")) return true;
            break;
        case 'x': case 'X':
            if (starts_with_nocase(text_, pos, "xmpp:")) return true;
            break;
        default: break;
    }
    // A bare e-mail address needs an "@" within the (bounded) word at pos.
    if (!has_at_) return false;
    if (next_at_ < pos) {
        next_at_ = text_.find('@', pos);
        if (next_at_ == npos) {
            has_at_ = false;
            return false;
        }
    }
    if (next_at_ - pos > 255) return false;
    return !white_space_in(text_, pos, next_at_);
}

void InlineScanner::find_link_zone(std::size_t from) {
    if (next_colon_ != npos && next_colon_ < from) next_colon_ = text_.find(':', from);
    if (next_www_ != npos && next_www_ < from) next_www_ = find_www(text_, from);
    zone_lo_ = zone_hi_ = npos;
    if (next_colon_ != npos) {
        // "mailto:" is the longest scheme written before its ":".
        zone_lo_ = next_colon_ >= 6 ? next_colon_ - 6 : 0;
        zone_hi_ = next_colon_ + 1;
    }
    if (next_www_ != npos && next_www_ < zone_lo_) {
        zone_lo_ = next_www_;
        zone_hi_ = next_www_ + 1;
    }
    // The zone starts on a character: word-by-word scanning must see a
    // white-space character before a link whole, or it misses the link.
    while (zone_lo_ != npos && zone_lo_ > 0 && (static_cast<unsigned char>(text_[zone_lo_]) & 0xC0) == 0x80)
        --zone_lo_;
}

std::optional<std::size_t> InlineScanner::bare_link(std::size_t pos) {
    auto m = bare_autolink(text_, pos, !brackets_.empty());
    if (!m) return std::nullopt;
    pending_.append_source(pos, m->link_start - pos);
    std::size_t idx = push_node(std::move(m->node));
    nodes_[idx].bare_autolink = true;
    return m->end;
}

std::optional<std::size_t> InlineScanner::angle(std::size_t pos) {
    auto m = angle_or_html(text_, pos, ctx_.options.tagfilter);
    if (!m) return std::nullopt;
    push_node(std::move(m->node));
    return m->end;
}

std::size_t InlineScanner::line_break(std::size_t pos) {
    const std::string_view p = pending_.view();
    if (!p.empty() && p.back() == '\\' && p.size() != escaped_backslash_end_) {
        // A backslash written before the line feed (not an escaped one) makes a hard break.
        pending_.resize(p.size() - 1);
        flush_text();
        push_leaf(HardBreak{});
    } else if (p.size() >= 2 && p.ends_with("  ")) {
        std::size_t keep = p.find_last_not_of(' ');
        pending_.resize(keep == std::string_view::npos ? 0 : keep + 1);
        flush_text();
        push_leaf(HardBreak{});
    } else {
        flush_text();
        push_leaf(SoftBreak{});
    }
    return pos + 1;
}

// ---- node list -------------------------------------------------------------

std::size_t inlines_height(const Inlines& list) {
    std::size_t h = 0;
    for (const Inline& x : list)
        if (const Inlines* children = children_of(x)) h = std::max(h, 1 + inlines_height(*children));
    return h;
}

std::size_t InlineScanner::push_raw(Inline&& node) {
    std::size_t idx = nodes_.size();
    // Text and breaks, the common nodes, hold no children.
    const Inlines* children = node.v.index() <= 2 ? nullptr : children_of(node);
    std::size_t height = children ? 1 + inlines_height(*children) : 0;
    nodes_.emplace_back(std::move(node), height);
    skip_.push_back(idx);
    ++alive_count_;
    return idx;
}

std::size_t InlineScanner::push_node(Inline&& node) {
    flush_text();
    return push_raw(std::move(node));
}

std::size_t InlineScanner::push_with_attrs(Inline&& node, std::size_t pos) {
    if (Attr* attr = attr_of(node)) {
        while (pos < text_.size() && text_[pos] == '{' && braces_.may_read(text_, pos, true)) {
            auto block = trailing_attr(text_.substr(pos), ctx_.attr_defs);
            if (!block) break;
            attr->merge(block->attr);
            pos += block->consumed;
        }
    }
    push_node(std::move(node));
    return pos;
}

std::size_t InlineScanner::find_alive(std::size_t i) {
    const std::size_t n = skip_.size();
    std::size_t r = i;
    while (r < n && skip_[r] != r) r = skip_[r];
    while (i < r) {  // path compression
        std::size_t nx = skip_[i];
        skip_[i] = r;
        i = nx;
    }
    return r;
}

void InlineScanner::kill(std::size_t index) {
    alive_count_ -= nodes_[index].alive;
    nodes_[index].alive = false;
    skip_[index] = index + 1;
}

std::size_t InlineScanner::height_of(std::size_t from, std::size_t to) {
    std::size_t h = 0;
    for (std::size_t i = find_alive(from); i < to; i = find_alive(i + 1)) h = std::max(h, nodes_[i].height);
    return h;
}

// Moves the alive nodes of [from, to) out, in order and coalesced (as the
// children of a new container); all but the first are marked dead, and the
// first slot is left for the caller to fill.
Inlines InlineScanner::take_alive(std::size_t from, std::size_t to) {
    Inlines out = make_node_list<Inlines>(ctx_.arena);
    std::size_t first = find_alive(from);
    if (first < to) out.reserve(std::min(to, nodes_.size()) - first);
    for (std::size_t i = first; i < to; i = find_alive(i + 1)) {
        push_coalesced(out, std::move(nodes_[i].value));
        if (i != first) kill(i);
    }
    return out;
}

// ---- flushing --------------------------------------------------------------

void InlineScanner::flush_text() {
    const std::string_view text = pending_.view();
    if (text.empty()) return;
    escaped_backslash_end_ = std::string::npos;
    const bool entities = text_has_amp_ && text.find('&') != std::string_view::npos;
    if (!entities && !has_placeholder_ &&
        (ctx_.abbr_keys.empty() || ctx_.abbr_trie.next_start(text, 0) == text.size())) [[likely]] {
        // The text node is built in place from the pending bytes: one copy.
        push_leaf(TextInBuffer{text, pending_.readable_end()});
        pending_.clear();
        return;
    }
    std::string out = entities ? decode_entities(text) : std::string(text);
    if (has_placeholder_) replace_placeholder(out);
    pending_.clear();
    has_placeholder_ = false;
    if (ctx_.abbr_keys.empty()) {
        push_leaf(Text{std::move(out)});
    } else {
        flush_abbreviations(std::move(out));
    }
}

void InlineScanner::flush_abbreviations(std::string s) {
    split_abbreviations(
        std::move(s), ctx_, [&](std::string t) { push_leaf(Text{std::move(t)}); },
        [&](Abbr a) { push_raw(std::move(a)); });
}

// ---- attribute blocks ------------------------------------------------------

std::optional<BracedAttrRead> trailing_attr(std::string_view text, const AttrDefs& defs) {
    if (text.size() >= 3 && text.starts_with("{:")) {
        char quote = 0;
        for (std::size_t i = 2; i < text.size(); ++i) {
            char c = text[i];
            if (c == '\\') {
                ++i;
            } else if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '}') {
                return BracedAttrRead{parse_attrs_body(text.substr(2, i - 2), defs), i + 1};
            }
        }
    }
    if (auto b = parse_braced_attr(text, defs)) return BracedAttrRead{std::move(b->attr), b->consumed};
    return std::nullopt;
}

// ---- coalescing ------------------------------------------------------------

void push_coalesced(Inlines& list, Inline&& node) {
    if (const Text* t = node.get_if<Text>(); t && !list.empty()) {
        if (Text* prev = list.back().get_if<Text>()) {
            prev->text += t->text;
            return;
        }
    }
    list.push_back(std::move(node));
}

namespace {
bool coalesces_children(const Inline& x) {
    return x.is<Emph>() || x.is<Strong>() || x.is<Strike>() || x.is<Highlight>() || x.is<Link>() ||
           x.is<Image>() || x.is<Span>();
}

// Apart from the recursion below, so that its locals do not weigh on every
// level of a deeply nested tree.
[[gnu::noinline]] void flatten_nested_strong(Inlines& children) {
    bool nested = std::any_of(children.begin(), children.end(),
                              [](const Inline& c) { return c.is<Strong>() && c.as<Strong>().attr.empty(); });
    if (!nested) return;
    Inlines flat(children.get_allocator());
    flat.reserve(children.size());
    for (Inline& c : children) {
        if (Strong* inner = c.get_if<Strong>(); inner && inner->attr.empty()) {
            for (Inline& g : inner->children) push_coalesced(flat, std::move(g));
        } else {
            push_coalesced(flat, std::move(c));
        }
    }
    children = std::move(flat);
}
}  // namespace

void flatten_strong(Inline& node) {
    if (Strong* strong = node.get_if<Strong>(); strong && strong->attr.empty()) flatten_nested_strong(strong->children);
}

namespace {
// A node's children coalesced (recursively), nested strong emphasis flattened:
// for lists that were not built by the scanner, which coalesces as it goes.
void coalesce_node(Inline& node) {
    if (!coalesces_children(node)) return;
    Inlines& children = *children_of(node);
    children = coalesce(std::move(children));
    flatten_strong(node);
}
}  // namespace

Inlines coalesce(Inlines list) {
    // In place: nodes only move down over the texts merged into their neighbours.
    std::size_t w = 0;
    for (std::size_t r = 0; r < list.size(); ++r) {
        coalesce_node(list[r]);
        if (w > 0) {
            if (Text* prev = list[w - 1].get_if<Text>()) {
                if (const Text* t = list[r].get_if<Text>()) {
                    prev->text += t->text;
                    continue;
                }
            }
        }
        if (w != r) list[w] = std::move(list[r]);
        ++w;
    }
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(w), list.end());
    return list;
}

}  // namespace quenlor
