#include "targets/undo_put_back_win.h"

#include <aclapi.h>

#include "core/strings.h"
#include "core/undo_journal.h"
#include "platform/wide_text_win.h"
#include "platform/file_io_win.h"
#include "platform/handles.h"
#include "platform/message_pump_win.h"
#include "platform/save_file_win.h"
#include "platform/seal_key_win.h"
#include "targets/dde_conversation_win.h"
#include "targets/ini_lines.h"
#include "targets/progman_commands.h"
#include "targets/progman_groups_win.h"
#include "targets/progman_undo.h"
#include "targets/registry_paths.h"
#include "targets/registry_replace_win.h"
#include "platform/registry_win.h"
#include "targets/undo_states_win.h"

namespace movix {

namespace {

// ------------------------------------------------- putting files back

// The attributes SetFileInformationByHandle can give back: those of
// SetFileAttributes but the offline mark.
constexpr DWORD kSettable = kSettableAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_OFFLINE);

// The whole content of an open file.
bool ReadHandle(HANDLE h, std::string& bytes) {
    bytes.clear();
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr)) {
        if (got == 0)
            return true;
        bytes.append(buf, got);
    }
    return false;
}

bool SetAttributesOf(HANDLE h, DWORD attributes) {
    FILE_BASIC_INFO info{};  // zero times: left as they are
    info.FileAttributes = (attributes & kSettable) ? (attributes & kSettable) : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info) != FALSE;
}

void DeleteOpenFile(HANDLE h) {
    SetAttributesOf(h, FILE_ATTRIBUTE_NORMAL);  // a read-only file is not deleted
    FILE_DISPOSITION_INFO gone{TRUE};
    SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone);
}

// Test seam: asked with the target once Restore holds it, checked, and
// before it is exchanged. Never set by the program itself.
void (*g_heldTargetHook)(const std::string&) = nullptr;

// Opens the target by its own name (a link is not followed) so that no one
// else may write, rename or delete it until it is closed, and checks that
// it holds what the run left (`now`, as the journal has it): from this
// check through the exchange no other program's write can come in between
// and be lost. An invalid handle with the reason in `why` otherwise.
FileHandle HoldTarget(const std::string& target, const std::string& now, std::string& why) {
    FileHandle t(CreateFileW(WideFileName(target).c_str(), GENERIC_READ | DELETE | READ_CONTROL | FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!t) {
        const DWORD error = GetLastError();
        why = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                  ? "another program has it open, left as it is"
                  : "it cannot be opened: " + SystemErrorText(error);
        return FileHandle();
    }
    BY_HANDLE_FILE_INFORMATION info;
    std::string bytes;
    if (!GetFileInformationByHandle(t.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        why = "it is no longer a file";
        return FileHandle();
    }
    if (!ReadHandle(t.get(), bytes) || UndoFileState(bytes.size(), Sha256Hex(bytes)) != now) {
        why = "another program changed it meanwhile, left as it is";
        return FileHandle();
    }
    if (g_heldTargetHook)
        g_heldTargetHook(target);
    return t;
}

// Puts the open file `h` (opened with DELETE, WRITE_DAC and
// FILE_WRITE_ATTRIBUTES, by no other name than the one checked) in the place
// of the held target `t`, with the target's access rules and attributes.
// Both move by their handles: the target aside under a name no one can
// foresee, `h` into its name, then the target goes. Nothing put between the
// check and the exchange under either name is ever taken or lost; when `h`
// cannot follow, the target goes back.
bool ExchangeHeld(HANDLE t, HANDLE h, const std::string& target, std::string& why) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(t, &info)) {
        why = SaveErrorMessage(GetLastError());
        return false;
    }
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetSecurityInfo(t, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &sd) ==
        ERROR_SUCCESS) {
        auto freeSd = ScopeExit([sd] { LocalFree(sd); });
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        GetSecurityDescriptorControl(sd, &control, &revision);
        const SECURITY_INFORMATION what =
            DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                       : UNPROTECTED_DACL_SECURITY_INFORMATION);
        const DWORD set = SetSecurityInfo(h, SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
        if (set != ERROR_SUCCESS) {
            why = "its access rules cannot be kept: " + SystemErrorText(set);
            return false;
        }
    }
    std::string aside;
    DWORD error = ERROR_ALREADY_EXISTS;
    for (int attempt = 0; attempt < 16 && IsNameTaken(error); ++attempt) {
        aside = TaggedTempName(target, RandomTag());
        error = RenameOpenFile(t, aside, false) ? ERROR_SUCCESS : GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        why = SaveErrorMessage(error);
        return false;
    }
    if (!RenameOpenFile(h, target, false)) {
        why = SaveErrorMessage(GetLastError());
        if (!RenameOpenFile(t, target, false))
            why += "; the file as the run left it is " + aside;
        return false;
    }
    SetAttributesOf(h, info.dwFileAttributes);
    DeleteOpenFile(t);
    return true;
}

}  // namespace

