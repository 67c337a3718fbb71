#include "framework/text/qz_null_stream.h"

std::streamsize null_out_buf::xsputn(const char*, std::streamsize n) { return n; }

null_out_buf::int_type null_out_buf::overflow(int_type c) {
  // overflow(eof) is a request to flush; any other value is a character taken in.
  return traits_type::eq_int_type(c, traits_type::eof()) ? traits_type::not_eof(c) : c;
}

// The base is built before buffer_, so the buffer is attached once it exists.
null_out_stream::null_out_stream() : std::ostream(nullptr) { rdbuf(&buffer_); }

null_out_stream::~null_out_stream() = default;

null_out_stream null_out;
