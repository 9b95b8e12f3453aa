#include "definitions.hpp"

#include "../entity.hpp"
#include "../line.hpp"
#include "../unicode.hpp"

namespace quenlor {

namespace {

constexpr std::size_t max_label_chars = 999;

// Text after the leading spaces and tabs, or nothing when the line is
// indented more than three columns.
std::optional<std::string_view> after_definition_indent(std::string_view line) {
    if (leading_indent_columns(line) > 3) return std::nullopt;
    return line.substr(leading_indent_bytes(line));
}

std::size_t char_len_at(std::string_view s, std::size_t pos) {
    std::size_t next = pos;
    decode_utf8(s, next);
    return next - pos;
}

bool is_white_space_at(std::string_view s, std::size_t pos) {
    unsigned char b = static_cast<unsigned char>(s[pos]);
    if (b < 0x80) return b == ' ' || (b >= 0x09 && b <= 0x0D);
    return is_white_space(decode_utf8(s, pos));
}

// The label of a definition, which may run over several lines.
struct LabelScan {
    std::string content;
    std::size_t line = 0;  // line holding the closing "]"
    std::size_t after = 0; // byte after the "]" in that line
};

std::optional<LabelScan> scan_definition_label(const std::vector<std::string>& lines, std::size_t count,
                                               std::size_t index, std::string_view text) {
    LabelScan scan;
    std::size_t chars = 0;
    bool escaped = false;
    std::size_t line = index;
    std::size_t pos = 0;
    while (true) {
        while (pos < text.size()) {
            std::size_t len = char_len_at(text, pos);
            char c = text[pos];
            if (escaped) {
                escaped = false;
            } else if (c == ']') {
                scan.line = line;
                scan.after = pos + 1;
                return scan;
            } else if (c == '[') {
                return std::nullopt;
            } else {
                // Every unescaped character counts towards the length limit.
                if (++chars > max_label_chars) return std::nullopt;
                if (c == '\\') escaped = true;
                scan.content.append(text.substr(pos, len));
                pos += len;
                continue;
            }
            ++chars;
            scan.content.append(text.substr(pos, len));
            pos += len;
        }
        // The label continues on the next line, which must not be blank.
        if (line + 1 >= count || is_blank(lines[line + 1])) return std::nullopt;
        ++line;
        if (escaped) {
            escaped = false;
            ++chars;
        } else if (++chars > max_label_chars) {
            return std::nullopt;
        }
        scan.content.push_back('\n');
        text = trim_white_space_start(lines[line]);
        pos = 0;
    }
}

}  // namespace

bool starts_definition_title(std::string_view text) {
    text = trim_white_space_start(text);
    return !text.empty() && (text[0] == '"' || text[0] == '\'' || text[0] == '(');
}

std::optional<Attr> parse_link_ref_attrs(std::string_view text, const AttrDefs& defs) {
    text = trim_white_space(text);
    if (text.empty()) return Attr{};
    auto block = parse_braced_attr(text, defs);
    if (!block || !trim_white_space_start(text.substr(block->consumed)).empty()) return std::nullopt;
    return std::move(block->attr);
}

std::optional<ScannedDestination> scan_link_ref_destination(std::string_view text) {
    std::string_view raw;
    std::size_t consumed = 0;
    if (!text.empty() && text[0] == '<') {
        std::size_t i = 1;
        for (;; ++i) {
            if (i >= text.size() || text[i] == '\n') return std::nullopt;
            if (text[i] == '\\') {
                ++i;
                if (i >= text.size()) return std::nullopt;
                continue;
            }
            if (text[i] == '>') break;
        }
        raw = text.substr(1, i - 1);
        consumed = i + 1;
    } else {
        std::size_t depth = 0;
        std::size_t i = 0;
        while (i < text.size()) {
            char c = text[i];
            if (c == '\\') {
                i += 1 + (i + 1 < text.size() ? char_len_at(text, i + 1) : 0);
                continue;
            }
            if (is_white_space_at(text, i)) break;
            if (c == '<') return std::nullopt;
            if (c == '(') {
                ++depth;
            } else if (c == ')') {
                if (depth == 0) {
                    if (i == 0) return std::nullopt;
                    break;
                }
                --depth;
            }
            i += char_len_at(text, i);
        }
        if (i == 0 || depth != 0) return std::nullopt;
        raw = text.substr(0, i);
        consumed = i;
    }
    return ScannedDestination{decode_entities(unescape_backslash_punctuation(raw)), consumed};
}

std::optional<ScannedTitle> scan_link_ref_title_lines(std::string title_so_far, const std::vector<std::string>& lines,
                                                      std::size_t count, std::size_t next_line) {
    std::string text(trim_white_space_start(title_so_far));
    if (text.empty()) return std::nullopt;
    char open = text[0];
    char close = open == '(' ? ')' : open;
    if (open != '"' && open != '\'' && open != '(') return std::nullopt;
    // The scan resumes where it stopped when a further line is appended.
    std::size_t i = 1;
    bool escaped = false;
    while (true) {
        for (; i < text.size(); ++i) {
            if (escaped) {
                escaped = false;
            } else if (text[i] == '\\') {
                escaped = true;
            } else if (text[i] == close) {
                ScannedTitle result;
                result.title = decode_entities(unescape_backslash_punctuation(std::string_view(text).substr(1, i - 1)));
                result.after = text.substr(i + 1);
                result.next_line = next_line;
                return result;
            }
        }
        if (next_line >= count || is_blank(lines[next_line])) return std::nullopt;
        text.push_back('\n');
        text.append(trim_unicode_end(lines[next_line]));
        ++next_line;
    }
}

std::optional<LinkRefDef> parse_link_ref_at(const std::vector<std::string>& lines, std::size_t count,
                                            std::size_t index, const AttrDefs& defs) {
    if (index >= count || index >= lines.size()) return std::nullopt;
    if (count > lines.size()) count = lines.size();
    auto start = after_definition_indent(lines[index]);
    if (!start || start->empty() || (*start)[0] != '[') return std::nullopt;
    if (start->size() >= 2 && (*start)[1] == '^') return std::nullopt;

    auto label = scan_definition_label(lines, count, index, start->substr(1));
    if (!label) return std::nullopt;
    std::size_t line = label->line;
    std::string_view text = line == index ? start->substr(1) : trim_white_space_start(lines[line]);
    if (label->after >= text.size() || text[label->after] != ':') return std::nullopt;
    if (!valid_link_label(label->content, false)) return std::nullopt;

    // Destination, on this line or the next.
    std::string_view dest_text = trim_white_space_start(text.substr(label->after + 1));
    if (dest_text.empty()) {
        if (line + 1 >= count || is_blank(lines[line + 1])) return std::nullopt;
        ++line;
        dest_text = trim_white_space_start(lines[line]);
    }
    auto dest = scan_link_ref_destination(dest_text);
    if (!dest) return std::nullopt;
    if (dest->consumed < dest_text.size() && !is_white_space_at(dest_text, dest->consumed)) return std::nullopt;

    LinkRefDef def;
    def.label = std::move(label->content);
    def.ref.url = std::move(dest->destination);
    def.next_line = line + 1;

    std::string_view after = trim_white_space_start(dest_text.substr(dest->consumed));
    if (starts_definition_title(after)) {
        auto title = scan_link_ref_title_lines(std::string(after), lines, count, line + 1);
        if (!title) return std::nullopt;
        auto attr = parse_link_ref_attrs(title->after, defs);
        if (!attr) return std::nullopt;
        def.ref.title = std::move(title->title);
        def.ref.attr = std::move(*attr);
        def.next_line = title->next_line;
    } else if (!after.empty()) {
        auto attr = parse_link_ref_attrs(after, defs);
        if (!attr) return std::nullopt;
        def.ref.attr = std::move(*attr);
    } else if (line + 1 < count && !is_blank(lines[line + 1]) && starts_definition_title(lines[line + 1])) {
        // A title on the next line belongs to the definition only if it is
        // complete and followed by nothing but an attribute block.
        auto title = scan_link_ref_title_lines(std::string(trim_white_space_start(lines[line + 1])), lines, count,
                                               line + 2);
        if (title) {
            if (auto attr = parse_link_ref_attrs(title->after, defs)) {
                def.ref.title = std::move(title->title);
                def.ref.attr = std::move(*attr);
                def.next_line = title->next_line;
            }
        }
    }
    return def;
}

std::optional<AbbrDef> parse_abbr_def(std::string_view line) {
    auto start = after_definition_indent(line);
    if (!start || start->size() < 2 || start->substr(0, 2) != "*[") return std::nullopt;
    std::string_view rest = start->substr(2);
    std::size_t close = rest.find(']');
    if (close == std::string_view::npos || close == 0) return std::nullopt;
    std::string_view after = trim_white_space_start(rest.substr(close + 1));
    if (after.empty() || after[0] != ':') return std::nullopt;
    return AbbrDef{std::string(rest.substr(0, close)), std::string(trim_white_space(after.substr(1)))};
}

}  // namespace quenlor
