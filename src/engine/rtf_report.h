// The found list as a Rich Text Format table, and the activity log as text.
#pragma once

#include <string>
#include <vector>

#include "core/found_items.h"

namespace movix {

// A backslash before every backslash, "{" and "}"; every character above
// 127 (the text is UTF-8) as a Unicode escape \uN with "?" (\'3f) for
// readers that know none: N is the UTF-16 unit as a signed 16-bit number, as RTF wants,
// and a character outside the Basic Multilingual Plane is its two
// surrogates. A byte that is no UTF-8 passes as the code page's \'hh.
std::string RtfEscape(const std::string& text);

// The notes after the Context of a flagged row (RTF text, in italics), for
// MaybeLonger and for UnquotedBlank.
extern const char* const LongerNameNote;
extern const char* const UnquotedBlankNote;

// The whole report: a header naming the Old address, a bold heading row and
// one table row for each row marked Y, in list order. A row flagged as maybe
// naming a longer folder has LongerNameNote after its Context, in the same
// cell, and one flagged UnquotedBlank UnquotedBlankNote. Lines end with CR LF except the closing brace, which ends the
// file.
std::string FoundListRtf(const std::string& oldAddress, const std::vector<TFoundItem>& rows);

// The log's lines, each followed by CR LF, and nothing else.
std::string LogFileText(const std::vector<std::string>& lines);

}  // namespace movix
