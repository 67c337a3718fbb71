// The choice of writer: the action flags name it, and its hooks (csv_writer_rules.h) are what
// the caller hands the conversion driver.
#pragma once

#include "framework/text/qz_types.h"
#include "tool/csv_writer_rules.h"
#include "tool/quazel_tool_metadata.h"

// The writers, in the order the action flags choose them.
enum class csv_writer_kind : u8 { none, html, json, sqlite, split, cleanup };

// The first action flag set, in the order to_html, to_json, to_sqlite, split, cleanup; none
// when no flag is set.
csv_writer_kind select_csv_writer(const quazel_tool_metadata& ctx);
// The hooks of a writer; null for none.
const csv_writer_hooks* csv_writer_hooks_for(csv_writer_kind kind);
// The hooks of the writer the action flags choose; null for none.
const csv_writer_hooks* active_csv_writer(const quazel_tool_metadata& ctx);
