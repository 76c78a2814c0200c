#include "engine/rtf_report.h"

#include "platform/hex_text.h"
#include "core/strings.h"

namespace movix {

// Follows the Context of a row flagged as maybe naming a longer folder, on a
// line of its own within the cell.
const char* const LongerNameNote =
    "\\line {\\i Check this item: the text after the Old address may go on with its last name, so it may be part "
    "of a longer folder name.}";

// Follows the Context of a row flagged UnquotedBlank, likewise.
const char* const UnquotedBlankNote =
    "\\line {\\i Check this item: the Old address stands here without quotes before more text, and the New "
    "address holds a blank; if a program reads this value as a command line, it would take the New address for "
    "two arguments.}";

namespace {

void AppendUnicodeUnit(std::string& out, unsigned unit) {
    const int n = unit > 32767 ? static_cast<int>(unit) - 65536 : static_cast<int>(unit);
    out += "\\u";
    out += std::to_string(n);
    // The fallback as a hex escape rather than a plain "?": some readers
    // skip the whole word after a plain one, not the one character.
    out += "\\'3f";
}

}  // namespace

std::string RtfEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) < 0x80) {
            if (c == '\\' || c == '{' || c == '}')
                out += '\\';
            out += c;
            ++i;
            continue;
        }
        std::size_t length = 1;
        const char32_t code = Utf8CharAt(text, i, length);
        if (code == kNotUtf8) {
            out += "\\'";
            AppendHexBytes(out, std::string_view(&c, 1), false);
        } else if (code < 0x10000) {
            AppendUnicodeUnit(out, code);
        } else {
            const char32_t v = code - 0x10000;
            AppendUnicodeUnit(out, 0xD800 + (v >> 10));
            AppendUnicodeUnit(out, 0xDC00 + (v & 0x3FF));
        }
        i += length;
    }
    return out;
}

std::string FoundListRtf(const std::string& oldAddress, const std::vector<TFoundItem>& rows) {
    const std::string old = RtfEscape(oldAddress);
    const char* const eol = "\r\n";
    const char* const rowDef = "\\trowd\\cellx1440\\cellx3600\\cellx4320\\cellx5760\\cellx9540 ";
    std::string rtf;
    rtf += "{\\rtf1\\ansi\\widowctrl\\fs32";
    rtf += eol;
    rtf += "{\\info{\\title Items containing \"" + old + "\"}";
    rtf += eol;
    rtf += "{\\author Movix 32, a Kestrelia utility}";
    rtf += eol;
    rtf += "{\\comment This is just a comment}}";
    rtf += eol;
    rtf += "{\\header \\tqc\\tx4320\\tqr\\tx8640";
    rtf += eol;
    rtf += "\\chdate \\tab MOVIX32 Report \\tab \\chpgn \\par";
    rtf += eol;
    rtf += "\\tab Seeking text \"" + old + "\" \\par}\\pard\\fs20";
    rtf += eol;
    rtf += std::string("\\intbl") + rowDef;
    rtf += eol;
    rtf += "{\\b Item\\cell Path\\cell Type\\cell SubType\\cell Context\\cell} \\row";
    rtf += eol;
    for (const TFoundItem& row : rows) {
        if (row.Mark != MarkY)
            continue;
        rtf += rowDef;
        rtf += eol;
        for (int column = 0; column < FoundColumnCount; ++column) {
            rtf += RtfEscape(std::string(ColumnText(row, column)));
            if (column == ColContext && row.MaybeLonger)
                rtf += LongerNameNote;
            if (column == ColContext && row.UnquotedBlank)
                rtf += UnquotedBlankNote;
            rtf += "\\cell ";
        }
        rtf += "\\row";
        rtf += eol;
    }
    rtf += "}";
    return rtf;
}

std::string LogFileText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

}  // namespace movix
