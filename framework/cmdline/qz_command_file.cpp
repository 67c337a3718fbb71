#include "framework/cmdline/qz_command_file.h"

#include <algorithm>
#include <string_view>

#include "framework/io/uni_file_utils.h"
#include "framework/text/qz_split.h"

namespace {

const std::string cmd_open = "<!cmd>";
const std::string cmd_close = "</!cmd>";
const std::string arg_open = "<!arg=";
const std::string arg_close = "</!arg>";
constexpr u64 largest_command_file = 0xFFFFFFFF;

void remove_chars(std::string& text, const char* chars) {
  text.erase(std::remove_if(text.begin(), text.end(),
                            [chars](char c) { return std::string_view(chars).find(c) != std::string_view::npos; }),
             text.end());
}

// Moves every argument element of block into record (name, value) and cuts it out of block.
void take_arguments(std::string& block, command_record& record) {
  for (std::size_t start = block.find(arg_open); start != std::string::npos; start = block.find(arg_open)) {
    const std::size_t name_start = start + arg_open.size();
    const std::size_t close = block.find(arg_close, name_start);
    // An element left open runs to the end of the block.
    const std::size_t content_end = close == std::string::npos ? block.size() : close;
    const std::size_t name_end = block.find('>', name_start);
    std::string name;
    std::string value;
    if (name_end == std::string::npos || name_end >= content_end) {
      name = block.substr(name_start, content_end - name_start);
    } else {
      name = block.substr(name_start, name_end - name_start);
      value = block.substr(name_end + 1, content_end - name_end - 1);
    }
    remove_chars(name, "\"'");
    record.push_back(name);
    record.push_back(value);
    block.erase(start, close == std::string::npos ? std::string::npos : close + arg_close.size() - start);
  }
}

command_record parse_block(std::string block) {
  command_record record{block};
  take_arguments(block, record);
  std::vector<std::string> words;
  split_quoted(block, ' ', words, true, false);
  for (std::string& word : words) {
    remove_chars(word, "\"");
    record.push_back(word);
  }
  if (record.size() == 1) record.clear();
  return record;
}

}  // namespace

bool parse_command_file(std::vector<command_record>& records, const std::string& path, bool keep_line_feeds) {
  records.clear();
  if (path.empty()) return false;
  std::string text;
  // One byte beyond the limit tells a file too large from one that just fits.
  if (!load_file_text(text, path, largest_command_file + 1) || text.size() > largest_command_file) return false;
  if (!keep_line_feeds) std::replace(text.begin(), text.end(), '\n', ' ');
  remove_chars(text, "\r\t");

  // A block runs from "<!cmd>" to the next "</!cmd>". One left open (the file ends, or another
  // "<!cmd>" begins, before its "</!cmd>") may be a truncated command and gives no record.
  for (std::size_t open = text.find(cmd_open); open != std::string::npos;) {
    const std::size_t content = open + cmd_open.size();
    const std::size_t close = text.find(cmd_close, content);
    if (close == std::string::npos) break;
    const std::size_t next_open = text.find(cmd_open, content);
    if (next_open > close) records.push_back(parse_block(text.substr(content, close - content)));
    open = next_open;
  }
  return !records.empty();
}
