#include "targets/undo_names.h"

#include <map>
#include <set>

#include "core/strings.h"

namespace movix {

namespace {

// The kinds of target a record can be, in the order the question lists them.
enum class TNoun { IniFile, ConfigFile, GroupItem, Shortcut, Key, Value, Service, Task, Folder };

struct TNounWords {
    const char* one;
    const char* many;
};

TNounWords WordsOf(TNoun noun) {
    switch (noun) {
        case TNoun::IniFile:
            return {"INI file", "INI files"};
        case TNoun::ConfigFile:
            return {"configuration file", "configuration files"};
        case TNoun::GroupItem:
            return {"Program Manager item", "Program Manager items"};
        case TNoun::Shortcut:
            return {"shortcut", "shortcuts"};
        case TNoun::Key:
            return {"Registry key", "Registry keys"};
        case TNoun::Value:
            return {"Registry value", "Registry values"};
        case TNoun::Service:
            return {"service", "services"};
        case TNoun::Task:
            return {"scheduled task", "scheduled tasks"};
        case TNoun::Folder:
            return {"moved folder (moved back first)", "moved folders (moved back first)"};
    }
    return {"", ""};
}

bool IsIniFile(const std::string& path) {
    const std::string upper = UpperText(path);
    return upper.size() >= 4 && upper.compare(upper.size() - 4, 4, ".INI") == 0;
}

TNoun NounOf(const TUndoEntry& e) {
    switch (e.Kind) {
        case TUndoKind::Ini:
            return IsIniFile(e.Target) ? TNoun::IniFile : TNoun::ConfigFile;
        case TUndoKind::Shortcut:
            return TNoun::Shortcut;
        case TUndoKind::Value:
            return TNoun::Value;
        case TUndoKind::KeyMove:
            return TNoun::Key;
        case TUndoKind::GroupItem:
            return TNoun::GroupItem;
        case TUndoKind::FolderMove:
            return TNoun::Folder;
        case TUndoKind::Service:
            return TNoun::Service;
        case TUndoKind::Task:
            return TNoun::Task;
    }
    return TNoun::IniFile;
}

// What makes two records one target: a service's path and its description
// are one service, as the actions of a task are one task.
std::string TargetOf(const TUndoEntry& e) {
    if (e.Kind == TUndoKind::Service || e.Kind == TUndoKind::Task)
        return UpperText(e.Target);
    return e.Target + '\t' + e.Name;
}

}  // namespace

std::string UndoTargetNoun(const TUndoEntry& e) {
    return WordsOf(NounOf(e)).one;
}

std::vector<std::string> UndoCountLines(const std::vector<TUndoEntry>& entries) {
    std::map<TNoun, std::set<std::string>> targets;
    for (const TUndoEntry& e : entries)
        targets[NounOf(e)].insert(TargetOf(e));
    std::vector<std::string> lines;
    for (const auto& [noun, names] : targets) {
        const TNounWords words = WordsOf(noun);
        lines.push_back(std::to_string(names.size()) + " " + (names.size() == 1 ? words.one : words.many));
    }
    return lines;
}

}  // namespace movix