// The backup is the very file the target was before the run (the run's
// exchange moved it to the backup name): it goes back to its place, with
// its owner, streams and creation time, once its content is checked, and
// while the target holds what the run left (`now`).
bool PutBackupBack(const std::string& file,
                   const std::string& backup,
                   const std::string& before,
                   const std::string& now,
                   std::string& why) {
    FileHandle h(CreateFileW(WideFileName(backup).c_str(), GENERIC_READ | DELETE | WRITE_DAC | FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!h || !GetFileInformationByHandle(h.get(), &info)) {
        why = "its backup " + backup + " cannot be opened";
        return false;
    }
    std::string bytes;
    // A link, or a file that has another name as well, is not the backup
    // the run made.
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        info.nNumberOfLinks != 1 || !ReadHandle(h.get(), bytes) ||
        UndoFileState(bytes.size(), Sha256Hex(bytes)) != before) {
        why = "its backup " + backup + " has changed since the run";
        return false;
    }
    FileHandle t = HoldTarget(file, now, why);
    return t && ExchangeHeld(t.get(), h.get(), file, why);
}

// Puts content back into a file from a copy: written to a new file of a
// name no one can foresee in the file's folder, which then takes the place
// of the held target by its handle, never opened again by its name.
bool PutBytesBack(const std::string& file, const std::string& bytes, const std::string& now, std::string& why) {
    FileHandle out;
    DWORD error = ERROR_ALREADY_EXISTS;
    for (int attempt = 0; attempt < 16 && !out && IsNameTaken(error); ++attempt) {
        const std::string temp = TaggedTempName(file, RandomTag());
        out.reset(CreateFileW(WideFileName(temp).c_str(), GENERIC_WRITE | DELETE | WRITE_DAC | FILE_WRITE_ATTRIBUTES, 0,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        error = out ? ERROR_SUCCESS : GetLastError();
    }
    if (!out) {
        why = SaveErrorMessage(error);
        return false;
    }
    DWORD done = 0;
    bool ok = WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
              done == bytes.size() && FlushFileBuffers(out.get());
    if (!ok)
        why = SaveErrorMessage(GetLastError() ? GetLastError() : ERROR_WRITE_FAULT);
    FileHandle target;
    if (ok) {
        target = HoldTarget(file, now, why);
        ok = static_cast<bool>(target);
    }
    // The file's creation time stays.
    FILETIME created;
    if (ok && GetFileTime(target.get(), &created, nullptr, nullptr))
        SetFileTime(out.get(), &created, nullptr, nullptr);
    if (ok)
        ok = ExchangeHeld(target.get(), out.get(), file, why);
    if (!ok)
        DeleteOpenFile(out.get());
    return ok;
}

// Whether the saved copy an entry names is one its run made of that very
// target: an INI file's backup beside it under one of the names the INI
// replacer gives, a shortcut's copy in the journal's own folder.
bool SavedByTheRun(const TUndoJournal& journal, const TUndoEntry& e) {
    if (e.Kind == TUndoKind::Shortcut)
        return !journal.CopyFolder.empty() && e.Saved == journal.CopyFolder + "\\" + e.Id + ".LNK";
    for (unsigned number = 0; number < 10000; ++number) {
        const std::string name = NumberedBackupName(e.Target, number);
        if (name.size() == e.Saved.size() && SameFileName(name, e.Saved))
            return !SameFileName(name, e.Target);
    }
    return false;
}

bool PutValueBack(const TUndoEntry& e, std::string& why) {
    KeyRef ref;
    if (!SplitKeyPath(e.Target, ref)) {
        why = "its key path is not understood";
        return false;
    }
    const std::string name = e.Name;
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
    if (!SplitKeyPath(e.Target, ref)) {
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
        const TRenameOutcome outcome = MoveRegistryKey(reg, e.NewName, e.Name);
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
    const std::string group = e.Target, line = e.Before;
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
    // The answer comes as a message; a quit seen meanwhile stays for the
    // program's own loop, and the wait ends there.
    for (int round = 0; round < 200 && conversation.Waiting(); ++round) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 25, QS_ALLINPUT);
        if (!ProcessPendingWindowMessages())
            break;
    }
    conversation.CloseLink();
    if (GroupItemLineNamed(FetchGroupLines(conversation, group), e.Name) != line) {
        why = "Program Manager does not show it as it was";
        return false;
    }
    return true;
}

void SetHeldTargetHookForTest(void (*hook)(const std::string& target)) {
    g_heldTargetHook = hook;
}

}  // namespace movix
