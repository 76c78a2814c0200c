// The four places a shortcut names, and the rule for rewriting one of them:
// shared by the shortcut search and replacer, free of Windows headers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace movix {

// One field of a shortcut: its sub-type code, the label of its log line and
// its name in an error line.
struct ShortcutField {
    int SubType;
    const char* LogLabel;  // 19 characters, so that values line up in the log
    const char* Name;
};

// In the order the search examines them: command line, arguments, working
// directory, icon location.
extern const ShortcutField kShortcutFields[4];

// The field of a sub-type code (2 to 5), or null for any other code.
const ShortcutField* FindShortcutField(int subType);

// What a field holds, in UTF-16 characters, the terminating zero included.
// A longer value cannot be stored whole (nor read back whole in that buffer).
constexpr std::size_t kShortcutFieldChars = 260;

// The length of UTF-8 text in UTF-16 characters, as the system counts it
// (a character beyond U+FFFF takes two; a malformed byte counts as one).
std::size_t Utf16Length(std::string_view utf8);

// The outcome of replacing the Old address in one field's value.
struct FieldRewrite {
    std::string Value;  // the whole new value
    bool Fits = true;   // false: storing it would cut it, so it is not stored
};
FieldRewrite RewriteShortcutField(std::string_view value, std::string_view oldAddr, std::string_view newAddr);

// The error line for a new value that the field cannot hold.
std::string TooLongLine(const ShortcutField& field, const std::string& file, std::string_view value);

// The last line for a shortcut saved with `leftAlone` (1 or more) of its
// fields left as they were: an error line, not a success.
std::string PartlyUpdatedLine(const std::string& file, int leftAlone);

}  // namespace movix
