// Laying text out in columns on a stream.
#pragma once

#include <ostream>

#include "framework/text/qz_types.h"

// Writes n blanks (nothing for 0); the stream's fill character is a blank afterwards.
void write_padding(std::ostream& out, u32 n);
