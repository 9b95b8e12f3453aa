// Automatic heading identifiers.
#pragma once
#include "ast.hpp"
namespace quenlor::auto_ids {
void assign(Document& document);
}
