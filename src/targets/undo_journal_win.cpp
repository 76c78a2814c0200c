#include "targets/undo_journal_win.h"

#include <shlobj.h>

#include <algorithm>
#include <cstdio>

#include "core/strings.h"
#include "core/undo_journal.h"
#include "platform/wide_text_win.h"
#include "platform/file_io_win.h"
#include "platform/handles.h"
#include "platform/save_file_win.h"
#include "targets/dde_conversation_win.h"
#include "targets/progman_commands.h"
#include "targets/progman_undo.h"
#include "targets/registry_paths.h"
#include "targets/registry_replace_win.h"
#include "targets/registry_win.h"

namespace movix {

namespace {

constexpr int kIni = 1, kGrp = 2, kLnk = 3, kReg = 4;

// A group's reply split into lines; empty when Program Manager gives none.
std::vector<std::string> GroupLines(TDdeClientConv& conversation, const std::string& group) {
    std::vector<std::string> lines;
    for (int attempt = 0; attempt < 3 && lines.empty(); ++attempt) {
        conversation.SetLink("ProgMan", "ProgMan");
        conversation.OpenLink();
        std::optional<std::string> reply = conversation.RequestData(group);
        conversation.CloseLink();
        if (reply)
            lines = SplitReplyLines(*reply);
    }
    return lines;
}

// The program's strings and the journal are both UTF-8.
const std::string& Utf8(const std::string& text) {
    return text;
}

const std::string& Ansi(const std::string& text) {
    return text;
}

// The whole file; false when it does not exist or cannot be read.
bool ReadWholeFile(const std::string& name, std::string& bytes) {
    FileHandle f(CreateFileW(WideFileName(name).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f)
        return false;
    bytes.clear();
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f.get(), buf, sizeof buf, &got, nullptr)) {
        if (got == 0)
            return true;
        bytes.append(buf, got);
    }
    return false;
}

// A file's state for the journal; "-" for a file that does not exist,
// "?" for one that exists and cannot be read (which matches no state).
std::string FileState(const std::string& name) {
    std::string bytes;
    if (ReadWholeFile(name, bytes))
        return UndoFileState(bytes);
    return GetFileAttributesW(WideFileName(name).c_str()) == INVALID_FILE_ATTRIBUTES ? kUndoAbsent : "?";
}

struct KeyRef {
    HKEY root = nullptr;
    std::string path;  // below the root
};

bool SplitKeyPath(const std::string& full, KeyRef& ref) {
    const std::optional<TRegRoot> root = RootByFourthCharacter(full);
    if (!root)
        return false;
    ref.root = RootKeyOf(*root);
    ref.path = std::string(KeyPathWithinRoot(full));
    return true;
}

std::string Join(const std::string& path, const std::string& name) {
    return path.empty() ? name : path + "\\" + name;
}

std::string ValueState(const std::string& fullKey, const std::string& name) {
    KeyRef ref;
    if (!SplitKeyPath(fullKey, ref))
        return "?";
    TRegistry reg(KEY_READ);
    reg.SetRootKey(ref.root);
    if (!reg.OpenKey(ref.path, false) || !reg.ValueExists(name))
        return kUndoAbsent;
    try {
        const TRegRawValue v = reg.ReadRaw(name);
        return UndoValueState(v.Type, v.Bytes);
    } catch (const ERegistryException&) {
        return "?";
    }
}

// Everything below a key in one canonical text (names sorted, each value
// with its type and bytes), and the values as listing lines.
void DescribeTree(HKEY root,
                  const std::string& path,
                  const std::string& rel,
                  std::string& canon,
                  std::vector<TUndoEntry::TKeyValue>* listing) {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(root);
    if (!reg.OpenKey(path, false)) {
        canon += "?\n";
        return;
    }
    std::vector<std::pair<std::string, std::string>> values;
    reg.ForEachValue([&](std::string_view name, DWORD type, const char* data, std::size_t size) {
        values.emplace_back(std::string(name), UndoValueState(type, std::string_view(data, size)));
        return true;
    });
    std::sort(values.begin(), values.end());
    for (const auto& v : values) {
        canon += "v " + v.first + "\t" + v.second + "\n";
        if (listing)
            listing->push_back({rel, v.first, v.second});
    }
    std::vector<std::string> keys = reg.GetKeyNames();
    std::sort(keys.begin(), keys.end());
    for (const std::string& k : keys) {
        canon += "k " + k + "\n{\n";
        DescribeTree(root, Join(path, k), Join(rel, k), canon, listing);
        canon += "}\n";
    }
}

std::string KeyState(const std::string& fullParent,
                     const std::string& name,
                     std::vector<TUndoEntry::TKeyValue>* listing = nullptr) {
    KeyRef ref;
    if (!SplitKeyPath(fullParent, ref))
        return "?";
    const std::string path = Join(ref.path, name);
    TRegistry reg(KEY_READ);
    reg.SetRootKey(ref.root);
    if (!reg.KeyExists(path))
        return kUndoAbsent;
    std::string canon;
    DescribeTree(ref.root, path, "", canon, listing);
    return UndoDigest(canon);
}

std::string ValueNameOf(const TReplaceHit& hit) {
    if (hit.ValueName)
        return *hit.ValueName;
    if (hit.SubType == 7)
        return hit.Text == "(default)" ? std::string() : hit.Text;
    const std::optional<TValueTextHit> split = SplitValueTextHit(hit.Text, std::nullopt);
    return split ? split->ValueName : std::string();
}

}  // namespace

