// libFuzzer target over the whole pipeline. The first two bytes choose the
// options and depth limits; the rest is the Markdown text. Besides the absence
// of crashes it checks the promises the converter makes about its results.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "balance.hpp"
#include "quenlor.hpp"
#include "render/render.hpp"

namespace {

[[noreturn]] void fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "invariant broken: %s\n%.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

std::size_t find_gt_outside_quotes(std::string_view s, std::size_t from) {
    char quote = 0;
    for (std::size_t i = from; i < s.size(); ++i) {
        char c = s[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string_view::npos;
}

bool is_void(const std::string& n) {
    static const char* names[] = {"area", "base", "br", "col", "embed", "hr", "img", "input",
                                  "link", "meta", "param", "source", "track", "wbr"};
    for (const char* v : names)
        if (n == v) return true;
    return false;
}
bool is_raw_text(const std::string& n) {
    static const char* names[] = {"script", "style", "textarea", "title", "xmp", "plaintext"};
    for (const char* v : names)
        if (n == v) return true;
    return false;
}

// Every start tag that is neither void nor self-closed is closed once, in order.
void check_nesting(std::string_view s) {
    std::vector<std::string> stack;
    std::size_t i = 0;
    while ((i = s.find('<', i)) != std::string_view::npos) {
        if (s.compare(i, 4, "<!--") == 0) {
            std::size_t e = s.find("-->", i + 2);
            if (e == std::string_view::npos) fail("unterminated comment", s);
            i = e + 3;
            continue;
        }
        if (i + 1 >= s.size()) break;
        if (s[i + 1] == '!' || s[i + 1] == '?') {
            // As the balancer reads them: an instruction ends at "?>", a CDATA
            // section at "]]>", else (and without those) at the first ">".
            std::size_t e = std::string_view::npos;
            std::string head;
            for (std::size_t k = i + 2; k < s.size() && k < i + 9; ++k) head += lower(s[k]);
            if (s[i + 1] == '?') {
                e = s.find("?>", i + 1);
                if (e != std::string_view::npos) ++e;
            } else if (head == "[cdata[") {
                e = s.find("]]>", i + 9);
                if (e != std::string_view::npos) e += 2;
            }
            if (e == std::string_view::npos) e = s.find('>', i + 2);
            if (e == std::string_view::npos) break;
            i = e + 1;
            continue;
        }
        bool end_tag = s[i + 1] == '/';
        std::size_t n0 = i + (end_tag ? 2 : 1), n1 = n0;
        if (n1 >= s.size() || !((s[n1] >= 'a' && s[n1] <= 'z') || (s[n1] >= 'A' && s[n1] <= 'Z'))) {
            ++i;
            continue;
        }
        while (n1 < s.size() && is_name_char(s[n1])) ++n1;
        std::string name;
        for (std::size_t k = n0; k < n1; ++k) name += lower(s[k]);
        std::size_t gt = find_gt_outside_quotes(s, n1);
        if (gt == std::string_view::npos) {
            ++i;
            continue;
        }
        std::string_view inner = s.substr(i + 1, gt - i - 1);
        auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
        while (!inner.empty() && space(inner.back())) inner.remove_suffix(1);
        bool self_closed = !inner.empty() && inner.back() == '/';
        if (end_tag) {
            if (stack.empty() || stack.back() != name) fail("end tag does not close the innermost element", s);
            stack.pop_back();
            i = gt + 1;
        } else if (is_void(name) || self_closed) {
            i = gt + 1;
        } else if (is_raw_text(name)) {
            std::size_t j = gt + 1;
            for (;;) {
                j = s.find("</", j);
                if (j == std::string_view::npos) fail("raw-text element never closed", s);
                bool same = j + 2 + name.size() < s.size();
                for (std::size_t k = 0; same && k < name.size(); ++k) same = lower(s[j + 2 + k]) == name[k];
                if (same) {
                    const char after = s[j + 2 + name.size()];
                    if (after == '>' || after == ' ' || after == '\t' || after == '\n' || after == '\r' || after == '\f') break;
                }
                j += 2;
            }
            std::size_t e = s.find('>', j);
            if (e == std::string_view::npos) fail("raw-text end tag without '>'", s);
            i = e + 1;
        } else {
            stack.push_back(name);
            i = gt + 1;
        }
    }
    if (!stack.empty()) fail("element left open", s);
}

// With the tag filter on, only the renderer's own wrappers of raw content may
// open one of the filtered elements.
// End tags are neutralised as well, unless the balancer may have added them
// (it closes what the input seemed to open, such as "<xmp;", which no browser
// reads as an xmp element).
void check_tagfilter(std::string_view out, bool end_tags_too) {
    static const char* names[] = {"title", "textarea", "style", "xmp", "iframe", "noembed", "noframes",
                                  "script", "plaintext"};
    for (std::size_t i = 0; (i = out.find('<', i)) != std::string_view::npos; ++i) {
        std::size_t p = i + 1;
        if (p < out.size() && out[p] == '/') {
            if (!end_tags_too) continue;
            ++p;
        }
        std::size_t q = p;
        while (q < out.size() && ((out[q] >= 'a' && out[q] <= 'z') || (out[q] >= 'A' && out[q] <= 'Z'))) ++q;
        std::string name;
        for (std::size_t k = p; k < q; ++k) name += lower(out[k]);
        bool filtered = false;
        for (const char* n : names) filtered = filtered || name == n;
        if (!filtered || q >= out.size()) continue;
        char c = out[q];
        if (!(c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f')) continue;
        if (out.substr(i).starts_with("<script type=\"text/x-") || out.substr(i).starts_with("</script>")) continue;
        fail("a filtered element is opened by input HTML", out);
    }
}

// Length of the well-formed UTF-8 sequence at s[i], or 0.
std::size_t utf8_sequence(std::string_view s, std::size_t i) {
    auto byte = [&](std::size_t k) { return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0u; };
    const unsigned c = byte(0);
    if (c < 0x80) return 1;
    auto cont = [&](std::size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) { return byte(k) >= lo && byte(k) <= hi; };
    if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const unsigned lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
        return cont(1, lo, hi) && cont(2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const unsigned lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
        return cont(1, lo, hi) && cont(2) && cont(3) ? 4 : 0;
    }
    return 0;
}

// The text as the Python layer could pass it: every byte that is not part of
// well-formed UTF-8 becomes U+FFFD.
std::string well_formed(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = utf8_sequence(s, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    quenlor::Options o;
    o.math = static_cast<quenlor::MathMode>(data[0] & 3);
    o.tagfilter = data[0] & 4;
    o.balance = data[0] & 8;
    o.auto_ids = data[0] & 16;
    o.smart = data[0] & 32;
    if (data[1] & 0x80) {
        o.max_inline_depth = data[1] & 7;
        o.max_block_depth = (data[1] >> 3) & 7;
        o.max_link_paren_depth = data[1] & 3;
    } else if (data[1] & 0x40) {
        // No limits of the caller's own: only the internal ceilings apply.
        o.max_inline_depth = o.max_block_depth = o.max_link_paren_depth = UINT64_MAX;
    }
    std::string_view raw(reinterpret_cast<const char*>(data + 2), size - 2);
    // Ill-formed UTF-8 only reaches the core from C++ callers: it must not
    // crash it, but the promises below are about text.
    const std::string text = well_formed(raw);
    if (text != raw) quenlor::to_xhtml(raw, o);
    // The text in a heap block of exactly its size, so that a read past its
    // end (texts are copied in blocks that may read on, up to the end of
    // what they lie in) is caught, as it would not be in a string's spare room.
    const std::unique_ptr<char[]> exact(new char[text.size()]);
    text.copy(exact.get(), text.size());
    std::string_view md(exact.get(), text.size());

    std::string out = quenlor::to_xhtml(md, o);
    if (o.balance) check_nesting(out);
    // One arena serves input after input, as it does for a caller converting
    // many documents: no conversion may see what an earlier one left in it.
    static quenlor::NodeArena kept_arena;
    if (quenlor::to_xhtml(md, o, kept_arena) != out) fail("a conversion in a reused arena differs", out);
    if (o.tagfilter) check_tagfilter(out, !o.balance);

    // The conversion renders block by block; rendering the whole tree at once,
    // and a copy of it, must give the same text.
    {
        quenlor::Document doc = quenlor::parse(md, o);
        quenlor::Document copy = doc;
        std::string whole = quenlor::to_xhtml_document(copy);
        if (o.balance) whole = quenlor::balance_fragment(whole);
        if (whole != out) fail("rendering the whole tree differs from the conversion", whole + "\n----\n" + out);
    }

    std::string norm = quenlor::normalize_line_ends(md);
    std::size_t lines = 0;
    for (char c : norm) lines += c == '\n';
    if (!norm.empty() && norm.back() != '\n') ++lines;

    auto parsed = quenlor::parse_source(md, o, true);
    std::size_t prev_end = 0;
    for (const auto& s : parsed.spans) {
        if (s.start >= s.end || s.start < prev_end || s.end > lines) fail("block spans out of order or bounds");
        prev_end = s.end;
    }
    std::size_t prev_node_end = 0;
    for (const auto& n : parsed.edit_nodes) {
        std::size_t st = n.start();
        std::size_t en = std::visit([](const auto& x) { return x.end; }, n.v);
        if (st < prev_node_end || st >= en || en > norm.size()) fail("edit nodes out of order, overlapping or out of bounds");
        auto boundary = [&](std::size_t p) {
            return p >= norm.size() || (static_cast<unsigned char>(norm[p]) & 0xC0) != 0x80;
        };
        if (!boundary(st) || !boundary(en)) fail("edit node splits a character");
        // The source of a node is the construct as written.
        std::string_view source = std::string_view(norm).substr(st, en - st);
        if (const auto* img = std::get_if<quenlor::EditImage>(&n.v)) {
            if (img->url_start > img->url_end || img->url_start < st || img->url_end > en)
                fail("image url range outside the node");
            if (!source.starts_with("![") || !source.ends_with(")")) fail("image source is not an image", source);
            if (!boundary(img->url_start) || !boundary(img->url_end)) fail("image url splits a character");
        } else {
            const auto& m = std::get<quenlor::EditMath>(n.v);
            std::string_view closer = m.delimiter == "\\[" ? "\\]" : m.delimiter == "\\(" ? "\\)" : m.delimiter;
            if (source.size() < m.delimiter.size() + closer.size() || !source.starts_with(m.delimiter) ||
                !source.ends_with(closer))
                fail("math source lacks its delimiters", source);
            std::string_view inner = source.substr(m.delimiter.size(), source.size() - m.delimiter.size() - closer.size());
            if (m.delimiter == "$$" ? inner.find(m.tex) == std::string_view::npos : inner != m.tex)
                fail("math tex is not the text between the delimiters", source);
        }
        prev_node_end = en;
    }
    return 0;
}
