#include "targets/shortcuts_win.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <stdexcept>
#include <utility>

#include "core/strings.h"
#include "platform/com_ptr_win.h"
#include "platform/handles.h"
#include "platform/message_pump_win.h"
#include "platform/wide_text_win.h"
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
    // The name is passed whole: a cut name would load, and then save into,
    // another file.
    if (FAILED(shortcut.File->Load(wideFile.c_str(), STGM_READ))) {
        log(oleError);
        return;
    }
    bool written = false;
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
    // Into the file it was loaded from. A read-only shortcut, or one another
    // program holds open, refuses the save and stays as it was.
    if (FAILED(shortcut.File->Save(wideFile.c_str(), FALSE))) {
        log(oleError);
        return;
    }
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
        if (place.Tree)
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
