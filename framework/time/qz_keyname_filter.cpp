#include "framework/time/qz_keyname_filter.h"

#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_path.h"

void keyname_filter::clear() { *this = keyname_filter(); }

std::string keyname_filter::get_common_path(const std::string& text) {
  u64 mask = 0;
  if (!parse_u64(text.c_str(), mask)) return "";
  return mac_library_subpath(unsigned(mask & 0x3F));
}
