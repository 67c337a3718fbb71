#include "timeline/aligned_row_writer.h"

#include <algorithm>

#include "timeline/variant_render.h"
#include "timeline/variant_row.h"

namespace {

cell_text_callback text_callback(aligned_cell_text_fn fn) {
  if (fn == nullptr) return {};
  return [fn](std::string& cell_text, const std::string& input) { fn(cell_text, input); };
}

constexpr aligned_row_writer timeline_writer = {&write_aligned_cells, &write_aligned_row};

}  // namespace

const aligned_row_writer& timeline_aligned_row_writer() { return timeline_writer; }

void write_aligned_row(std::ostream& out, const std::vector<std::string>& values, cmd_params& settings,
                       u32 default_flags, aligned_cell_text_fn first, aligned_cell_text_fn second) {
  settings.non_xml_output = 0;
  settings.sqlite_on = 0;
  const size_t count = std::min<size_t>(values.size(), 255);
  if (count == 0) return;
  variant_row row(static_cast<i32>(count), true, default_flags);
  std::vector<qz_variant_lite> model = settings.source_columns;
  for (qz_variant_lite& cell : model) cell.flags |= default_flags;
  const cell_text_callback first_callback = text_callback(first);
  const cell_text_callback second_callback = text_callback(second);
  for (size_t i = 0; i < count; ++i) {
    const i32 index = static_cast<i32>(i);
    if (row.parse_cell(index, values[i], model, &settings.time_spec, first_callback, second_callback) != 1) continue;
    qz_variant_lite& cell = row.cells[i];
    if (cell.type == variant_text) cell.text = quote_cell_text(cell.text, cell.flags);
  }
  write_variant_row(out, row, settings);
}
