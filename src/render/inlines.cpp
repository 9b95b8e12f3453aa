// Markup of inline nodes and footnote references.
#include <type_traits>

#include "render.hpp"

namespace quenlor {

namespace {

// The start tag's opening ("<em") and the end tag ("</em>") of a kind, each
// written with one append.
struct TagPair {
    std::string_view start;
    std::string_view end;
};
template <class T>
constexpr TagPair tags_of() {
    if constexpr (std::is_same_v<T, Emph>) return {"<em", "</em>"};
    else if constexpr (std::is_same_v<T, Strong>) return {"<strong", "</strong>"};
    else if constexpr (std::is_same_v<T, Strike>) return {"<del", "</del>"};
    else if constexpr (std::is_same_v<T, Highlight>) return {"<mark", "</mark>"};
    else if constexpr (std::is_same_v<T, Span>) return {"<span", "</span>"};
    else if constexpr (std::is_same_v<T, Superscript>) return {"<sup", "</sup>"};
    else if constexpr (std::is_same_v<T, Subscript>) return {"<sub", "</sub>"};
    else if constexpr (std::is_same_v<T, Code>) return {"<code", "</code>"};
    else return {};
}

void write_title(const OptionalText& title, std::string& out) {
    if (!title) return;
    out.append(" title=\"");
    escape_attr(*title, out);
    out.push_back('"');
}

}  // namespace

void Renderer::inlines(const Inlines& list, std::string& out) {
    for (const Inline& node : list) inline_node(node, out);
}

void Renderer::paragraph_inlines(const Paragraph& p, std::string& out) {
    const std::string_view text = unparsed_text(p);
    if (!text.data()) {
        inlines(p.inlines, out);
        return;
    }
    // Each node is written as the parse hands it over: the same markup as
    // the node list would give, without the list.
    struct Writer final : InlineSink {
        Renderer& renderer;
        std::string& out;
        Writer(Renderer& r, std::string& o) : renderer(r), out(o) {}
        void node(const Inline& node) override { renderer.inline_node(node, out); }
        void text(std::string_view text) override { escape_text(text, out); }
    } writer(*this, out);
    visit_inlines(text, *ctx_, writer);
}

void Renderer::inline_node(const Inline& node, std::string& out) {
    std::visit(
        [&](const auto& n) {
            using T = std::decay_t<decltype(n)>;
            if constexpr (std::is_same_v<T, Text>) {
                escape_text(n.text, out);
            } else if constexpr (std::is_same_v<T, SoftBreak>) {
                out.push_back('\n');
            } else if constexpr (std::is_same_v<T, HardBreak>) {
                out.append("<br />\n");
            } else if constexpr (std::is_same_v<T, Emph> || std::is_same_v<T, Strong> ||
                                 std::is_same_v<T, Strike> || std::is_same_v<T, Highlight> ||
                                 std::is_same_v<T, Span>) {
                out.append(tags_of<T>().start);
                attrs_html(n.attr, out);
                out.push_back('>');
                inlines(n.children, out);
                out.append(tags_of<T>().end);
            } else if constexpr (std::is_same_v<T, Superscript> || std::is_same_v<T, Subscript> ||
                                 std::is_same_v<T, Code>) {
                out.append(tags_of<T>().start);
                attrs_html(n.attr, out);
                out.push_back('>');
                escape_text(n.text, out);
                out.append(tags_of<T>().end);
            } else if constexpr (std::is_same_v<T, Link>) {
                out.append("<a href=\"");
                escape_url_attr(n.url, out);
                out.push_back('"');
                write_title(n.title, out);
                attrs_html(n.attr, out);
                out.push_back('>');
                inlines(n.children, out);
                out.append("</a>");
            } else if constexpr (std::is_same_v<T, Image>) {
                out.append("<img src=\"");
                escape_url_attr(n.url, out);
                out.append("\" alt=\"");
                // The description is usually a single text node; avoid building
                // its plain form then.
                if (n.children.size() == 1 && n.children.front().template is<Text>()) {
                    escape_attr(n.children.front().template as<Text>().text, out);
                } else {
                    escape_attr(plain(n.children), out);
                }
                out.push_back('"');
                write_title(n.title, out);
                attrs_html(n.attr, out);
                out.append(" />");
            } else if constexpr (std::is_same_v<T, Autolink>) {
                out.append("<a href=\"");
                escape_url_attr(n.url, out);
                out.append("\">");
                escape_text(n.text, out);
                out.append("</a>");
            } else if constexpr (std::is_same_v<T, Abbr>) {
                out.append("<abbr title=\"");
                escape_attr(n.title, out);
                out.append("\">");
                escape_text(n.text, out);
                out.append("</abbr>");
            } else if constexpr (std::is_same_v<T, HtmlInline>) {
                out.append(n.html);
            } else if constexpr (std::is_same_v<T, MathInline>) {
                out.append("<span");
                attrs_html(n.attr, {"math", n.display ? "display" : "inline"}, out);
                out.push_back('>');
                escape_text(n.tex, out);
                out.append("</span>");
            } else if constexpr (std::is_same_v<T, FootnoteRef>) {
                footnote_ref(n.label, out);
            } else if constexpr (std::is_same_v<T, Note>) {
                // The content goes to the footnotes section under a synthetic label.
                std::string label = "__note";
                append_decimal(notes_.size() + 1, label);
                notes_.insert_or_assign(label, &n.children);
                footnote_ref(label, out);
            } else if constexpr (std::is_same_v<T, RawInline>) {
                out.append("<script type=\"text/x-");
                escape_attr(n.format, out);
                out.append("\">");
                escape_text(n.text, out);
                out.append("</script>");
            } else {
                static_assert(sizeof(T) == 0, "every inline kind is rendered");
            }
        },
        node.v);
}

void Renderer::footnote_ref(const std::string& label, std::string& out) {
    auto [it, inserted] = footnote_uses_.try_emplace(label);
    if (inserted) {
        footnote_order_.push_back(label);
        it->second.number = footnote_order_.size();
    }
    const std::size_t k = ++it->second.refs;
    const std::size_t number = it->second.number;
    // Fragments hold nothing that attribute escaping would change.
    out.append("<sup id=\"fnref-");
    append_fragment(label, out);
    if (k > 1) {
        out.push_back('-');
        append_decimal(k, out);
    }
    out.append("\"><a href=\"#fn-");
    append_fragment(label, out);
    out.append("\" class=\"footnote-ref\" role=\"doc-noteref\">");
    append_decimal(number, out);
    out.append("</a></sup>");
}

}  // namespace quenlor