struct TUndoRecorder::Pending {
    int kind = 0;
    std::string id;
    std::string target, name, newName;
};

std::string DefaultUndoFolder() {
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, 0, path)))
        return WideToUtf8(path);
    return std::string();
}

std::unique_ptr<TUndoRecorder> TUndoRecorder::Create(const std::string& folder,
                                                     const std::string& oldAddr,
                                                     const std::string& newAddr,
                                                     const std::string& date,
                                                     std::string& error) {
    if (folder.empty()) {
        error = "The undo journal could not be created: the documents folder cannot be found.";
        return nullptr;
    }
    std::unique_ptr<TUndoRecorder> rec(new TUndoRecorder());
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "MOVIX32UNDO-%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
    const std::string base = (folder.empty() || folder.back() == '\\' ? folder : folder + "\\") + stamp;
    DWORD lastError = ERROR_SUCCESS;
    for (int n = 1; n < 100; ++n) {
        const std::string name = base + (n == 1 ? std::string() : "-" + std::to_string(n));
        // A new file only, written through: a journal is never overwritten,
        // and what it says is on the disk when a write returns.
        rec->file_ = CreateFileW(WideFileName(name + ".TXT").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
        if (rec->file_ != INVALID_HANDLE_VALUE) {
            rec->fileName_ = name + ".TXT";
            rec->copyFolder_ = name + ".FILES";
            break;
        }
        lastError = GetLastError();
        if (!IsNameTaken(lastError))
            break;
    }
    if (rec->file_ == INVALID_HANDLE_VALUE) {
        error = "The undo journal could not be created in " + folder + ": " + SystemErrorText(lastError);
        return nullptr;
    }
    rec->old_ = oldAddr;
    rec->new_ = newAddr;
    std::string written;
    if (!rec->Write({{kUndoJournalMagic, std::to_string(kUndoJournalVersion)},
                     {"run", Utf8(oldAddr), Utf8(newAddr), Utf8(date)}},
                    written)) {
        error = "The undo journal " + rec->fileName_ + " could not be written: " + written;
        return nullptr;
    }
    return rec;
}

TUndoRecorder::~TUndoRecorder() {
    if (file_ != INVALID_HANDLE_VALUE)
        CloseHandle(file_);
}

namespace {
DWORD (*g_journalFault)() = nullptr;
}  // namespace

void SetUndoJournalFaultHookForTest(DWORD (*hook)()) {
    g_journalFault = hook;
}

bool TUndoRecorder::Write(const std::vector<std::vector<std::string>>& records, std::string& error) {
    std::string text;
    for (const auto& r : records)
        text += UndoJournalLine(r);
    if (const DWORD fault = g_journalFault ? g_journalFault() : 0) {
        error = SystemErrorText(fault);
        return false;
    }
    DWORD done = 0;
    if (!WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) || done != text.size() ||
        !FlushFileBuffers(file_)) {
        const DWORD fault = GetLastError();
        error = SystemErrorText(fault ? fault : ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

bool TUndoRecorder::Before(int kind, const TReplaceGroup& group, std::string& error) {
    pending_.clear();
    lastBackup_.clear();
    std::vector<std::vector<std::string>> records;
    auto add = [&](int k, const std::string& target, const std::string& name, const std::string& newName) -> Pending* {
        for (const Pending& p : pending_)
            if (p.kind == k && p.target == target && p.name == name && p.newName == newName)
                return nullptr;
        pending_.push_back({k, std::to_string(nextId_++), target, name, newName});
        return &pending_.back();
    };
    if (kind == kIni) {
        Pending* p = add(kIni, group.Key, "", "");
        records.push_back({"ini-before", p->id, Utf8(p->target), FileState(p->target)});
    } else if (kind == kLnk) {
        Pending* p = add(kLnk, group.Key, "", "");
        std::string bytes;
        if (!ReadWholeFile(p->target, bytes)) {
            error = "the shortcut " + p->target + " could not be read to keep a copy";
            pending_.clear();
            return false;
        }
        CreateDirectoryW(WideFileName(copyFolder_).c_str(), nullptr);
        const std::string copy = copyFolder_ + "\\" + p->id + ".LNK";
        const DWORD saved = SaveFileReplacing(copy, bytes);
        if (saved != ERROR_SUCCESS) {
            error = "the copy " + copy + " could not be made: " + SaveErrorMessage(saved);
            pending_.clear();
            return false;
        }
        records.push_back({"lnk-before", p->id, Utf8(p->target), UndoFileState(bytes), Utf8(copy)});
    } else if (kind == kGrp) {
        if (conversation_ == nullptr) {
            error = "no conversation with Program Manager to read the group's items";
            pending_.clear();
            return false;
        }
        const std::vector<std::string> lines = GroupLines(*conversation_, group.Key);
        for (const TReplaceHit& hit : group.Hits) {
            const std::string line = GroupItemLineNamed(lines, hit.Text);
            if (line == kUndoAbsent)
                continue;  // the replacer reports it as not found and changes nothing
            if (Pending* p = add(kGrp, group.Key, hit.Text, "")) {
                records.push_back({"group-before", p->id, Utf8(group.Key), Utf8(hit.Text), Utf8(line)});
                groupPending_.push_back(*p);
            }
        }
    } else if (kind == kReg) {
        for (const TReplaceHit& hit : group.Hits) {
            if (hit.SubType == 6) {
                std::string newName = hit.Text;
                ReplaceAllText(newName, old_, new_);
                Pending* p = add(kReg * 10 + 6, group.Key, hit.Text, newName);
                if (!p)
                    continue;
                std::vector<TUndoEntry::TKeyValue> listing;
                const std::string before = KeyState(group.Key, hit.Text, &listing);
                records.push_back({"key-before", p->id, Utf8(group.Key), Utf8(hit.Text), Utf8(newName), before,
                                   KeyState(group.Key, newName)});
                for (const auto& v : listing)
                    records.push_back({"key-value", p->id, Utf8(v.Path), Utf8(v.Name), v.State});
            } else if (hit.SubType >= 7 && hit.SubType <= 9) {
                const std::string name = ValueNameOf(hit);
                std::vector<std::string> names{name};
                if (hit.SubType == 7) {
                    std::string newName = name;
                    ReplaceAllText(newName, old_, new_);
                    names.push_back(newName);
                }
                for (const std::string& n : names)
                    if (Pending* p = add(kReg * 10 + 7, group.Key, n, ""))
                        records.push_back({"value-before", p->id, Utf8(group.Key), Utf8(n), ValueState(group.Key, n)});
            }
        }
    }
    if (!records.empty() && !Write(records, error)) {
        pending_.clear();
        return false;
    }
    return true;
}

void TUndoRecorder::After() {
    std::vector<std::vector<std::string>> records;
    for (const Pending& p : pending_) {
        if (p.kind == kGrp)
            continue;  // changed only when the commands are sent: AfterGroupItems
        if (p.kind == kIni)
            records.push_back({"ini-after", p.id, FileState(p.target), Utf8(lastBackup_)});
        else if (p.kind == kLnk)
            records.push_back({"lnk-after", p.id, FileState(p.target)});
        else if (p.kind == kReg * 10 + 6)
            records.push_back({"key-after", p.id, KeyState(p.target, p.name), KeyState(p.target, p.newName)});
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
            lines = GroupLines(*conversation_, group);
        }
        records.push_back({"group-after", p.id, Utf8(GroupItemLineNamed(lines, p.name))});
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

// ------------------------------------------------------------------ Restore

namespace {

std::string Describe(const TUndoEntry& e) {
    switch (e.Kind) {
        case TUndoKind::Ini:
            return "INI file " + Ansi(e.Target);
        case TUndoKind::Shortcut:
            return "shortcut " + Ansi(e.Target);
        case TUndoKind::Value:
            return "value " + Ansi(e.Target) + " " + ValueDisplayName(Ansi(e.Name));
        case TUndoKind::KeyMove:
            return "key " + Ansi(Join(e.Target, e.NewName));
        case TUndoKind::GroupItem:
            return "group item " + Ansi(e.Target) + " / " + Ansi(e.Name);
    }
    return std::string();
}

// Puts a file's content back; true when done.
bool PutFileBack(const std::string& file,
                 const std::string& source,
                 const std::string& expectedState,
                 std::string& why) {
    std::string bytes;
    if (!ReadWholeFile(source, bytes)) {
        why = "its saved copy " + source + " cannot be read";
        return false;
    }
    if (UndoFileState(bytes) != expectedState) {
        why = "its saved copy " + source + " has changed since the run";
        return false;
    }
    const DWORD saved = SaveFileKeepingItsState(file, bytes);
    if (saved != ERROR_SUCCESS) {
        why = SaveErrorMessage(saved);
        return false;
    }
    return true;
}

bool PutValueBack(const TUndoEntry& e, std::string& why) {
    KeyRef ref;
    if (!SplitKeyPath(Ansi(e.Target), ref)) {
        why = "its key path is not understood";
        return false;
    }
    const std::string name = Ansi(e.Name);
    TRegistry reg(KEY_QUERY_VALUE | KEY_SET_VALUE);
    reg.SetRootKey(ref.root);
    if (!reg.OpenKey(ref.path, false)) {
        why = "its key does not open";
        return false;
    }
    try {
        if (e.Before == kUndoAbsent) {
            if (!reg.DeleteValue(name)) {
                why = "it cannot be deleted";
                return false;
            }
            return true;
        }
        TRegRawValue v;
        std::uint32_t type = 0;
        if (!ParseUndoValueState(e.Before, type, v.Bytes)) {
            why = "the journal's record of it is not understood";
            return false;
        }
        v.Type = type;
        reg.WriteRaw(name, v);
        return true;
    } catch (const ERegistryException& x) {
        why = x.what();
        return false;
    }
}

bool PutKeyBack(const TUndoEntry& e, std::string& why) {
    // Only a move is undone: the key now under its new name goes back to
    // its old one, with its values, subkeys and security as the move keeps
    // them.
    if (!(e.Before != kUndoAbsent && e.BeforeNew == kUndoAbsent && e.After && *e.After == kUndoAbsent)) {
        why = "the run did not move it";
        return false;
    }
    KeyRef ref;
    if (!SplitKeyPath(Ansi(e.Target), ref)) {
        why = "its key path is not understood";
        return false;
    }
    TRegistry reg;
    reg.SetRootKey(ref.root);
    if (!ref.path.empty() && !reg.OpenKey(ref.path, false)) {
        why = "its parent key does not open";
        return false;
    }
    try {
        const TRenameOutcome outcome = MoveRegistryKey(reg, Ansi(e.NewName), Ansi(e.Name));
        if (outcome == TRenameOutcome::Done)
            return true;
        why = "the key could not be moved back";
        return false;
    } catch (const ERegistryException& x) {
        why = x.what();
        return false;
    }
}

// Sends the commands that make the item again as its line before the run,
// and checks that Program Manager then shows it so.
bool PutGroupItemBack(TDdeClientConv& conversation, const TUndoEntry& e, std::string& why) {
    const std::string group = Ansi(e.Target), line = Ansi(e.Before);
    const std::optional<std::vector<std::string>> commands = GroupItemRestoreCommands(group, line);
    if (!commands) {
        why = "its line cannot be sent back to Program Manager unchanged";
        return false;
    }
    conversation.SetLink("ProgMan", "ProgMan");
    if (!conversation.OpenLink() || !conversation.ExecuteMacroLines(*commands)) {
        conversation.CloseLink();
        why = "Program Manager did not take the commands";
        return false;
    }
    for (int round = 0; round < 200 && conversation.Waiting(); ++round) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 25, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    conversation.CloseLink();
    if (GroupItemLineNamed(GroupLines(conversation, group), Ansi(e.Name)) != line) {
        why = "Program Manager does not show it as it was";
        return false;
    }
    return true;
}

}  // namespace

int RestoreUndoJournal(const std::string& journalFile, const TLogLine& log) {
    int problems = 0;
    auto fail = [&](const std::string& line) {
        log("***** " + line);
        ++problems;
    };
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    log(std::string("Restore by Movix 32 on ") + stamp);
    log("(Error lines begin with *****)");
    log("Undo journal: " + journalFile);
    std::string text;
    if (!ReadWholeFile(journalFile, text)) {
        fail("The undo journal cannot be read: " + journalFile);
        return problems;
    }
    std::string error;
    const std::optional<TUndoJournal> journal = ParseUndoJournal(text, error);
    if (!journal) {
        fail(error);
        return problems;
    }
    log("Old address: " + Ansi(journal->OldAddress));
    log("New address: " + Ansi(journal->NewAddress));
    for (const std::string& issue : journal->Issues)
        fail("Journal " + issue + " (left out)");
    log("");
    int restored = 0, unchanged = 0;
    std::unique_ptr<TDdeClientConv> conversation;
    for (auto it = journal->Entries.rbegin(); it != journal->Entries.rend(); ++it) {
        const TUndoEntry& e = *it;
        TUndoAction action = TUndoAction::ChangedSince;
        switch (e.Kind) {
            case TUndoKind::Ini:
            case TUndoKind::Shortcut:
                action = DecideUndo(e.Before, e.After, FileState(Ansi(e.Target)));
                break;
            case TUndoKind::Value:
                action = DecideUndo(e.Before, e.After, ValueState(Ansi(e.Target), Ansi(e.Name)));
                break;
            case TUndoKind::KeyMove:
                action = DecideKeyMoveUndo(e, KeyState(Ansi(e.Target), Ansi(e.Name)),
                                           KeyState(Ansi(e.Target), Ansi(e.NewName)));
                break;
            case TUndoKind::GroupItem:
                if (!conversation)
                    conversation = std::make_unique<TDdeClientConv>();
                action = DecideUndo(e.Before, e.After,
                                    GroupItemLineNamed(GroupLines(*conversation, Ansi(e.Target)), Ansi(e.Name)));
                break;
        }
        if (action == TUndoAction::Nothing) {
            ++unchanged;
            continue;
        }
        if (action == TUndoAction::ChangedSince) {
            fail(std::string(e.After && (e.Kind != TUndoKind::KeyMove || e.AfterNew)
                                 ? "Changed since the run, left as it is: "
                                 : "The run did not record its change, left as it is: ") +
                 Describe(e));
            continue;
        }
        std::string why;
        bool done = false;
        switch (e.Kind) {
            case TUndoKind::Ini:
                if (e.Saved.empty())
                    why = "the run recorded no backup";
                else
                    done = PutFileBack(Ansi(e.Target), Ansi(e.Saved), e.Before, why);
                break;
            case TUndoKind::Shortcut:
                done = PutFileBack(Ansi(e.Target), Ansi(e.Saved), e.Before, why);
                break;
            case TUndoKind::Value:
                done = PutValueBack(e, why);
                break;
            case TUndoKind::KeyMove:
                done = PutKeyBack(e, why);
                break;
            case TUndoKind::GroupItem:
                done = PutGroupItemBack(*conversation, e, why);
                break;
        }
        if (done) {
            ++restored;
            log("Restored " + Describe(e));
        } else {
            fail("Could not restore " + Describe(e) + ": " + why);
        }
    }
    log("");
    log(std::to_string(restored) + " restored, " + std::to_string(unchanged) + " already as before the run, " +
        std::to_string(problems) + " not restored.");
    return problems;
}

}  // namespace movix
