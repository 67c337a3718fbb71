// Environment names in option values and locale names from the environment. A name is the
// text between two '%' and is looked up exactly as written (case included); a name that is
// not set (or that holds '=' or NUL, which no variable name does) stays in the text as
// written. Nothing here prints or fails loudly.
#pragma once

#include <string>

// Replaces each "%NAME%" whose NAME is set by its value and searches the inserted value for
// names again; with allow_vss an unset "vss" in any case becomes the shadow-copy device
// prefix "\\?\GLOBALROOT\Device\HarddiskVolumeShadowCopy". Stops before a name once the text
// is longer than 512 characters (a longer text is left as it is). A reference whose expansion
// does not end within 256 replacements (X=%X%, or A=%B% with B=%A%) is left as written and the
// rest of the text still expands. Changes text in place and returns a copy of it.
std::string expand_env_vars(std::string& text, bool allow_vss);
// expand_env_vars on the UTF-8 form of text; text is left as it was when it or its expansion
// has no faithful UTF-8 or wide form. Changes text in place and returns a copy of it.
std::wstring expand_env_vars_wide(std::wstring& text, bool allow_vss);

// Turns every '\' into '/', expands names (allow_vss set) when expand, then, when the path
// holds a '.', drops "." pieces, empty pieces after the first, and a name followed by "..";
// the pieces are trimmed. false only for an empty path.
bool normalize_path(std::string& path, bool expand);

// name = a locale name for dates: "" (the environment's own choice) when that locale can be
// made, else the value of LC_TIME, else that of LANG, the first that names a valid locale.
// false with name empty when none does.
bool locale_from_env(std::string& name);
// Whether std::locale can be built from the name (false for a null name).
bool is_valid_locale_name(const char* name);
