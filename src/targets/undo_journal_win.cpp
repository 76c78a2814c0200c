#include "targets/undo_journal_win.h"

#include <aclapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>

#include "core/kinds.h"
#include "core/strings.h"
#include "core/undo_journal.h"
#include "platform/wide_text_win.h"
#include "platform/file_io_win.h"
#include "platform/handles.h"
#include "platform/message_pump_win.h"
#include "platform/save_file_win.h"
#include "platform/seal_key_win.h"
#include "targets/dde_conversation_win.h"
#include "targets/folder_move_parts_win.h"
#include "targets/folder_return_win.h"
#include "targets/ini_lines.h"
#include "targets/progman_commands.h"
#include "targets/progman_groups_win.h"
#include "targets/progman_undo.h"
#include "targets/registry_paths.h"
#include "targets/registry_replace_win.h"
#include "platform/registry_win.h"
#include "targets/scheduled_tasks_win.h"
#include "targets/service_entries.h"
#include "targets/service_kinds_win.h"
#include "targets/services_win.h"
#include "targets/undo_names.h"
#include "targets/undo_put_back_win.h"
#include "targets/undo_states_win.h"

namespace movix {

namespace {

// The program's strings and the journal are both UTF-8.
const std::string& Utf8(const std::string& text) {
    return text;
}

const std::string& Ansi(const std::string& text) {
    return text;
}

// ------------------------------------------------- the folder of copies

// The user the process runs as.
std::vector<unsigned char> CurrentUserSid() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return {};
    FileHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size))
        return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    std::vector<unsigned char> copy(GetLengthSid(sid));
    CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid);
    return copy;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    return CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer);
}

// Makes the folder new (never one that is there already), owned by the
// user, with access for the user alone, passed on to what is made in it.
DWORD MakePrivateFolder(const std::string& name) {
    std::vector<unsigned char> user = CurrentUserSid();
    if (user.empty())
        return ERROR_NO_TOKEN;
    const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + static_cast<DWORD>(user.size());
    std::vector<unsigned char> aclBuffer(aclSize);
    PACL acl = reinterpret_cast<PACL>(aclBuffer.data());
    SECURITY_DESCRIPTOR sd;
    if (!InitializeAcl(acl, aclSize, ACL_REVISION) ||
        !AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS,
                               user.data()) ||
        !InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&sd, user.data(), FALSE) || !SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return GetLastError();
    SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
    if (!CreateDirectoryW(WideFileName(name).c_str(), &sa))
        return GetLastError();
    return ERROR_SUCCESS;
}

// Whether the run's folder of copies is still as the run made it: a folder
// (no link to one), owned by this user, which no one else may write, nor
// any file in it.
bool FolderIsPrivate(const std::string& name, std::string& why) {
    FileHandle folder(CreateFileW(WideFileName(name).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!folder || !GetFileInformationByHandle(folder.get(), &info)) {
        why = "its folder of copies " + name + " cannot be opened";
        return false;
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        why = "its folder of copies " + name + " is not the folder the run made";
        return false;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetSecurityInfo(folder.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS) {
        why = "the access rules of its folder of copies " + name + " cannot be read";
        return false;
    }
    auto freeSd = ScopeExit([sd] { LocalFree(sd); });
    const std::vector<unsigned char> user = CurrentUserSid();
    if (owner == nullptr || user.empty() || !EqualSid(owner, const_cast<unsigned char*>(user.data()))) {
        why = "its folder of copies " + name + " is not owned by this user";
        return false;
    }
    // Any right to change the folder or what is in it, or its rules.
    const ACCESS_MASK kWrites = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    bool othersWrite = dacl == nullptr;  // no rules: everyone may do anything
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount && !othersWrite; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) {
            othersWrite = true;
            break;
        }
        if (ace->AceType == ACCESS_DENIED_ACE_TYPE)
            continue;
        if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            othersWrite = true;  // a kind of rule this check does not read
            break;
        }
        auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
        const PSID sid = &allowed->SidStart;
        if (!(allowed->Mask & kWrites))
            continue;
        if (EqualSid(sid, const_cast<unsigned char*>(user.data())) || IsWellKnown(sid, WinLocalSystemSid) ||
            IsWellKnown(sid, WinBuiltinAdministratorsSid))
            continue;
        othersWrite = true;
    }
    if (othersWrite) {
        why = "others may write in its folder of copies " + name;
        return false;
    }
    return true;
}

}  // namespace

