// An output stream that accepts everything and keeps nothing: code that may have no
// message stream writes its diagnostics to null_out instead of testing for one.
// Writes never fail and never change the stream's state.
#pragma once

#include <ostream>
#include <streambuf>

// Stream buffer without storage: every write reaches xsputn or overflow and is dropped.
class null_out_buf : public std::streambuf {
 protected:
  // Returns n: all n characters count as written.
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  // Returns c: the character counts as written.
  int_type overflow(int_type c) override;
};

// std::ostream over its own null_out_buf; starts and stays good.
class null_out_stream : public std::ostream {
 public:
  null_out_stream();
  ~null_out_stream() override;

 private:
  null_out_buf buffer_;
};

// The one process-wide discarding stream, built before main runs.
extern null_out_stream null_out;
