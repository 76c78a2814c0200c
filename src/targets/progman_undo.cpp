#include "targets/progman_undo.h"

#include "targets/progman_commands.h"

namespace movix {

std::string GroupItemLineNamed(const std::vector<std::string>& replyLines, std::string_view name) {
    for (std::size_t i = 1; i < replyLines.size(); ++i)
        if (ParseGroupItemLine(replyLines[i]).ItemName == name)
            return replyLines[i];
    return "-";
}

std::optional<std::vector<std::string>> GroupItemRestoreCommands(std::string_view group, std::string_view line) {
    if (!GroupItemLineHasTenFields(line) || !ProgManArgumentSafe(group) || group.empty())
        return std::nullopt;
    const TGroupItemLine item = ParseGroupItemLine(line);
    if (FormatGroupItemLine(item) != line)
        return std::nullopt;
    for (const std::string* f : {&item.ItemName, &item.CommandLine, &item.DefaultDir, &item.IconPath})
        if (!ProgManArgumentSafe(*f))
            return std::nullopt;
    if (item.ItemName.empty() || item.CommandLine.empty())
        return std::nullopt;
    const std::string args = AddItemArguments(item);
    return std::vector<std::string>{CreateGroupCommand(group),
                                    "[ReplaceItem(" + QuoteProgManArgument(item.ItemName) + ")]",
                                    "[AddItem(" + args + ")]"};
}

}  // namespace movix
