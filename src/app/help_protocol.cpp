#include "app/help_protocol.h"

#include <cstring>

namespace movix {

bool DecodeHelpRequest(const void* data, std::size_t size, HelpRequestData& request) {
    if (!data || size != sizeof(HelpRequestData))
        return false;
    std::memcpy(&request, data, sizeof request);
    return request.command == kHelpCommandContext || request.command == kHelpCommandContextPopup ||
           request.command == kHelpCommandQuit;
}

void PlacePopup(int pointerX, int pointerY, int width, int height, const HelpRect& workArea, int& left, int& top) {
    const int gap = 12;  // clear of the pointer's arrow
    left = pointerX - width / 2;
    top = pointerY + gap;
    if (top + height > workArea.bottom && pointerY - gap - height >= workArea.top)
        top = pointerY - gap - height;
    if (left + width > workArea.right)
        left = workArea.right - width;
    if (top + height > workArea.bottom)
        top = workArea.bottom - height;
    // A popup larger than the work area keeps its top left corner visible.
    if (left < workArea.left)
        left = workArea.left;
    if (top < workArea.top)
        top = workArea.top;
}

std::string HelpFileArgument(const std::string& commandLine) {
    std::size_t i = 0;
    const std::size_t n = commandLine.size();
    auto skipBlanks = [&]() {
        while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t'))
            ++i;
    };
    // The program name: quoted, or up to the first blank.
    skipBlanks();
    if (i < n && commandLine[i] == '"') {
        std::size_t close = commandLine.find('"', i + 1);
        i = close == std::string::npos ? n : close + 1;
    } else {
        while (i < n && commandLine[i] != ' ' && commandLine[i] != '\t')
            ++i;
    }
    skipBlanks();
    if (i >= n)
        return std::string();
    if (commandLine[i] == '"') {
        std::size_t close = commandLine.find('"', i + 1);
        return commandLine.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
    }
    // An unquoted path may still contain blanks: take the rest of the line.
    std::size_t end = n;
    while (end > i && (commandLine[end - 1] == ' ' || commandLine[end - 1] == '\t'))
        --end;
    return commandLine.substr(i, end - i);
}

}  // namespace movix
