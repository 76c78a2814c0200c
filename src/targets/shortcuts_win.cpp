#include "targets/shortcuts_win.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <stdexcept>
#include <utility>

#include "core/strings.h"
#include "platform/com_ptr_win.h"
#include "platform/file_io_win.h"
#include "platform/handles.h"
#include "platform/message_pump_win.h"
#include "platform/path_names.h"
#include "platform/wide_text_win.h"
#include "targets/ini_lines.h"
#include "targets/shortcut_fields.h"

namespace movix {

namespace {

// Fields are read into a buffer far larger than what they may hold, so that a
// value stored longer than that is seen whole and never rewritten cut.
constexpr int kReadChars = 32768;

// A shell-link object with its file interface.
struct ShellLink {
    ComPtr<IShellLinkW> Link;
    ComPtr<IPersistFile> File;

    HRESULT Create() {
        HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                        reinterpret_cast<void**>(Link.put()));
        if (FAILED(hr))
            return hr;
        hr = Link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(File.put()));
        return FAILED(hr) ? hr : S_OK;
    }
};

// Reads one field; the icon location also gives its icon index.
HRESULT ReadField(IShellLinkW* link, int subType, std::wstring& buffer, std::string& value, int& iconIndex) {
    if (buffer.size() != kReadChars)
        buffer.assign(kReadChars, L'\0');
    buffer[0] = L'\0';
    HRESULT hr = E_INVALIDARG;
    switch (subType) {
        case kSubTypeCommand:
            hr = link->GetPath(&buffer[0], kReadChars, nullptr, SLGP_UNCPRIORITY);
            break;
        case kSubTypeArgs:
            hr = link->GetArguments(&buffer[0], kReadChars);
            break;
        case kSubTypeDir:
            hr = link->GetWorkingDirectory(&buffer[0], kReadChars);
            break;
        case kSubTypeIcon:
            hr = link->GetIconLocation(&buffer[0], kReadChars, &iconIndex);
            break;
        default:
            break;
    }
    if (FAILED(hr))
        return hr;
    buffer[kReadChars - 1] = L'\0';
    value = WideToUtf8(buffer.c_str());
    return S_OK;
}

HRESULT WriteField(IShellLinkW* link, int subType, const std::wstring& value, int iconIndex) {
    switch (subType) {
        case kSubTypeCommand:
            return link->SetPath(value.c_str());
        case kSubTypeArgs:
            return link->SetArguments(value.c_str());
        case kSubTypeDir:
            return link->SetWorkingDirectory(value.c_str());
        case kSubTypeIcon:
            return link->SetIconLocation(value.c_str(), iconIndex);
        default:
            return E_INVALIDARG;
    }
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    const std::wstring wa = Utf8ToWide(a), wb = Utf8ToWide(b);
    return ::CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(), static_cast<int>(wb.size()),
                                  TRUE) == CSTR_EQUAL;
}

std::string HresultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// Attributes a rewritten shortcut keeps of the previous one when it is made.
constexpr DWORD kKeptAtCreation =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The attributes SetFileAttributes can give back.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                            FILE_ATTRIBUTE_TEMPORARY;

// The name itself opened, not what it may link to: a link shows as a
// reparse point.
FileHandle OpenNameItself(const std::wstring& name, DWORD access, DWORD share) {
    return FileHandle(::CreateFileW(name.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
}

// A link, a folder, or a name that leads elsewhere.
bool IsLinkOrFolder(const std::string& file, HANDLE opened, const FileIdentity& identity) {
    return (identity.attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
           NameLeadsElsewhere(file, opened);
}

// The shortcut as the link object would write it, taken from the object
// into memory: the file is then written by this program, through a handle
// of its own, and no name is opened twice.
HRESULT SavedBytes(IShellLinkW* link, std::string& bytes) {
    ComPtr<IPersistStream> persist;
    HRESULT hr = link->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(persist.put()));
    if (FAILED(hr))
        return hr;
    ComPtr<IStream> stream;
    hr = ::CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (FAILED(hr))
        return hr;
    hr = persist->Save(stream.get(), TRUE);
    if (FAILED(hr))
        return hr;
    STATSTG stat{};
    HGLOBAL memory = nullptr;
    hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (SUCCEEDED(hr))
        hr = ::GetHGlobalFromStream(stream.get(), &memory);
    if (FAILED(hr))
        return hr;
    const void* data = ::GlobalLock(memory);
    if (data == nullptr && stat.cbSize.QuadPart != 0)
        return E_OUTOFMEMORY;
    bytes.assign(static_cast<const char*>(data), static_cast<std::size_t>(stat.cbSize.QuadPart));
    ::GlobalUnlock(memory);
    return S_OK;
}

// Creates a file that did not exist under a fresh random name beside `file`
// (`extension` ".$$$" or ".BAK"): a name someone took, by chance or by
// planting a file or link there, is never used.
bool CreateBeside(OutputFile& out, const std::string& file, const char* extension, DWORD attributes,
                  std::string& name) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        name = TaggedTempName(file, RandomTag());
        if (std::string(extension) != ".$$$")
            name = name.substr(0, name.size() - 4) + extension;
        if (SameFileName(name, file))
            continue;
        if (out.CreateNew(name, attributes))
            return true;
        if (!IsNameTaken(out.Error()) && !NameExists(name))
            return false;
    }
    return false;
}

