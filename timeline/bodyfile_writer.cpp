#include "timeline/bodyfile_writer.h"

#include <iomanip>
#include <sstream>

#include "sqlite_store/sqlite_artifact.h"
#include "sqlite_store/bodyfile_columns.h"

namespace {

// A text as one column of a bodyfile line: "|" becomes ";" so that it cannot split the
// columns, and every control character (line ends, TAB, ESC ...) "^" so that it cannot split
// the line or garble a terminal, as fls writes names.
std::string column_text(const std::string& text) {
  std::string column = text;
  for (char& ch : column) {
    if (ch == '|') {
      ch = ';';
    } else if (static_cast<unsigned char>(ch) < 0x20) {
      ch = '^';
    }
  }
  return column;
}

}  // namespace

void bodyfile_record::clear() {
  md5.clear();
  name.clear();
  inode = 0;
  mode.clear();
  uid = 0;
  gid = 0;
  size = 0;
  times.clear();
  times.kind = time_kind_unix;
  timezone = "UTC";
  store = nullptr;
  params = nullptr;
}

int write_bodyfile_record(bool* first, std::ostream* out, const bodyfile_record& rec) {
  const bool to_database = rec.store != nullptr && rec.store->db_open;
  if (!to_database && out == nullptr) return 0;
  bool written = true;
  if (!to_database) *out << std::setfill(' ') << std::dec << std::left;
  std::ostringstream line;
  if (first != nullptr && *first) {
    *first = false;
    if (to_database) {
      write_bodyfile_header(line);
      if (rec.params != nullptr) rec.store->set_artifact_type(rec.params->artifact_type_text.c_str());
      rec.store->set_col_hdrs(line.str().c_str());
      rec.store->start_new_run(false);
    } else {
      write_bodyfile_header(*out);
      *out << '\n';
      written = static_cast<bool>(*out);
    }
    if (rec.params != nullptr) rec.params->non_xml_output = 0;
  }
  line.str(std::string());
  const std::string name = column_text(rec.name);
  const macb_input& t = rec.times;
  line << (rec.md5.empty() ? std::string("0") : column_text(rec.md5)) << '|' << name << '|' << rec.inode << '|'
       << column_text(rec.mode) << '|' << rec.uid << '|' << rec.gid << '|' << rec.size << '|' << t.a_time << '|'
       << t.m_time << '|' << t.c_time << '|' << t.b_time;
  if (rec.params == nullptr || rec.params->sqlite_off != 0) line << '\n';
  if (to_database) {
    const std::string artifact =
        rec.params != nullptr && !rec.params->artifact_type_text.empty() ? rec.params->artifact_type_text : "";
    rec.store->add_generic_row(line, t.m_time, t.a_time, name, artifact, t.c_time, t.b_time, 0);
    return 1;
  }
  *out << line.str();
  if (!*out) written = false;
  return written ? 1 : 0;
}
