// The fixed column line of the bodyfile timeline layout: eleven names joined by "|". The
// bodyfile writer puts it before its first entry and the banner reader takes the column names
// of a bodyfile source from it.
#pragma once

#include <ostream>

// Writes md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time
// with no line end.
void write_bodyfile_header(std::ostream& out);