std::string DefaultUndoFolder() {
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, 0, path)))
        return WideToUtf8(path);
    return std::string();
}

namespace {
DWORD (*g_volumeFlags)(const std::string&) = nullptr;
}  // namespace

void SetVolumeFlagsHookForTest(DWORD (*hook)(const std::string& folder)) {
    g_volumeFlags = hook;
}

bool UndoFolderHoldsAccessRules(const std::string& folder, std::string& error) {
    DWORD flags = 0;
    if (g_volumeFlags) {
        flags = g_volumeFlags(folder);
    } else {
        std::wstring root(32768, L'\0');
        // A folder whose drive cannot be asked (one not there) is left to
        // the making of the journal, which says why it fails.
        if (!GetVolumePathNameW(WideFileName(folder).c_str(), &root[0], static_cast<DWORD>(root.size())) ||
            !GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
            return true;
    }
    if (flags & FILE_PERSISTENT_ACLS)
        return true;
    error = "The undo journal cannot be kept in " + folder +
            ": its drive (FAT or exFAT) keeps no access rules, so that anyone could change the run's copies "
            "and Restore would refuse the journal. Name a log on an NTFS drive, or none (the journal then goes "
            "into the documents folder); nothing was changed.";
    return false;
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
    if (!UndoFolderHoldsAccessRules(folder, error))
        return nullptr;
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
    // From here on a failure leaves a journal that nothing was recorded in:
    // it goes again.
    auto discard = [&rec] {
        CloseHandle(rec->file_);
        rec->file_ = INVALID_HANDLE_VALUE;
        DeleteFileW(WideFileName(rec->fileName_).c_str());
    };
    // An elevated run seals with the machine's key: no program of the
    // user's unelevated can make that seal, and only it is taken by an
    // elevated Restore.
    const TUndoKey keyKind = RunsElevated() ? TUndoKey::Machine : TUndoKey::User;
    std::string keyError;
    const std::string key =
        keyKind == TUndoKey::Machine ? MachineJournalKey(true, keyError) : UserJournalKey(true, keyError);
    const std::string nonce = RandomHex(16);
    if (key.empty() || nonce.empty()) {
        error = "The undo journal " + rec->fileName_ + " could not be sealed: " +
                (keyError.empty() ? std::string("the system gives no random bytes") : keyError);
        discard();
        return nullptr;
    }
    rec->sealer_.reset(
        new TUndoLineSealer([key](std::string_view text) { return HmacSha256Hex(key, text); }, nonce, keyKind));
    // The copies go to a folder of the run's own that no one else can write
    // in or foresee the name of.
    const std::string stem = rec->fileName_.substr(0, rec->fileName_.size() - 4);
    DWORD made = ERROR_ALREADY_EXISTS;
    for (int attempt = 0; attempt < 16 && IsNameTaken(made); ++attempt) {
        const std::string tag = RandomHex(8);
        rec->copyFolder_ = stem + "-" + tag + ".FILES";
        made = tag.empty() ? ERROR_GEN_FAILURE : MakePrivateFolder(rec->copyFolder_);
    }
    if (made != ERROR_SUCCESS) {
        error = "The folder for the undo journal's copies could not be created beside " + rec->fileName_ + ": " +
                SystemErrorText(made);
        discard();
        return nullptr;
    }
    rec->old_ = oldAddr;
    rec->new_ = newAddr;
    std::string written;
    if (!rec->Write({{"run", Utf8(oldAddr), Utf8(newAddr), Utf8(date), Utf8(rec->copyFolder_)}}, written, true)) {
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

bool TUndoRecorder::Write(const std::vector<std::vector<std::string>>& records, std::string& error, bool head) {
    if (broken_) {
        error = "an earlier write to the journal failed half way";
        return false;
    }
    // Lines are sealed with their place: the sealer moves on only with what
    // is on the disk, so that a failed write leaves no gap in the numbering.
    TUndoLineSealer sealer = *sealer_;
    std::string text = head ? sealer.Header() : std::string();
    for (const auto& r : records)
        text += sealer.Line(r);
    if (const DWORD fault = g_journalFault ? g_journalFault() : 0) {
        error = SystemErrorText(fault);
        return false;
    }
    DWORD done = 0;
    if (!WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) || done != text.size() ||
        !FlushFileBuffers(file_)) {
        const DWORD fault = GetLastError();
        error = SystemErrorText(fault ? fault : ERROR_WRITE_FAULT);
        // What part of it got there is cut off again; where that fails too,
        // nothing more is recorded (and so nothing more is changed).
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size_);
        if (!SetFilePointerEx(file_, end, nullptr, FILE_BEGIN) || !SetEndOfFile(file_) || !FlushFileBuffers(file_))
            broken_ = true;
        return false;
    }
    size_ += text.size();
    *sealer_ = sealer;
    return true;
}

bool TUndoRecorder::BeforeMove(const std::string& oldFolder,
                               const std::string& newFolder,
                               bool junction,
                               std::string& error) {
    const std::string id = std::to_string(nextId_++);
    if (!Write({{"move-before", id, Utf8(oldFolder), Utf8(newFolder), junction ? "1" : "0"}}, error))
        return false;
    moveId_ = id;
    return true;
}

void TUndoRecorder::AfterMove(const std::string& digest) {
    std::string error;
    // Without its end Restore leaves the folder where it is and says so.
    if (!moveId_.empty())
        Write({{"move-after", moveId_, digest}}, error);
    moveId_.clear();
}

namespace {

std::string TimeNow() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return std::to_string((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

std::optional<TUndoJournal> LoadJournal(const std::string& journalFile, std::string& error);

// The end of a move cut short, once Restore has finished it, added to the
// journal's end under the journal's own seal: a later Restore then takes
// the move as ended, and brings the folder back as after any move. Only a
// journal read whole, with no line torn or damaged, takes it.
bool RecordMoveEnd(const std::string& journalFile, const std::string& id, const std::string& digest,
                   std::string& error) {
    std::string text;
    const std::optional<TUndoJournal> journal = LoadJournal(journalFile, error);
    if (!journal || !ReadWholeFile(journalFile, text))
        return false;
    if (!journal->Issues.empty() || text.empty() || text.back() != '\n') {
        error = "the journal has lines left out";
        return false;
    }
    std::string keyError;
    const std::string key = journal->Key == TUndoKey::Machine ? MachineJournalKey(false, keyError)
                                                              : UserJournalKey(false, keyError);
    if (key.empty()) {
        error = keyError;
        return false;
    }
    TUndoLineSealer sealer([&key](std::string_view line) { return HmacSha256Hex(key, line); }, journal->Nonce,
                           journal->Key);
    for (char c : text)
        if (c == '\n')
            sealer.Line({});
    const std::string line = sealer.Line({"move-after", id, digest});
    FileHandle file(CreateFileW(WideFileName(journalFile).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD done = 0;
    if (!file || !WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &done, nullptr) ||
        done != line.size() || !FlushFileBuffers(file.get())) {
        error = SystemErrorText(GetLastError());
        return false;
    }
    return true;
}

}  // namespace

TMoveJournal TUndoRecorder::MoveJournal() {
    TMoveJournal journal;
    journal.copyBegun = [this](const TMoveCopyMark& mark, std::string& error) {
        return !moveId_.empty() &&
               Write({{"move-copy", moveId_, std::to_string(mark.volume), std::to_string(mark.index),
                       mark.madeNew ? "1" : "0", Utf8(mark.madeFrom), TimeNow()}},
                     error);
    };
    // A sign that is not written only makes the run look shorter to
    // Restore, which then leaves more of New alone.
    journal.stillCopying = [this] {
        std::string error;
        if (!moveId_.empty())
            Write({{"move-copying", moveId_, TimeNow()}}, error);
    };
    journal.goingAside = [this](const std::string& aside, std::uint64_t oldIndex, std::string& error) {
        return !moveId_.empty() &&
               Write({{"move-aside", moveId_, Utf8(aside), std::to_string(oldIndex), TimeNow()}}, error);
    };
    return journal;
}

// ------------------------------------------------------------------ Restore

namespace {

std::string Describe(const TUndoEntry& e) {
    switch (e.Kind) {
        case TUndoKind::Ini:  // an INI file or a configuration file, by its type
        case TUndoKind::Shortcut:
            return UndoTargetNoun(e) + " " + Ansi(e.Target);
        case TUndoKind::Value:
            return "value " + Ansi(e.Target) + " " + ValueDisplayName(Ansi(e.Name));
        case TUndoKind::KeyMove:
            return "key " + Ansi(Join(e.Target, e.NewName));
        case TUndoKind::FolderMove:
            return "the folder " + Ansi(e.NewName) + " (moved there from " + Ansi(e.Target) + ")";
        case TUndoKind::GroupItem:
            return "group item " + Ansi(e.Target) + " / " + Ansi(e.Name);
        case TUndoKind::Service:
            return "service " + e.Target + (e.Name == kServiceFieldCommand ? " (its path)" : " (its description)");
        case TUndoKind::Task:
            return "scheduled task " + e.Target;
    }
    return std::string();
}

}  // namespace

namespace {

// Sets a service's field or a task back through its manager, which checks
// once more that it is as the run left it. The manager's own lines go to the
// log; its "*****" line becomes the reason.
bool PutThroughManager(const TUndoEntry& e, const TLogLine& log, std::string& why) {
    std::vector<std::string> lines;
    const TLogLine collect = [&lines](const std::string& line) { lines.push_back(line); };
    bool done = false;
    if (e.Kind == TUndoKind::Service) {
        if (e.Before.empty() || e.Before[0] != '=' || !e.After || e.After->empty() || (*e.After)[0] != '=') {
            why = "the journal's record of it is not understood";
            return false;
        }
        done = RestoreServiceChange({e.Target, e.Name, e.Before.substr(1), e.After->substr(1)}, collect);
    } else {
        TTaskChange change;
        change.TaskPath = e.Target;
        change.BeforeXml = e.Saved;
        // The texts before and after are those of the task's states, field
        // by field: after, as the task held them (the arguments quoted where
        // the replacer quoted them), not as the journal planned them.
        const auto before = ParseFieldsState(e.Before);
        const auto after = e.After ? ParseFieldsState(*e.After) : std::nullopt;
        if (!before || !after || before->size() != e.Listing.size() || after->size() != e.Listing.size()) {
            why = "the journal's record of it is not understood";
            return false;
        }
        for (std::size_t i = 0; i < e.Listing.size(); ++i) {
            const TUndoEntry::TKeyValue& f = e.Listing[i];
            TReplaceHit numbered;
            numbered.ValueName = f.Path;
            const int action = TaskActionOf(numbered);
            if (!(*before)[i] || !(*after)[i]) {
                why = "its fields could not be read during the run";
                return false;
            }
            change.Written.push_back({e.Target, action, f.Name, *(*after)[i], false});
            change.Before.push_back({e.Target, action, f.Name, *(*before)[i], false});
        }
        done = RestoreTaskChange(change, collect);
    }
    static const std::string kError = "***** ";
    for (const std::string& line : lines) {
        if (line.compare(0, kError.size(), kError) != 0)
            log(line);
        else if (why.empty())
            why = line.substr(kError.size());
    }
    if (!done && why.empty())
        why = "its manager refused";
    return done;
}

// Reads the journal and checks what decides whether it may be used at all:
// its seals, and its folder of copies.
std::optional<TUndoJournal> LoadJournal(const std::string& journalFile, std::string& error) {
    std::string text;
    if (!ReadWholeFile(journalFile, text)) {
        error = "The undo journal cannot be read: " + journalFile;
        return std::nullopt;
    }
    // An elevated Restore writes where the user alone could not: it takes
    // only what an elevated run sealed with the machine's key. A journal of
    // the user's key is the user's to restore, with the user's own rights.
    const bool elevated = RunsElevated();
    const std::optional<TUndoKey> named = UndoJournalKeyNamed(text);
    if (named && elevated && *named == TUndoKey::User) {
        error =
            "The undo journal was written by a run without administrator rights: a Restore run as "
            "administrator (elevated) does not use it, nothing is restored. Run Restore without "
            "elevation, as the user who made the run.";
        return std::nullopt;
    }
    if (named && !elevated && *named == TUndoKey::Machine) {
        error =
            "The undo journal was written by a run with administrator rights: only a Restore run as "
            "administrator (elevated) uses it, nothing is restored.";
        return std::nullopt;
    }
    std::string keyError;
    const std::string key = elevated ? MachineJournalKey(false, keyError) : UserJournalKey(false, keyError);
    // Without a key of this user's (or the machine's) no seal matches.
    const TUndoSeal seal = [&key](std::string_view line) {
        return key.empty() ? std::string() : HmacSha256Hex(key, line);
    };
    std::optional<TUndoJournal> journal = ParseUndoJournal(text, seal, error);
    if (!journal) {
        if (!keyError.empty())
            error += " (" + keyError + ")";
        return std::nullopt;
    }
    if (journal->Key != (elevated ? TUndoKey::Machine : TUndoKey::User)) {
        error = "The undo journal does not say whose key sealed it: it is not used, nothing is restored.";
        return std::nullopt;
    }
    std::string why;
    if (!journal->Entries.empty() && !FolderIsPrivate(journal->CopyFolder, why)) {
        error = "The undo journal is not used, nothing is restored: " + why + ".";
        return std::nullopt;
    }
    return journal;
}

}  // namespace

namespace {

// A file the run rewrote inside the folder it moved was recorded where it
// lay then, at New; once the folder is back at Old the file is there, and
// so is the backup the run left beside it.
TUndoEntry FollowedToOld(const TUndoEntry& e, const TUndoEntry& move) {
    TUndoEntry at = e;
    if (e.Kind != TUndoKind::Ini && e.Kind != TUndoKind::Shortcut)
        return at;
    const std::wstring newFolder = Utf8ToWide(move.NewName);
    const auto rebase = [&](std::string& path) {
        if (!path.empty() && !newFolder.empty() && move_parts::IsAtOrBelow(Utf8ToWide(path), newFolder))
            path = move.Target + path.substr(move.NewName.size());
    };
    rebase(at.Target);
    rebase(at.Saved);
    return at;
}

}  // namespace

namespace {

// What Restore does with one record, by what its target holds now.
TUndoAction DecideEntry(const TUndoEntry& e, std::unique_ptr<TDdeClientConv>& conversation) {
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
            action =
                DecideKeyMoveUndo(e, KeyState(Ansi(e.Target), Ansi(e.Name)), KeyState(Ansi(e.Target), Ansi(e.NewName)));
            break;
        case TUndoKind::FolderMove:  // decided about first, by RestoreUndoJournal
            break;
        case TUndoKind::GroupItem:
            if (!conversation)
                conversation = std::make_unique<TDdeClientConv>();
            action = DecideUndo(e.Before, e.After,
                                GroupItemLineNamed(FetchGroupLines(*conversation, Ansi(e.Target)), Ansi(e.Name)));
            break;
        case TUndoKind::Service:
            action = DecideUndo(e.Before, e.After, FieldState(ReadServiceField(e.Target, e.Name)));
            break;
        case TUndoKind::Task:
            action = DecideUndo(e.Before, e.After, TaskFieldsState(e.Target, e.Listing));
            break;
    }
    return action;
}

// Puts one record's target back as it was before the run (false, with
// why, when it cannot).
bool PutEntryBack(const TUndoJournal& journal,
                  const TUndoEntry& e,
                  std::unique_ptr<TDdeClientConv>& conversation,
                  const TLogLine& log,
                  std::string& why) {
    bool done = false;
    switch (e.Kind) {
        case TUndoKind::Ini:
            if (e.Saved.empty())
                why = "the run recorded no backup";
            else if (!SavedByTheRun(journal, e))
                why = "its backup " + e.Saved + " is not one the run made of it";
            else
                done = PutBackupBack(Ansi(e.Target), Ansi(e.Saved), e.Before, *e.After, why);
            break;
        case TUndoKind::Shortcut: {
            std::string bytes;
            if (!SavedByTheRun(journal, e))
                why = "its copy " + e.Saved + " is not one the run made of it";
            else if (!ReadWholeFile(Ansi(e.Saved), bytes))
                why = "its saved copy " + e.Saved + " cannot be read";
            else if (UndoFileState(bytes.size(), Sha256Hex(bytes)) != e.Before)
                why = "its saved copy " + e.Saved + " has changed since the run";
            else
                done = PutBytesBack(Ansi(e.Target), bytes, *e.After, why);
            break;
        }
        case TUndoKind::Value:
            done = PutValueBack(e, why);
            break;
        case TUndoKind::KeyMove:
            done = PutKeyBack(e, why);
            break;
        case TUndoKind::FolderMove:  // decided about first, by RestoreUndoJournal
            break;
        case TUndoKind::GroupItem:
            done = PutGroupItemBack(*conversation, e, why);
            break;
        case TUndoKind::Service:
        case TUndoKind::Task:
            done = PutThroughManager(e, log, why);
            break;
    }
    return done;
}

}  // namespace

int RestoreUndoJournal(const std::string& journalFile, const TLogLine& log, const std::function<bool()>& stop) {
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
    std::string error;
    const std::optional<TUndoJournal> journal = LoadJournal(journalFile, error);
    if (!journal) {
        fail(error);
        return problems;
    }
    log("Old address: " + Ansi(journal->OldAddress));
    log("New address: " + Ansi(journal->NewAddress));
    for (const std::string& issue : journal->Issues)
        fail("Journal " + issue + " (left out)");
    log("");
    int restored = 0, unchanged = 0, leftAtNew = 0;
    std::unique_ptr<TDdeClientConv> conversation;
    // The folder the run moved is decided about first: every reference goes
    // where the program goes. Then the references, in the reverse order of
    // the run. (A run records at most one move, before anything else.)
    std::vector<const TUndoEntry*> order;
    for (const TUndoEntry& e : journal->Entries)
        if (e.Kind == TUndoKind::FolderMove && order.empty())
            order.push_back(&e);
    for (auto it = journal->Entries.rbegin(); it != journal->Entries.rend(); ++it)
        if (it->Kind != TUndoKind::FolderMove)
            order.push_back(&*it);
    // Once the program is at Old, the references follow it even when the
    // window asks to close, so that the two are not left apart.
    bool followFolder = false, folderStays = false;
    const TUndoEntry* movedBack = nullptr;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const TUndoEntry followed = movedBack ? FollowedToOld(*order[i], *movedBack) : TUndoEntry();
        const TUndoEntry& e = movedBack ? followed : *order[i];
        // Asked to stop: what is in hand is done; the rest is named.
        if (!followFolder && stop && stop()) {
            fail("The restore was stopped because the window was asked to close. Not restored:");
            for (; i < order.size(); ++i) {
                log("    " + Describe(*order[i]));
                ++problems;
            }
            --problems;
            break;
        }
        if (e.Kind == TUndoKind::FolderMove) {
            const TFolderReturn folder =
                ReturnMovedFolder(e, FolderReturnStagingName(Ansi(e.Target), journal->Nonce), Describe(e), log, fail,
                                  [&](const std::string& digest, std::string& why) {
                                      return RecordMoveEnd(journalFile, e.Id, digest, why);
                                  });
            if (folder == TFolderReturn::Back) {
                ++restored;
                log("Moved back " + Describe(e) + " to " + Ansi(e.Target));
            } else if (folder == TFolderReturn::AlreadyBack) {
                ++unchanged;
            }
            followFolder = folder != TFolderReturn::Stays;
            folderStays = !followFolder;
            if (folder == TFolderReturn::Back || folder == TFolderReturn::AlreadyBack)
                movedBack = &e;
            continue;
        }
        const TUndoAction action = DecideEntry(e, conversation);
        // With the folder at New, a reference the run changed stays as the
        // run left it; one found at Old already (put back by hand, or by a
        // Restore of before) names a folder that is not there, and is named.
        if (folderStays) {
            if (action == TUndoAction::Nothing && e.After && *e.After != e.Before)
                fail("Back as before the run already, while the folder stays at New: " + Describe(e));
            else if (action == TUndoAction::Nothing)
                ++unchanged;
            else
                ++leftAtNew;
            continue;
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
        const bool done = PutEntryBack(*journal, e, conversation, log, why);
        if (done) {
            ++restored;
            // The backup is the restored file now: it no longer lies beside it.
            log("Restored " + Describe(e) +
                (e.Kind == TUndoKind::Ini ? " (its backup " + e.Saved + " is back in its place)" : std::string()));
        } else {
            fail("Could not restore " + Describe(e) + ": " + why);
        }
    }
    log("");
    if (leftAtNew > 0)
        log(std::to_string(leftAtNew) + " reference(s) left as they are, at New with the folder.");
    log(std::to_string(restored) + " restored, " + std::to_string(unchanged) + " already as before the run, " +
        std::to_string(problems) + " not restored.");
    return problems;
}

std::optional<TUndoJournal> LoadUndoJournal(const std::string& journalFile, std::string& error) {
    return LoadJournal(journalFile, error);
}

bool CheckUndoJournal(const std::string& journalFile, std::string& error) {
    return LoadJournal(journalFile, error).has_value();
}

}  // namespace movix
