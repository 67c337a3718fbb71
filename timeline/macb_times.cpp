#include "timeline/macb_times.h"

namespace {

constexpr u64 unix_epoch_filetime = 116444736000000000ULL;  // 1970-01-01 as a FILETIME
constexpr u64 ticks_per_second = 10000000ULL;
constexpr u64 safari_epoch_unix = 978307200ULL;  // 2001-01-01 in unix seconds
constexpr u64 nanoseconds_from = 1ULL << 32;     // safari values from here on count nanoseconds

// Unix seconds of a raw value of kind, 0 when it is absent or before 1970.
u64 unix_seconds_of(u64 t, u32 kind) {
  if (t == 0) return 0;
  switch (kind) {
    case time_kind_filetime:
      if (static_cast<i64>(t) <= 0 || t < unix_epoch_filetime) return 0;
      return (t - unix_epoch_filetime) / ticks_per_second;
    case time_kind_chrome:
      // Microseconds since 1601: ten times the value must still be a FILETIME.
      if (t > static_cast<u64>(INT64_MAX) / 10 || t * 10 < unix_epoch_filetime) return 0;
      return (t * 10 - unix_epoch_filetime) / ticks_per_second;
    case time_kind_firefox:
      // Signed microseconds since 1970.
      if (static_cast<i64>(t) <= 0) return 0;
      return t / 1000000ULL;
    default:  // time_kind_cocoa
      return t >= nanoseconds_from ? t / 1000000000ULL + safari_epoch_unix : t + safari_epoch_unix;
  }
}

// Whether both instants are valid and fall on the same FILETIME.
bool same_instant(const qz::time& a, const qz::time& b) { return a.valid && b.valid && a.filetime == b.filetime; }

void append_unique(std::string& stored, const std::string& text) {
  if (text.empty() || stored.find(text) != std::string::npos) return;
  stored += "; ";
  stored += text;
}

// One anchored row while it is built.
struct row_builder {
  macb_output row;
  bool notes_started = false;

  void write_label(const std::string& label) {
    if (notes_started) row.notes += "; ";
    row.notes += label;
    notes_started = true;
  }
  // The notes of a position that matched: its label, else its letter inside the tag's pattern.
  void note_match(const std::string& label, const std::string& tag, char letter) {
    if (!label.empty()) {
      write_label(label);
    } else if (!tag.empty()) {
      row.notes += letter;
    }
  }
  void note_miss(const std::string& tag) {
    row.macb += '.';
    if (!tag.empty()) row.notes += '.';
  }
  // Starts the notes with the anchor's label, else with the tag and the pattern so far.
  void start_notes(const std::string& label, const std::string& tag, const char* pattern) {
    if (!label.empty()) {
      row.notes = label;
      notes_started = true;
    } else if (!tag.empty()) {
      row.notes = tag + " [" + pattern;
    }
  }
};

class merger {
 public:
  merger(macb_rows& rows, macb_input& input, u32 kind) : rows_(rows), in_(input) {
    tm_ = qz::time(input.m_time, kind);
    ta_ = qz::time(input.a_time, kind);
    tc_ = qz::time(input.c_time, kind);
    tb_ = qz::time(input.b_time, kind);
    for (u64 value : input.more_times) more_filetimes_.push_back(qz::time(value, time_kind_filetime).filetime);
    // The lists are kept at one length by add_time; a caller that filled them by hand may not have.
    const size_t n = input.more_times.size();
    input.more_labels.resize(n);
    input.more_sources.resize(n);
    input.more_files.resize(n);
    input.more_used.resize(n, 0);
  }

  void run() {
    const std::string& tag = in_.pattern_tag;
    if (tm_.valid && in_.m_time != 0) {
      row_builder b;
      b.row.macb = 'M';
      b.start_notes(in_.m_label, tag, "M");
      position(b, ta_, tm_, a_taken_, in_.a_label, 'A');
      c_position_with_further(b, tm_, !c_taken_);
      position(b, tb_, tm_, b_taken_, in_.b_label, 'B');
      finish(b, in_.m_time, tm_);
    }
    if (!a_taken_ && ta_.valid && in_.a_time != 0) {
      row_builder b;
      b.row.macb = ".A";
      b.start_notes(in_.a_label, tag, ".A");
      c_position_with_further(b, ta_, !c_taken_);
      b_position(b, ta_);
      finish(b, in_.a_time, ta_);
    }
    if (!c_taken_ && tc_.valid && in_.c_time != 0) {
      row_builder b;
      b.row.macb = "..C";
      b.start_notes(in_.c_label, tag, "..C");
      take_further(b, tc_);
      b_position(b, tc_);
      finish(b, in_.c_time, tc_);
    }
    if (!b_taken_ && tb_.valid && in_.b_time != 0) {
      row_builder b;
      const bool further = take_further(b, tb_);
      b.row.macb = further ? "..CB" : "...B";
      if (!in_.b_label.empty()) {
        b.write_label(in_.b_label);
      } else if (!tag.empty()) {
        b.row.notes += tag + (further ? " [..CB]" : " [...B]");
      }
      // finish would close a pattern that this row has already closed.
      b_taken_ = true;
      store(b, in_.b_time, tb_);
    }
    for (size_t i = 0; i < more_filetimes_.size(); ++i) {
      if (in_.more_used[i] != 0) continue;
      in_.more_used[i] = 1;
      macb_output row;
      row.kind = in_.kind;
      row.raw_time = more_filetimes_[i];
      row.time = qz::time(static_cast<i64>(more_filetimes_[i]), time_kind_filetime);
      row.macb = "..C.";
      row.notes = in_.more_labels[i];
      row.source = in_.more_sources[i];
      row.filename = in_.more_files[i];
      row.extra_value = in_.extra_value;
      rows_.emplace(row.raw_time, std::move(row));
    }
  }

