#include "framework/io/uni_output.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <string>

#include "framework/io/uni_fileio.h"
#include "tests/text/temp_folder.h"

namespace {

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }

  u64 file_size() const {
    struct stat st {};
    return ::stat(path_.c_str(), &st) == 0 ? static_cast<u64>(st.st_size) : 0;
  }
  std::string content() const { return folder_.get("out.txt"); }

  temp_folder folder_{"uni_output"};
  const std::string path_ = folder_.file("out.txt");
};

// Distinct bytes, so that a repeated or lost stretch shows in a comparison.
std::string pattern_text(size_t length) {
  std::string text(length, '\0');
  for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
  return text;
}

TEST_F(OutputTest, TextReachesTheFileOnlyWhenTheBufferFills) {
  uni::fileio file(path_, true, false, false);
  std::ostream* out = file.get_output_stream();
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(file.get_output_stream(), out) << "one stream per file";

  const std::string text = pattern_text(262144 + 100);
  out->write(text.data(), 262143);
  *out << std::flush;
  EXPECT_EQ(file_size(), 0u) << "262,143 bytes fit the put area";
  *out << text[262143];
  EXPECT_EQ(file_size(), 262144u) << "the byte that finds it full writes 262,144 at once";
  out->write(text.data() + 262144, 100);
  *out << std::endl;
  EXPECT_EQ(file_size(), 262144u);
  EXPECT_TRUE(out->good());
  EXPECT_TRUE(file.close());
  EXPECT_EQ(content(), text + "\n");
}

TEST_F(OutputTest, ManyBuffersInSmallAndLargePieces) {
  const std::string text = pattern_text(3 * 262144 + 12345);
  uni::fileio file(path_, true, false, false);
  std::ostream* out = file.get_output_stream();
  ASSERT_NE(out, nullptr);
  size_t at = 0;
  for (size_t piece : {size_t(1), size_t(300000), size_t(7), size_t(262144), size_t(5)}) {
    out->write(text.data() + at, static_cast<std::streamsize>(piece));
    at += piece;
  }
  while (at < text.size()) *out << text[at++];
  EXPECT_TRUE(file.close());
  EXPECT_EQ(content(), text);
}

TEST_F(OutputTest, FlushesWriteNothingCloseWritesAll) {
  uni::fileio file(path_, true, false, false);
  std::ostream* out = file.get_output_stream();
  ASSERT_NE(out, nullptr);
  *out << "0123456789" << std::flush;
  out->flush();
  file.flush();
  EXPECT_EQ(file_size(), 0u);
  EXPECT_TRUE(file.close());
  EXPECT_EQ(content(), "0123456789");
  EXPECT_EQ(file.output, nullptr);
}

TEST_F(OutputTest, DestroyingTheFileWritesThePendingBytes) {
  {
    uni::fileio file(path_, true, false, false);
    *file.get_output_stream() << "tail";
  }
  EXPECT_EQ(content(), "tail");
}

TEST_F(OutputTest, MemoryTargetsCollectTheBytes) {
  uni::fileio memory(std::vector<u8>{'>'}, true, false);
  std::ostream* out = memory.get_output_stream();
  ASSERT_NE(out, nullptr);
  *out << "abc" << 42;
  EXPECT_EQ(memory.memory.size(), 1u);
  EXPECT_TRUE(memory.output->drain());
  EXPECT_EQ(std::string(memory.memory.begin(), memory.memory.end()), ">abc42");
}

TEST_F(OutputTest, StreamsNeedAnOpenTarget) {
  uni::fileio closed;
  EXPECT_EQ(closed.get_output_stream(), nullptr);
  uni::fileio_output orphan(&closed, 0x40000);
  EXPECT_TRUE(orphan.bad());
  orphan << "lost";
  EXPECT_TRUE(orphan.bad());
  uni::fileio_output no_buffer(nullptr, 0);
  EXPECT_TRUE(no_buffer.bad());
}

TEST_F(OutputTest, AFullDiskIsReportedByClose) {
  struct Case {
    const char* name;
    size_t bytes;
  };
  // Below the buffer the failure shows only at close; above it the stream fails first.
  const Case cases[] = {{"small", 10}, {"one buffer", 262144}, {"several buffers", 600000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uni::fileio full;
    ASSERT_TRUE(full.open_utf8("/dev/full", true, false, false));
    std::ostream* out = full.get_output_stream();
    ASSERT_NE(out, nullptr);
    const std::string text(c.bytes, 'x');
    out->write(text.data(), static_cast<std::streamsize>(text.size()));
    EXPECT_EQ(out->bad(), c.bytes >= 262144);
    EXPECT_FALSE(full.close());
    EXPECT_FALSE(full.is_open());
  }
}

TEST_F(OutputTest, APartialWriteIsNeitherRepeatedNorLost) {
  // The file size limit lets the first drain write only part of the buffer.
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit previous {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  const std::string text = pattern_text(262144 + 50);
  uni::fileio file(path_, true, false, false);
  std::ostream* out = file.get_output_stream();
  ASSERT_NE(out, nullptr);

  struct rlimit limited = previous;
  limited.rlim_cur = 100000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  out->write(text.data(), 262144);
  const bool failed = out->bad();
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &previous), 0);
  EXPECT_TRUE(failed);
  EXPECT_EQ(file_size(), 100000u);

  // The room is back: close delivers the rest once, and still reports the earlier failure.
  EXPECT_FALSE(file.close());
  EXPECT_EQ(content(), text.substr(0, 262144));
}

TEST(OutputStats, SumsTheBytesWritten) {
  uni::fileio_stats stats;
  std::ostream* out = stats.get_output_stream();
  ASSERT_NE(out, nullptr);
  *out << "abc" << std::flush;
  stats.flush();
  EXPECT_EQ(stats.sum, 0u);
  stats.close();
  EXPECT_EQ(stats.sum, 294u);  // 0x61 + 0x62 + 0x63
  EXPECT_EQ(stats.output, nullptr);

  EXPECT_FALSE(stats.write(nullptr, 1));
  EXPECT_FALSE(stats.write("a", 0));
  EXPECT_TRUE(stats.write("\xFF", 1));
  EXPECT_EQ(stats.sum, 294u + 255u);

  *stats.get_output_stream() << "a";
  stats.clear();
  EXPECT_EQ(stats.sum, 0u);
  EXPECT_EQ(stats.output, nullptr);

  const std::string big(262144 + 1, '\x01');
  *stats.get_output_stream() << big;
  EXPECT_EQ(stats.sum, 262144u) << "a full buffer is counted at once";
}

}  // namespace
