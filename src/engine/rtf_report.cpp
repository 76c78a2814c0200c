#include "engine/rtf_report.h"

namespace movix {

// Follows the Context of a row flagged as maybe naming a longer folder, on a
// line of its own within the cell.
const char* const LongerNameNote =
    "\\line {\\i Check this item: the Old address is followed by a space and more text, so it may be part of a "
    "longer folder name.}";

std::string RtfEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (c == '\\' || c == '{' || c == '}')
            out += '\\';
        out += c;
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
