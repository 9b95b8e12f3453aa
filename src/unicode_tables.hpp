// Range tables of Unicode character data (private to unicode.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace quenlor::unicode_tables {

struct CodeRange {
    char32_t lo, hi;  // inclusive
};

struct WidthRange {
    char32_t lo, hi;  // inclusive
    std::uint8_t width;
};

// Code points start, start+step, ... up to end map to code point + delta.
struct LowerRun {
    char32_t start, end;
    std::uint8_t step;
    std::int32_t delta;
};

// Lower-case mappings to several code points, as UTF-8.
struct LowerMulti {
    char32_t cp;
    const char* utf8;
};

extern const CodeRange white_space[];
extern const std::size_t white_space_size;
extern const CodeRange alphabetic[];
extern const std::size_t alphabetic_size;
extern const CodeRange numeric[];
extern const std::size_t numeric_size;
extern const CodeRange punctuation[];
extern const std::size_t punctuation_size;
extern const CodeRange cased[];
extern const std::size_t cased_size;
extern const CodeRange case_ignorable[];
extern const std::size_t case_ignorable_size;
extern const WidthRange widths[];
extern const std::size_t widths_size;
extern const LowerRun lower_runs[];
extern const std::size_t lower_runs_size;
extern const LowerMulti lower_multi[];
extern const std::size_t lower_multi_size;

}  // namespace quenlor::unicode_tables
