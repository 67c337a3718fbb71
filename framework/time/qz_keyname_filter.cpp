#include "framework/time/qz_keyname_filter.h"

void keyname_filter::clear() { *this = keyname_filter(); }
