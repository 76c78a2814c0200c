#include "app/help_protocol.h"

#include <algorithm>
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

HelpRect PlaceHelpWindow(const HelpRect& wizard, const HelpRect& work, int width, int height) {
    width = std::min(width, work.right - work.left);
    height = std::min(height, work.bottom - work.top);
    const int rightRoom = work.right - wizard.right, leftRoom = wizard.left - work.left;
    const int belowRoom = work.bottom - wizard.bottom, aboveRoom = wizard.top - work.top;
    // Level with the wizard's top, as far as the screen allows.
    const int levelTop = std::max(work.top, std::min(wizard.top, work.bottom - height));
    if (rightRoom >= width)
        return HelpRect{wizard.right, levelTop, wizard.right + width, levelTop + height};
    if (leftRoom >= width)
        return HelpRect{wizard.left - width, levelTop, wizard.left, levelTop + height};
    if (std::max(rightRoom, leftRoom) >= kHelpWindowNarrowest) {
        if (rightRoom >= leftRoom)
            return HelpRect{wizard.right, levelTop, work.right, levelTop + height};
        return HelpRect{work.left, levelTop, wizard.left, levelTop + height};
    }
    // Beside it there is no room: above or below, as wide as asked and
    // level with the wizard's left edge as far as the screen allows.
    const int levelLeft = std::max(work.left, std::min(wizard.left, work.right - width));
    if (std::max(belowRoom, aboveRoom) >= kHelpWindowLowest) {
        if (belowRoom >= aboveRoom) {
            const int h = std::min(height, belowRoom);
            return HelpRect{levelLeft, wizard.bottom, levelLeft + width, wizard.bottom + h};
        }
        const int h = std::min(height, aboveRoom);
        return HelpRect{levelLeft, wizard.top - h, levelLeft + width, wizard.top};
    }
    // No room anywhere: over the wizard, as far from its middle as can be.
    const int left = rightRoom >= leftRoom ? work.right - width : work.left;
    return HelpRect{left, levelTop, left + width, levelTop + height};
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