void SetAttributes(const std::string& name, DWORD attributes) {
    attributes &= kSettable;
    ::SetFileAttributesW(WideFileName(name).c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
}

void DeleteIfSame(const std::string& name, const FileIdentity& expected) {
    FileIdentity now;
    if (IdentityOfName(name, now) && now.SameFile(expected))
        ::DeleteFileW(WideFileName(name).c_str());
}

// Puts `bytes` in place of the shortcut `file`, which must still be the file
// `loaded` as it was loaded: written to a new temporary file beside it,
// which then takes its place in one exchange, so that a failure at any point
// leaves either the previous shortcut or the new one under its name, never
// a part of one, and nothing is ever written through a link or into a file
// put in its place. Logs its own failures; true when saved.
bool SaveInPlace(const std::string& file, const std::string& bytes, const FileIdentity& loaded, const TLogLine& log) {
    const std::string oleError = "***** OLE error updating " + file;
    OutputFile out;
    std::string temp;
    if (!CreateBeside(out, file, ".$$$", loaded.attributes & kKeptAtCreation, temp)) {
        log(oleError);
        return false;
    }
    DWORD error = 0;
    const bool written = out.Write(bytes);
    if (!out.Close() || !written || !CopyFileSecurity(file, temp, error)) {
        ::DeleteFileW(WideFileName(temp).c_str());
        log(oleError);
        return false;
    }
    // The previous file goes to a name of its own during the exchange, so
    // that it can be put back should the exchange stop half-way.
    OutputFile placeholder;
    std::string backup;
    if (!CreateBeside(placeholder, file, ".BAK", 0, backup) || !placeholder.Close()) {
        ::DeleteFileW(WideFileName(temp).c_str());
        log(oleError);
        return false;
    }
    FileIdentity placeholderId;
    IdentityOfName(backup, placeholderId);
    auto dropPlaceholder = [&] { DeleteIfSame(backup, placeholderId); };

    FileIdentity now;
    FileHandle named = OpenNameItself(WideFileName(file), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    const bool unchanged = named && IdentityOfHandle(named.get(), now) && !IsLinkOrFolder(file, named.get(), now) &&
                           now.Unchanged(loaded);
    named.reset();
    if (!unchanged) {
        ::DeleteFileW(WideFileName(temp).c_str());
        dropPlaceholder();
        log("***** Changed by another program, left as it is: " + file);
        return false;
    }

    const ExchangeResult exchanged = ReplaceFileChecked(file, temp, backup, error);
    if (exchanged == ExchangeResult::Done) {
        // The new shortcut keeps the previous one's attributes, marked as
        // changed since the last backup copy; the previous one goes.
        const DWORD wanted = (loaded.attributes & kSettable) | FILE_ATTRIBUTE_ARCHIVE;
        if ((::GetFileAttributesW(WideFileName(file).c_str()) & kSettable) != wanted)
            SetAttributes(file, wanted);
        DeleteIfSame(backup, loaded);
        return true;
    }
    if (exchanged == ExchangeResult::NothingMoved) {
        ::DeleteFileW(WideFileName(temp).c_str());
        dropPlaceholder();
        log(oleError);
        return false;
    }
    // The previous file went to the backup name, the new one did not
    // follow: the previous one goes back, if it is the one that was loaded.
    FileIdentity atBackup;
    const bool restored = IdentityOfName(backup, atBackup) && atBackup.SameFile(loaded) && MoveFileChecked(backup, file);
    log(oleError);
    if (restored) {
        ::DeleteFileW(WideFileName(temp).c_str());
        return false;
    }
    log("***** Update stored as " + temp);
    log("***** Previous file stored as " + backup);
    return false;
}

// One shortcut of the replacement: every line it logs after its heading.
void ReplaceOne(const TReplaceGroup& group,
                const std::string& oldAddr,
                const std::string& newAddr,
                std::wstring& buffer,
                const TLogLine& log) {
    const std::string& file = group.Key;
    const std::string oleError = "***** OLE error updating " + file;
    // The system refuses to write a read-only file, but a process with the
    // right to ignore the attribute (an administrator's, or root's under
    // Wine) would overwrite it: it is left alone here.
    const std::wstring wideFile = WideFileName(file);
    const DWORD attributes = ::GetFileAttributesW(wideFile.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        log("***** " + file + " is read-only: not updated");
        return;
    }
    ShellLink shortcut;
    if (FAILED(shortcut.Create())) {
        log(oleError);
        return;
    }
    // Held open while it is loaded: nobody may write it, rename it or put
    // another file under its name meanwhile, so the file loaded is the one
    // identified here. A link at the name is not followed.
    FileHandle held = OpenNameItself(wideFile, GENERIC_READ, FILE_SHARE_READ);
    FileIdentity loaded;
    if (!held || !IdentityOfHandle(held.get(), loaded)) {
        log(oleError);
        return;
    }
    if (IsLinkOrFolder(file, held.get(), loaded)) {
        log("***** " + file + " is a link, not a shortcut file: not updated");
        return;
    }
    // The name is passed whole: a cut name would load another file.
    if (FAILED(shortcut.File->Load(wideFile.c_str(), STGM_READ))) {
        log(oleError);
        return;
    }
    bool written = false;
    int leftAlone = 0;
    for (const TReplaceHit& hit : group.Hits) {
        const ShortcutField* field = FindShortcutField(hit.SubType);
        if (field == nullptr)
            continue;
        std::string value;
        int iconIndex = 0;
        if (FAILED(ReadField(shortcut.Link.get(), field->SubType, buffer, value, iconIndex))) {
            log(oleError);
            return;
        }
        log(field->LogLabel + value);
        const FieldRewrite rewrite = RewriteShortcutField(value, oldAddr, newAddr);
        if (!rewrite.Fits) {
            log(TooLongLine(*field, file, rewrite.Value));
            ++leftAlone;
            continue;
        }
        if (FAILED(WriteField(shortcut.Link.get(), field->SubType, Utf8ToWide(rewrite.Value), iconIndex))) {
            log(oleError);
            return;
        }
        // A value the shell declines without an error (it may refuse a path
        // with quotes in it) must not be saved and reported as changed.
        std::string stored;
        int storedIndex = 0;
        if (FAILED(ReadField(shortcut.Link.get(), field->SubType, buffer, stored, storedIndex))) {
            log(oleError);
            return;
        }
        if (!SameTextIgnoringCase(stored, rewrite.Value) || storedIndex != iconIndex) {
            log("***** The shell did not take the new " + std::string(field->Name) + " of " + file + " (it reads " +
                stored + "): shortcut left unchanged");
            return;
        }
        written = true;
        log("       changed to: " + rewrite.Value);
    }
    if (!written)
        return;
    std::string bytes;
    if (FAILED(SavedBytes(shortcut.Link.get(), bytes))) {
        log(oleError);
        return;
    }
    held.reset();
    if (!SaveInPlace(file, bytes, loaded, log))
        return;
    // A field left as it was is no success: the summary says so.
    if (leftAlone > 0)
        log(PartlyUpdatedLine(file, leftAlone));
    else
        log("Successfully updated " + file);
}

}  // namespace

TSearchLNKThread::TSearchLNKThread(int kind,
                                   const std::string& search,
                                   HWND progressLabel,
                                   TFoundEvent onFound,
                                   int mode)
    : TMovixFileThread(kind, search, progressLabel, std::move(onFound), mode) {}

struct TSearchLNKThread::Reader {
    ShellLink Shortcut;
    std::wstring Buffer;
};

void TSearchLNKThread::Execute() {
    // Undone when the walk ends, also by an error; the reader goes first.
    OleInit ole;
    Reader reader;
    const HRESULT created = reader.Shortcut.Create();
    if (FAILED(created))
        throw std::runtime_error("OLE error " + HresultText(created) + " creating a shell link");
    reader_ = &reader;
    ScopeExit forget([this] { reader_ = nullptr; });
    TMovixFileThread::Execute();
    // The Desktop and the Start Menu may lie outside the folders walked, or
    // be reached through a link the walk does not follow (a Desktop moved
    // elsewhere or kept in a synchronised folder): the wider walks take
    // them in as well, wherever they are.
    if ((Mode == 2 || Mode == 3) && !Terminated)
        SearchSpecialFolders(true);
}

void TSearchLNKThread::ProcessFile(const std::string& name) {
    Item = name;
    if (reader_ == nullptr)
        return;
    ShellLink& shortcut = reader_->Shortcut;
    // Loading replaces all the object held. Not a shortcut, or not
    // readable: passed over in silence.
    if (FAILED(shortcut.File->Load(WideFileName(Path + "\\" + name).c_str(), STGM_READ)))
        return;
    std::wstring& buffer = reader_->Buffer;
    struct Hit {
        int SubType;
        std::string Context;
    } hits[4];
    int count = 0;
    for (const ShortcutField& field : kShortcutFields) {
        std::string value;
        int iconIndex = 0;
        if (FAILED(ReadField(shortcut.Link.get(), field.SubType, buffer, value, iconIndex)))
            continue;
        if (Matches(value))
            hits[count++] = {field.SubType, std::move(value)};
    }
    if (count == 0)
        return;
    // The hits of one shortcut go over in one synchronised call, in the
    // fields' order: a round trip to the UI thread costs more than reading
    // the file.
    Synchronize([this, &hits, count] {
        for (int i = 0; i < count; ++i) {
            SubType = hits[i].SubType;
            Context = std::move(hits[i].Context);
            ReportHit();
        }
    });
}

bool TSearchLNKThread::SpecialFolder(int csidl, std::string& folder) {
    LPITEMIDLIST list = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &list)) || list == nullptr)
        return false;
    CoTaskMemPtr<ITEMIDLIST> owned(list);
    wchar_t path[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(list, path) || path[0] == L'\0')
        return false;
    folder = WideToUtf8(path);
    // The walk appends "\*": a folder given with its backslash (a drive's
    // root) loses it.
    if (folder.size() > 1 && folder.back() == '\\')
        folder.pop_back();
    return true;
}

