// Reading HTML without a parser: cutting a buffer into text and tag tokens, rewriting tag
// tokens into one canonical form, and turning a token list into text with a light wiki
// mark-up. Token lists are appended to, never emptied. Case folding is ASCII only.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// Appends the tokens of length bytes: each tag ("<" through ">") and the text between tags.
// Inside a pre or script block and a "<%" / "<?" section tags stay in the text, up to the
// first "</" (or a ">" after "%" or "?" for a section). Text after the last tag and an
// unfinished tag are dropped. With trim each text and tag token is trimmed and left out when
// empty; without it empty text tokens are kept. True when tokens is non-empty afterwards.
bool tokenize_html(const char* buffer, u32 length, std::vector<std::string>& tokens, bool trim);
// tokenize_html over length / 2 UTF-16 units, one wide character per unit, without trimming.
bool tokenize_html_utf16(const u16* buffer, u32 length, std::vector<std::wstring>& tokens);
// Rewrites every tag token except "<?" and "<%" sections: tag and attribute names lower-cased,
// runs of white space made one blank, no blanks around "=", an unquoted value put in double
// quotes (first character as it was, the rest lower-cased). False for an empty list.
bool normalize_html_tags(std::vector<std::string>& tokens);
bool normalize_html_tags_wide(std::vector<std::wstring>& tokens);
// Writes the tokens as wiki text: text tokens whole, headings as "=" runs, paragraphs as line
// ends, bold "_", italic and strong "*", pre "[%" ... "%]", code "%", sup "^", sub "~", block
// quotes [" ... "], images "[src, alt]", list items "*" or "N. " in ordered lists; other tags
// write nothing. The tokens should be normalised first.
void write_wiki_text(std::ostream& out, const std::vector<std::string>& tokens);
