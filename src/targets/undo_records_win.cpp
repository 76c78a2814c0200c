// The undo journal's records of the targets a replacement run changes: what
// each kind records before its replacer is handed a group, and the records'
// ends after it. The journal's file, its seal and Restore are
// undo_journal_win.cpp.
#include "targets/undo_journal_win.h"

#include "core/kinds.h"
#include "core/strings.h"
#include "platform/save_file_win.h"
#include "platform/seal_key_win.h"
#include "targets/progman_groups_win.h"
#include "targets/progman_undo.h"
#include "targets/scheduled_tasks_win.h"
#include "targets/service_entries.h"
#include "targets/service_kinds_win.h"
#include "targets/services_win.h"
#include "targets/target_kinds_win.h"
#include "targets/undo_states_win.h"

namespace movix {

bool TUndoRecorder::Before(int kind, const TReplaceGroup& group, std::string& error) {
    for (TTargetKind* target : TargetKinds())
        if (target->Code() == kind)
            return target->RecordBefore(*this, group, error);
    pending_.clear();
    return true;
}

void TUndoRecorder::BeginGroup() {
    pending_.clear();
    lastBackup_.clear();
}

TUndoRecorder::Pending* TUndoRecorder::Add(const char* record,
                                           const std::string& target,
                                           const std::string& name,
                                           const std::string& newName) {
    for (const Pending& p : pending_)
        if (p.record == record && p.target == target && p.name == name && p.newName == newName)
            return nullptr;
    pending_.push_back({record, std::to_string(nextId_++), target, name, newName, {}});
    return &pending_.back();
}

bool TUndoRecorder::Refuse(const std::string& why, std::string& error) {
    error = why;
    pending_.clear();
    return false;
}

bool TUndoRecorder::WriteBefore(const std::vector<std::vector<std::string>>& records, std::string& error) {
    if (!records.empty() && !Write(records, error)) {
        pending_.clear();
        return false;
    }
    return true;
}

bool TUndoRecorder::BeforeFile(const std::string& file, std::string& error) {
    BeginGroup();
    Pending* p = Add("ini", file, "", "");
    return WriteBefore({{"ini-before", p->id, p->target, FileState(p->target)}}, error);
}

bool TUndoRecorder::BeforeFileCopy(const std::string& file, std::string& error) {
    BeginGroup();
    Pending* p = Add("lnk", file, "", "");
    std::string bytes;
    if (!ReadWholeFile(p->target, bytes))
        return Refuse("the shortcut " + p->target + " could not be read to keep a copy", error);
    const std::string copy = copyFolder_ + "\\" + p->id + ".LNK";
    const DWORD saved = SaveFileReplacing(copy, bytes);
    if (saved != ERROR_SUCCESS)
        return Refuse("the copy " + copy + " could not be made: " + SaveErrorMessage(saved), error);
    return WriteBefore({{"lnk-before", p->id, p->target, UndoFileState(bytes.size(), Sha256Hex(bytes)), copy}}, error);
}

bool TUndoRecorder::BeforeGroupItems(const TReplaceGroup& group, std::string& error) {
    BeginGroup();
    if (conversation_ == nullptr)
        return Refuse("no conversation with Program Manager to read the group's items", error);
    std::vector<std::vector<std::string>> records;
    const std::vector<std::string> lines = FetchGroupLines(*conversation_, group.Key);
    for (const TReplaceHit& hit : group.Hits) {
        const std::string line = GroupItemLineNamed(lines, hit.Text);
        if (line == kUndoAbsent)
            continue;  // the replacer reports it as not found and changes nothing
        if (Pending* p = Add("group", group.Key, hit.Text, "")) {
            records.push_back({"group-before", p->id, group.Key, hit.Text, line});
            groupPending_.push_back(*p);
        }
    }
    return WriteBefore(records, error);
}

bool TUndoRecorder::BeforeRegistry(const TReplaceGroup& group, std::string& error) {
    BeginGroup();
    std::vector<std::vector<std::string>> records;
    for (const TReplaceHit& hit : group.Hits) {
        if (hit.SubType == kSubTypeKey) {
            std::string newName = hit.Text;
            ReplaceAllText(newName, old_, new_);
            Pending* p = Add("key", group.Key, hit.Text, newName);
            if (!p)
                continue;
            std::vector<TUndoEntry::TKeyValue> listing;
            const std::string before = KeyState(group.Key, hit.Text, &listing);
            records.push_back(
                {"key-before", p->id, group.Key, hit.Text, newName, before, KeyState(group.Key, newName)});
            for (const auto& v : listing)
                records.push_back({"key-value", p->id, v.Path, v.Name, v.State});
        } else if ((hit.SubType >= kSubTypeValueName && hit.SubType <= kSubTypeExpandData) ||
                   hit.SubType == kSubTypeMultiString || hit.SubType == kSubTypeEnvData) {
            const std::string name = ValueNameOf(hit);
            std::vector<std::string> names{name};
            if (hit.SubType == kSubTypeValueName) {
                std::string newName = name;
                ReplaceAllText(newName, old_, new_);
                names.push_back(newName);
            }
            for (const std::string& n : names)
                if (Pending* p = Add("value", group.Key, n, ""))
                    records.push_back({"value-before", p->id, group.Key, n, ValueState(group.Key, n)});
        }
    }
    return WriteBefore(records, error);
}

bool TUndoRecorder::BeforeServiceFields(const TReplaceGroup& group, std::string& error) {
    BeginGroup();
    std::vector<std::vector<std::string>> records;
    for (const TReplaceHit& hit : group.Hits) {
        const std::string field = ServiceFieldOf(hit.SubType);
        const std::optional<std::string> text = ReadServiceField(group.Key, field);
        if (!text)
            return Refuse("the service's " + std::string(field == kServiceFieldCommand ? "path" : "description") +
                              " could not be read",
                          error);
        if (Pending* p = Add("service", group.Key, field, ""))
            records.push_back({"service-before", p->id, group.Key, field, FieldState(text)});
    }
    return WriteBefore(records, error);
}

bool TUndoRecorder::BeforeTask(const TReplaceGroup& group, std::string& error) {
    BeginGroup();
    // The whole definition is kept: Restore registers it again as it was.
    const std::optional<std::string> xml = ReadTaskXml(group.Key);
    if (!xml)
        return Refuse("the task's definition could not be read", error);
    Pending* p = Add("task", group.Key, "", "");
    for (const TReplaceHit& hit : group.Hits) {
        std::string written = hit.Text;
        ReplaceAllText(written, old_, new_);
        p->fields.push_back({std::to_string(TaskActionOf(hit)), TaskFieldOf(hit.SubType), written});
    }
    std::vector<std::vector<std::string>> records = {
        {"task-before", p->id, group.Key, TaskFieldsState(group.Key, p->fields), *xml}};
    for (const TUndoEntry::TKeyValue& f : p->fields)
        records.push_back({"task-field", p->id, f.Path, f.Name, f.State});
    return WriteBefore(records, error);
}

void TUndoRecorder::After() {
    std::vector<std::vector<std::string>> records;
    for (const Pending& p : pending_) {
        if (p.record == "group")
            continue;  // changed only when the commands are sent: AfterGroupItems
        if (p.record == "ini")
            records.push_back({"ini-after", p.id, FileState(p.target), lastBackup_});
        else if (p.record == "lnk")
            records.push_back({"lnk-after", p.id, FileState(p.target)});
        else if (p.record == "key")
            records.push_back({"key-after", p.id, KeyState(p.target, p.name), KeyState(p.target, p.newName)});
        else if (p.record == "service")
            records.push_back({"service-after", p.id, FieldState(ReadServiceField(p.target, p.name))});
        else if (p.record == "task")
            records.push_back({"task-after", p.id, TaskFieldsState(p.target, p.fields)});
        else
            records.push_back({"value-after", p.id, ValueState(p.target, p.name)});
    }
    pending_.clear();
    std::string error;
    // A record left without its end makes Restore leave that target as it
    // is and say so; nothing more can be done about it here.
    if (!records.empty())
        Write(records, error);
}

void TUndoRecorder::AfterGroupItems() {
    std::vector<std::vector<std::string>> records;
    std::string group;
    std::vector<std::string> lines;
    for (const Pending& p : groupPending_) {
        if (p.target != group || lines.empty()) {
            group = p.target;
            lines = FetchGroupLines(*conversation_, group);
        }
        records.push_back({"group-after", p.id, GroupItemLineNamed(lines, p.name)});
    }
    groupPending_.clear();
    std::string error;
    if (!records.empty())
        Write(records, error);
}

TLogLine TUndoRecorder::WatchLog(const TLogLine& log) {
    return [this, log](const std::string& line) {
        static const std::string kStored = "Backup stored as ";
        if (line.compare(0, kStored.size(), kStored) == 0)
            lastBackup_ = line.substr(kStored.size());
        log(line);
    };
}

}  // namespace movix