 private:
  // Position A or B of a row anchored at anchor.
  void position(row_builder& b, const qz::time& t, const qz::time& anchor, bool& taken, const std::string& label,
                char letter) {
    if (same_instant(t, anchor)) {
      b.row.macb += letter;
      taken = true;
      b.note_match(label, in_.pattern_tag, letter);
    } else {
      b.note_miss(in_.pattern_tag);
    }
  }

  // Position B of the A and C rows: B when it is not taken yet and shares the anchor's instant.
  void b_position(row_builder& b, const qz::time& anchor) {
    if (!b_taken_) {
      position(b, tb_, anchor, b_taken_, in_.b_label, 'B');
    } else {
      b.note_miss(in_.pattern_tag);
    }
  }

  // Position C of the M and A rows: the C time when it may still match, then the further times.
  void c_position_with_further(row_builder& b, const qz::time& anchor, bool c_may_match) {
    bool c_matched = false;
    if (c_may_match && same_instant(tc_, anchor)) {
      b.row.macb += 'C';
      c_taken_ = true;
      c_matched = true;
      b.note_match(in_.c_label, in_.pattern_tag, 'C');
    }
    const bool further = take_further(b, anchor);
    if (further && !c_matched) b.row.macb += 'C';
    if (!further && !c_matched) b.note_miss(in_.pattern_tag);
  }

  // Takes every free further time on the anchor's instant; whether any was taken.
  bool take_further(row_builder& b, const qz::time& anchor) {
    bool any = false;
    for (size_t i = 0; i < more_filetimes_.size(); ++i) {
      if (in_.more_used[i] != 0 || !anchor.valid || more_filetimes_[i] != anchor.filetime) continue;
      in_.more_used[i] = 1;
      any = true;
      if (!in_.more_labels[i].empty()) b.write_label(in_.more_labels[i]);
      b.row.source += in_.more_sources[i];
      b.row.filename += in_.more_files[i];
    }
    return any;
  }

  void finish(row_builder& b, u64 raw, const qz::time& anchor) {
    if (!in_.pattern_tag.empty()) b.row.notes += ']';
    store(b, raw, anchor);
  }

  void store(row_builder& b, u64 raw, const qz::time& anchor) {
    b.row.kind = in_.kind;
    b.row.raw_time = raw;
    b.row.time = anchor;
    b.row.extra_value = in_.extra_value;
    rows_.emplace(raw, std::move(b.row));
  }

  macb_rows& rows_;
  macb_input& in_;
  qz::time tm_, ta_, tc_, tb_;
  std::vector<u64> more_filetimes_;
  bool a_taken_ = false;
  bool c_taken_ = false;
  bool b_taken_ = false;
};

}  // namespace

void macb_input::clear() {
  m_time = a_time = c_time = b_time = 0;
  m_label.clear();
  a_label.clear();
  c_label.clear();
  b_label.clear();
  pattern_tag.clear();
  kind = time_kind_filetime;
  extra_value = 0;
  more_times.clear();
  more_labels.clear();
  more_sources.clear();
  more_files.clear();
  more_used.clear();
}

void macb_input::set_times(u64 m, u64 a, u64 c, u64 b, u32 time_kind_value) {
  m_time = m;
  a_time = a;
  c_time = c;
  b_time = b;
  kind = time_kind_value;
}

bool macb_input::set_times_unix(u64 m, u64 a, u64 c, u64 b, u32 time_kind_value) {
  switch (time_kind_value) {
    case time_kind_unix:
      set_times(m, a, c, b, time_kind_unix);
      return true;
    case time_kind_filetime:
    case time_kind_chrome:
    case time_kind_firefox:
    case time_kind_cocoa:
      set_times(unix_seconds_of(m, time_kind_value), unix_seconds_of(a, time_kind_value),
                unix_seconds_of(c, time_kind_value), unix_seconds_of(b, time_kind_value), time_kind_unix);
      return true;
    default:
      return false;
  }
}

void macb_input::set_default_labels() {
  set_labels("Last Modified", "Last Access", "Metadata Changed", "Created");
}

void macb_input::set_labels(const std::string& m, const std::string& a, const std::string& c, const std::string& b) {
  m_label = m;
  a_label = a;
  c_label = c;
  b_label = b;
}

void macb_input::add_time(u64 filetime, const std::string& label, const std::string& source, const std::string& file) {
  // Lists a caller filled by hand keep the one length add_time relies on.
  more_labels.resize(more_times.size());
  more_sources.resize(more_times.size());
  more_files.resize(more_times.size());
  more_used.resize(more_times.size(), 0);
  bool found = false;
  for (size_t i = 0; i < more_times.size(); ++i) {
    if (more_times[i] != filetime) continue;
    found = true;
    append_unique(more_labels[i], label);
    append_unique(more_sources[i], source);
    append_unique(more_files[i], file);
  }
  if (found) return;
  more_times.push_back(filetime);
  more_labels.push_back(label);
  more_sources.push_back(source);
  more_files.push_back(file);
  more_used.push_back(0);
}

void macb_output::clear() {
  kind = time_kind_filetime;
  raw_time = 0;
  time = qz::time();
  macb.clear();
  notes.clear();
  extra_value = 0;
  desc_parts.clear();
  source.clear();
  filename.clear();
  user.clear();
  reserved_text.clear();
  extra.clear();
  use_row = 0;
}

void merge_macb_times(macb_rows& rows, macb_input& input, u32 time_kind_value) {
  merger(rows, input, time_kind_value).run();
}
