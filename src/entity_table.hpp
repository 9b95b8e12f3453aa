// The named character reference table (private to entity.cpp).
#pragma once

#include <cstddef>

namespace quenlor::entity_table {

struct NamedEntity {
    const char* name;  // without "&" and ";"
    unsigned char name_len;
    const char* text;  // replacement, UTF-8
    unsigned char text_len;
};

extern const NamedEntity entities[];
extern const std::size_t entities_size;

}  // namespace quenlor::entity_table
