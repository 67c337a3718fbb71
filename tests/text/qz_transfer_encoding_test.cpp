#include "framework/text/qz_transfer_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/text/qz_replace.h"
#include "tests/text/reference_tool.h"

namespace {

std::string encode(const std::string& data, bool wrap, bool terminate, bool crlf) {
  std::vector<char> out = {'x'};
  if (!base64_encode(reinterpret_cast<const u8*>(data.data()), i32(data.size()), out, wrap,
                     terminate, crlf))
    return "false:" + std::string(out.begin(), out.end());
  return std::string(out.begin(), out.end());
}

std::string letters(size_t n) {
  std::string text;
  for (size_t i = 0; i < n; ++i) text += char('a' + i % 26);
  return text;
}

// Inputs for the reference comparisons: lengths 0-3, around one encoded line (57 bytes) and
// two, every byte value, and long text.
std::vector<std::string> base64_inputs() {
  std::vector<std::string> inputs = {"",           "a",          "ab",        "abc",
                                     letters(56),  letters(57),  letters(58), letters(114),
                                     letters(115), letters(1000)};
  std::string all_bytes;
  for (int b = 0; b < 256; ++b) all_bytes += char(b);
  inputs.push_back(all_bytes);
  inputs.push_back(std::string("\0\xff\x80\x01\n\r", 6));
  return inputs;
}

TEST(Base64Encode, GroupsPaddingAndLineBreaks) {
  EXPECT_EQ(encode("abc", false, false, false), "YWJj");
  EXPECT_EQ(encode("ab", false, false, false), "YWI=");
  EXPECT_EQ(encode("a", false, false, false), "YQ==");
  const std::string line57 = encode(letters(57), false, false, false);
  ASSERT_EQ(line57.size(), 76u);
  EXPECT_EQ(encode(letters(57), true, false, true), line57 + "\r\n\r\n");
  // Without crlf there is no line break at all, with crlf alone only the final one.
  EXPECT_EQ(encode(letters(58), true, false, false).size(), 80u);
  EXPECT_EQ(encode(letters(58), false, false, true),
            encode(letters(58), false, false, false) + "\r\n");
  const std::string wrapped = encode(letters(58), true, false, true);
  EXPECT_EQ(wrapped,
            line57 + "\r\n" + encode(letters(58), false, false, false).substr(76) + "\r\n");
  const std::string terminated = encode("a", false, true, false);
  EXPECT_EQ(terminated, std::string("YQ==\0", 5));
  EXPECT_EQ(encode("", true, true, true), "false:");
  std::vector<char> out = {'x'};
  EXPECT_FALSE(base64_encode(nullptr, 3, out, false, false, false));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(base64_encode(reinterpret_cast<const u8*>("abc"), -1, out, false, false, false));
}

TEST(Base64Encode, AgreesWithCoreutilsBase64) {
  if (!reference_tool_present("base64")) GTEST_SKIP() << "coreutils base64 not found: skipped";
  for (const auto& input : base64_inputs()) {
    std::string plain, wrapped;
    ASSERT_TRUE(run_reference_tool("base64 -w 0", input, plain));
    ASSERT_TRUE(run_reference_tool("base64 -w 76", input, wrapped));
    if (input.empty()) {
      EXPECT_EQ(plain, "");
      continue;
    }
    EXPECT_EQ(encode(input, false, false, false), plain) << input.size() << " bytes";
    // Our lines end in CR LF, and data that fills its last line exactly gets one more line end.
    std::string ours = encode(input, true, false, true);
    replace_all(ours, "\r\n", "\n");
    if (input.size() % 57 == 0) ours.pop_back();
    EXPECT_EQ(ours, wrapped) << input.size() << " bytes";
  }
}

TEST(Base64Encode, AgreesWithPythonBase64) {
  if (!reference_tool_present("python3")) GTEST_SKIP() << "python3 not found: skipped";
  std::vector<std::string> inputs = base64_inputs();
  inputs.erase(inputs.begin());  // the empty input is refused here
  std::vector<std::string> plain, wrapped;
  ASSERT_TRUE(run_python_per_input("import base64", "base64.b64encode(data)", inputs, plain));
  ASSERT_TRUE(run_python_per_input(
      "import base64", "base64.encodebytes(data).replace(b\"\\n\", b\"\\r\\n\")", inputs, wrapped));
  for (size_t i = 0; i < inputs.size(); ++i) {
    EXPECT_EQ(encode(inputs[i], false, false, false), plain[i]) << inputs[i].size() << " bytes";
    std::string ours = encode(inputs[i], true, false, true);
    if (inputs[i].size() % 57 == 0) ours.resize(ours.size() - 2);
    EXPECT_EQ(ours, wrapped[i]) << inputs[i].size() << " bytes";
  }
}

TEST(QuotedPrintableEncode, EscapesAndSoftBreaks) {
  struct Case {
    const char* name;
    std::string in, out;
  };
  const Case cases[] = {
      {"empty", "", ""},
      {"equals sign", "a=b", "a=3Db"},
      {"80 letters", std::string(80, 'x'), std::string(75, 'x') + "=\r\n" + std::string(5, 'x')},
      {"line end at column 75", std::string(75, 'x') + "\r\n", std::string(75, 'x') + "=\r\n\r\n"},
      {"line ends restart the count", std::string(70, 'x') + "\n" + std::string(70, 'y'),
       std::string(70, 'x') + "\n" + std::string(70, 'y')},
      {"escape ending at column 75", std::string(72, 'x') + "=y",
       std::string(72, 'x') + "=3D=\r\ny"},
      {"escape never cut", std::string(73, 'x') + "=y", std::string(73, 'x') + "=\r\n=3Dy"},
      {"escape never cut, one later", std::string(74, 'x') + "=",
       std::string(74, 'x') + "=\r\n=3D"},
      {"other bytes pass", "\t\x01\xff ", "\t\x01\xff "},
  };
  for (const auto& c : cases) EXPECT_EQ(quoted_printable_encode(c.in), c.out) << c.name;
}

// Python's quopri decodes every encoding back to its input, and for text of printable ASCII
// encodes it the same way, except where a line ends at or just after column 75: there it
// writes no soft break where this encoder always does.
TEST(QuotedPrintableEncode, AgreesWithPythonQuopri) {
  if (!reference_tool_present("python3")) GTEST_SKIP() << "python3 not found: skipped";
  struct Case {
    std::string text;
    bool encoded_alike;
  };
  std::vector<Case> cases = {
      {"a=b", true},
      {letters(80), true},
      {letters(300), true},
      {letters(72) + "=" + letters(100), true},
      {letters(73) + "=" + letters(100), true},
      {letters(74) + "==" + letters(100), true},
      {"a=b\r\n" + letters(140) + "\r\nx=y", true},
      {letters(40) + "\n" + letters(120) + "\n" + letters(10), true},
      {"====================================================================================",
       true},
      {letters(75) + "\r\nz", false},
      {letters(76), false},
  };
  std::vector<std::string> texts, ours;
  for (const auto& c : cases) {
    texts.push_back(c.text);
    ours.push_back(quoted_printable_encode(c.text));
  }
  std::vector<std::string> decoded, reference;
  ASSERT_TRUE(run_python_per_input("import quopri", "quopri.decodestring(data)", ours, decoded));
  ASSERT_TRUE(run_python_per_input("import quopri", "quopri.encodestring(data)", texts, reference));
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(decoded[i], texts[i]) << texts[i];
    if (!cases[i].encoded_alike) continue;
    // Python writes soft breaks with the text's own line end, LF when it has none.
    std::string ours_lf = ours[i], reference_lf = reference[i];
    replace_all(ours_lf, "\r\n", "\n");
    replace_all(reference_lf, "\r\n", "\n");
    EXPECT_EQ(ours_lf, reference_lf) << texts[i];
  }
}

}  // namespace
