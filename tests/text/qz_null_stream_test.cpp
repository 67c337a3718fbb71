#include "framework/text/qz_null_stream.h"

#include <gtest/gtest.h>

// A character that looks like end-of-file as an int must not fail the stream.
TEST(NullOutStream, ACharacterThatLooksLikeEndOfFileDoesNotFailIt) {
  null_out.put('\xff').put('\0');
  EXPECT_TRUE(null_out.good());
}
