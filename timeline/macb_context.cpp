#include "timeline/macb_context.h"

#include "framework/text/uni_unicode.h"

void macb_context::clear() {
  reset_macb();
  names.clear();
  paths.clear();
  path.clear();
  stream_name.clear();
}

void macb_context::reset_macb() {
  macb_si = "....";
  macb_fn = "....";
  macb_fn83 = "....";
  seen_si = 0;
  seen_fn = 0;
  seen_fn83 = 0;
}

void macb_context::set_macb_letter(u32 attribute, u32 position) {
  static const char letters[] = "macb";
  if (position > 3) return;
  switch (attribute) {
    case 1:
      macb_si[position] = letters[position];
      seen_si = 1;
      break;
    case 2:
      macb_fn[position] = letters[position];
      seen_fn = 1;
      break;
    case 3:
      macb_fn83[position] = letters[position];
      seen_fn83 = 1;
      break;
    default:
      break;
  }
}

void macb_context::write_flags(std::ostream& out, bool end_line, bool with_fn83, bool with_fn) const {
  bool written = false;
  if (seen_si) {
    out << "si:[" << macb_si << "]";
    written = true;
  }
  if (seen_fn && with_fn) {
    if (written) out << "; ";
    out << "fn:[" << macb_fn << "]";
    written = true;
  }
  if (seen_fn83 && with_fn83) {
    if (written) out << "; ";
    out << "fn8.3[" << macb_fn83 << "]";
    written = true;
  }
  if (end_line && written) out << std::endl;
}

void add_macb_times(macb_context_map& map, u32 attribute, u64 m, u64 a, u64 c, u64 b, const wchar_t* name,
                    bool is_path) {
  macb_context model;
  std::string name_text;
  if (name != nullptr) {
    name_text = wstring_to_utf8(name);
    (is_path ? model.paths : model.names).insert(name_text);
  }
  const u64 times[4] = {m, a, c, b};
  for (u32 position = 0; position < 4; ++position) {
    if (times[position] == 0) continue;
    model.reset_macb();
    model.set_macb_letter(attribute, position);
    auto found = map.find(times[position]);
    if (found == map.end()) {
      map.emplace(times[position], model);
      continue;
    }
    found->second.set_macb_letter(attribute, position);
    if (name != nullptr) (is_path ? found->second.paths : found->second.names).insert(name_text);
  }
}
