// The program's help file: topics and popup texts addressed by context
// numbers, read by the help viewer (movixhlp.exe).
//
// The file is plain text (ANSI, lines ending in CR LF, LF or CR):
//
//   # A comment: a line whose first character is '#'.
//   @topic <context> <title>
//   Text of the topic. Consecutive lines join into one paragraph with a
//   single blank between them, so the source can be wrapped freely.
//
//   A blank line ends a paragraph.
//   - A line that begins with "- " starts a list entry of its own line;
//     the lines after it join that entry until a blank line or the next "- ".
//   @popup <context>
//   The short text shown in a small window beside the mouse pointer.
//
// <context> is a decimal number (0 to 4294967295). A topic is what a full
// help request shows in the help window; a popup is the short note shown for
// a single control. One context may have both. A text line that must begin
// with '@', '#' or "- " is written with a leading backslash, which is dropped
// (only there: "\\server\share" stays as it is).
// Leading and trailing blanks of text lines are ignored.
//
// Parsing never fails as a whole: what cannot be understood is skipped and
// described in issues(), so a faulty file still shows its sound parts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace movix {

struct HelpTopic {
    unsigned long context = 0;
    std::string title;
    // Paragraphs in order; a list entry inside a paragraph is a line of its
    // own, separated by '\n'.
    std::vector<std::string> paragraphs;
};

struct HelpPopup {
    unsigned long context = 0;
    std::vector<std::string> paragraphs;
};

struct HelpFileIssue {
    int line = 0;  // 1-based line of the file
    std::string message;
};

class HelpFile {
public:
    static HelpFile Parse(const std::string& text);

    // Null when the file has no such entry.
    const HelpTopic* FindTopic(unsigned long context) const;
    const HelpPopup* FindPopup(unsigned long context) const;

    // In file order.
    const std::vector<HelpTopic>& topics() const { return topics_; }
    const std::vector<HelpPopup>& popups() const { return popups_; }
    const std::vector<HelpFileIssue>& issues() const { return issues_; }

private:
    std::vector<HelpTopic> topics_;
    std::vector<HelpPopup> popups_;
    std::vector<HelpFileIssue> issues_;
};

// The text to show for a popup request: the popup's own text, or else the
// topic's title and text (an older help engine showed a topic in a popup
// when asked so). Empty when the context has neither.
std::string PopupTextFor(const HelpFile& file, unsigned long context, const char* newline);

// Paragraphs joined for display: list lines and paragraphs separated by
// `newline`, an empty line between paragraphs, nothing after the last one.
std::string FormatHelpText(const std::vector<std::string>& paragraphs, const char* newline);

// Reads a whole help file. Files beyond maxBytes are refused: a help file is
// a few dozen kilobytes, and anything far larger is not one.
enum class HelpFileLoad { Ok, Missing, Unreadable, TooLarge };
constexpr std::size_t kMaxHelpFileBytes = 4u << 20;
HelpFileLoad ReadHelpFileText(const std::string& path, std::string& text, std::size_t maxBytes = kMaxHelpFileBytes);

}  // namespace movix
