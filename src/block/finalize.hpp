// Finalisation: draft blocks become document blocks once the inline parser
// can see every definition of the document.
#pragma once

#include <vector>

#include "../ast.hpp"
#include "../inline/inline.hpp"
#include "draft.hpp"

namespace quenlor {

Blocks finalize_blocks(DraftBlocks drafts, const InlineContext& ctx);
// One draft (its content is moved out), for callers that handle a document block by block.
Block finalize_draft(DraftBlock& draft, const InlineContext& ctx);
std::vector<TableRowData> finalize_table_rows(std::vector<DraftTableRow> rows, const InlineContext& ctx);

}  // namespace quenlor