void TSearchLNKThread::SearchOwnList() {
    SearchSpecialFolders(false);
}

void TSearchLNKThread::SearchSpecialFolders(bool wholeTrees) {
    struct Place {
        int Csidl;
        bool Tree;
    };
    // A program installed "for all users" puts its shortcuts in the common
    // folders; on systems without them they are not located, or are the
    // user's own and are not searched twice.
    static const Place kPlaces[] = {
        {CSIDL_DESKTOPDIRECTORY, false},
        {CSIDL_STARTMENU, true},
        {CSIDL_COMMON_DESKTOPDIRECTORY, false},
        {CSIDL_COMMON_STARTMENU, true},
    };
    std::vector<std::string> searched;
    for (const Place& place : kPlaces) {
        if (Terminated)
            return;
        std::string folder;
        if (!SpecialFolder(place.Csidl, folder))
            continue;
        bool seen = false;
        for (const std::string& done : searched)
            seen = seen || SameTextIgnoringCase(done, folder);
        if (seen)
            continue;
        searched.push_back(folder);
        // A folder the walk has been through already (by this name or
        // another) is not walked again.
        if (place.Tree || wholeTrees)
            SearchTree(folder);
        else
            SearchFolder(folder);
    }
}

void ReplaceShortcuts(std::vector<TReplaceGroup>& groups,
                      const std::string& oldAddr,
                      const std::string& newAddr,
                      HWND itemLabel,
                      const TLogLine& log) {
    if (groups.empty())
        return;
    // Normally in place already on the UI thread; then this only counts.
    OleInit ole;
    std::wstring buffer;
    for (const TReplaceGroup& group : groups) {
        if (itemLabel != nullptr)
            SetWindowTextUtf8(itemLabel, group.Key);
        ProcessPendingWindowMessages();
        log("");
        log("Processing shortcut " + group.Key);
        ReplaceOne(group, oldAddr, newAddr, buffer, log);
    }
}

}  // namespace movix
