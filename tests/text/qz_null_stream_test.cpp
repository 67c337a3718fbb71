#include "framework/text/qz_null_stream.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <string>

TEST(NullOutStream, GlobalInstanceSwallowsEveryKindOfWriteAndStaysGood) {
  const std::string long_text(1 << 20, 'x');
  null_out << long_text << 12345 << ' ' << 3.5 << std::hex << 0xbeef << std::endl;
  EXPECT_TRUE(null_out.good());

  // Characters that look like end-of-file as ints must not fail the stream either.
  null_out.put('\xff').put('\0');
  null_out.write(long_text.data(), std::streamsize(long_text.size()));
  null_out << std::setw(40) << "padded" << std::flush;
  EXPECT_TRUE(null_out.good());
  EXPECT_FALSE(null_out.fail());
}

TEST(NullOutStream, FreshStreamStartsGoodAndStoresNothing) {
  null_out_stream stream;
  EXPECT_TRUE(stream.good());
  stream << "text" << 42;
  stream.flush();
  EXPECT_TRUE(stream.good());
}
