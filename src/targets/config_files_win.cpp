#include "targets/config_files_win.h"

#include <shlobj.h>

#include <memory>
#include <utility>

#include "core/kinds.h"
#include "core/strings.h"
#include "platform/file_io_win.h"
#include "platform/handles.h"
#include "platform/wide_text_win.h"
#include "targets/config_files.h"
#include "targets/config_syntax.h"
#include "targets/ini_encoding_win.h"
#include "targets/ini_files_win.h"
#include "targets/ini_lines.h"

namespace movix {

namespace {

// Whether `path` is `folder`, or with `below` lies below it, letters compared as the file
// system compares them.
bool AtOrBelow(const std::string& path, const std::string& folder, bool below) {
    const std::string p = UpperText(path), f = UpperText(folder);
    if (p == f)
        return true;
    return below && p.size() > f.size() && p.compare(0, f.size(), f) == 0 && p[f.size()] == '\\';
}

std::string ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::string();
    return WideToUtf8(path);
}

// The profile folder of every user the system lists.
std::vector<std::string> ProfileFolders() {
    std::vector<std::string> folders;
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                        KEY_READ, &raw) != ERROR_SUCCESS)
        return folders;
    const RegKey owner(raw);
    HKEY list = owner.get();
    for (DWORD index = 0;; ++index) {
        wchar_t sid[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(list, index, sid, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        wchar_t path[MAX_PATH * 2] = {};
        DWORD size = sizeof path;
        // Expanded by the call: profiles are kept as %SystemDrive%\Users\...
        if (::RegGetValueW(list, sid, L"ProfileImagePath", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, nullptr, path,
                           &size) == ERROR_SUCCESS &&
            path[0] != L'\0')
            folders.push_back(WideToUtf8(path));
    }
    return folders;
}

}  // namespace

IniCodePage ConfigCodePage(const std::string& name, std::string_view bytes) {
    const TConfigFormat format = ConfigFormatOf(name);
    const TCharsetChoice choice = ConfigCharsetOf(format, bytes);
    IniCodePage page;
    switch (choice.charset) {
        case TConfigCharset::Ansi:
            return AnsiIniCodePage();
        case TConfigCharset::Oem:
            page = WindowsIniCodePage(LegacyOemCodePage());
            page.lacks = "A batch file is read in the console's code page (" + std::to_string(LegacyOemCodePage()) +
                         "), which cannot hold the new text";
            return page;
        case TConfigCharset::Utf8:
            return Utf8IniCodePage();
        case TConfigCharset::Latin1:
            page = Latin1IniCodePage();
            page.escapes = true;  // \uXXXX for the rest
            return page;
        case TConfigCharset::AsciiOnly:
            page = AsciiIniCodePage();
            page.lacks =
                "A PowerShell script without a byte-order mark is read as ANSI by one PowerShell and as UTF-8 by "
                "the other, so only ASCII is written into it, and the new text is not ASCII";
            return page;
        case TConfigCharset::Declared: {
            const unsigned codePage = CodePageOfEncodingName(choice.declared);
            if (codePage == 28591) {
                page = Latin1IniCodePage();
            } else if (codePage != 0) {
                page = WindowsIniCodePage(codePage);
                page.definite = true;
            } else {
                // Known to no one here: its bytes are kept, and nothing is
                // written into it.
                page.decode = [](std::string_view, std::string&) { return false; };
                page.encode = [](std::string_view, std::string&) { return false; };
                page.definite = true;
                page.lacks = "The file declares the encoding \"" + choice.declared + "\", which cannot be written here";
                return page;
            }
            page.escapes = true;  // character references for the rest
            return page;
        }
    }
    return AnsiIniCodePage();
}

TSearchConfigThread::TSearchConfigThread(int kind,
                                         const std::string& search,
                                         const std::string& newFolder,
                                         HWND progressLabel,
                                         TFoundEvent onFound,
                                         int mode,
                                         int iniMode,
                                         std::vector<std::string> types)
    : TMovixFileThread(kind, search, progressLabel, std::move(onFound), mode),
      search_(search),
      newFolder_(newFolder),
      iniMode_(iniMode),
      types_(std::move(types)),
      prefilter_(search) {}

bool TSearchConfigThread::WantsFile(const std::string& name) const {
    return HasConfigType(name, types_);
}

void TSearchConfigThread::Execute() {
    switch (Mode) {
        case kConfigNewFolder:
        case kConfigDataFolders:
        case kConfigEveryProfile:
            // Each folder is walked once, however many of these lead to it.
            if (!newFolder_.empty())
                SearchTree(newFolder_);
            if (Mode != kConfigNewFolder)
                WalkDataFolders(Mode == kConfigEveryProfile);
            break;
        default:
            TMovixFileThread::Execute();
            break;
    }
    if (tooLarge_ > 0)
        PassedOver.push_back(std::to_string(tooLarge_) + (tooLarge_ == 1 ? " file" : " files") + " over " +
                             std::to_string(kConfigFileLimit / (1024 * 1024)) + " MB passed over");
    if (binary_ > 0)
        PassedOver.push_back(std::to_string(binary_) + (binary_ == 1 ? " file that is" : " files that are") +
                             " not text passed over");
}

void TSearchConfigThread::WalkDataFolders(bool everyProfile) {
    std::vector<std::string> folders = {ShellFolder(CSIDL_APPDATA), ShellFolder(CSIDL_LOCAL_APPDATA),
                                        ShellFolder(CSIDL_COMMON_APPDATA)};
    if (everyProfile)
        for (const std::string& profile : ProfileFolders()) {
            folders.push_back(profile + "\\AppData\\Roaming");
            folders.push_back(profile + "\\AppData\\Local");
        }
    for (const std::string& folder : folders) {
        if (Terminated)
            return;
        // A profile without such a folder is not an unreadable one.
        const DWORD attributes = ::GetFileAttributesW(WideFileName(folder).c_str());
        if (!folder.empty() && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            SearchTree(folder);
    }
}

bool TSearchConfigThread::IniSearchTakes(const std::string& name) const {
    if (!HasConfigType(name, {"INI"}))
        return false;
    switch (iniMode_) {
        case 1:
            return AtOrBelow(Path, WindowsDir, false);
        case 2:
            return AtOrBelow(Path, WindowsDir, true);
        case 3:
            return true;
        case 4:
            return AtOrBelow(Path, WindowsDir, false) &&
                   (UpperText(name) == "WIN.INI" || UpperText(name) == "SYSTEM.INI");
        default:
            return false;
    }
}

void TSearchConfigThread::ProcessFile(const std::string& name) {
    if (IniSearchTakes(name))
        return;
    Item = name;
    const std::string full = Path + "\\" + name;
    InputFile file;
    // Files that other programs hold open for writing are still read.
    if (!file.Open(full, true)) {
        NoteUnreadable(Unreadable::File, full, file.Error());
        return;
    }
    unsigned long long size = 0;
    if (file.Size(size) && size > kConfigFileLimit) {
        ++tooLarge_;
        return;
    }
    bytes_.clear();
    char buffer[64 * 1024];
    for (;;) {
        const long long got = file.Read(buffer, sizeof buffer);
        if (got < 0) {
            NoteUnreadable(Unreadable::File, full, file.Error());
            return;
        }
        if (got == 0)
            break;
        bytes_.append(buffer, static_cast<std::size_t>(got));
        if (bytes_.size() > kConfigFileLimit) {
            ++tooLarge_;
            return;
        }
    }
    if (LooksBinary(bytes_)) {
        ++binary_;
        return;
    }
    // Most files cannot hold Old in any spelling, and a quick look at their
    // bytes tells (ASCII stands as itself in UTF-8 and the ANSI code pages;
    // UTF-16 is read first).
    const bool utf16 = bytes_.size() >= 2 && static_cast<unsigned char>(bytes_[0]) == 0xFF &&
                       static_cast<unsigned char>(bytes_[1]) == 0xFE;
    if (!utf16 && !prefilter_.MayHold(bytes_))
        return;
    std::size_t at = 0;
    IniTextSource source(
        [this, &at](char* out, std::size_t capacity) {
            const std::size_t n = std::min(capacity, bytes_.size() - at);
            std::copy(bytes_.data() + at, bytes_.data() + at + n, out);
            at += n;
            return static_cast<long long>(n);
        },
        AnsiIniCodePage());
    // Read as the replacement will read it, so that its lines are found again.
    source.ChooseCodePage([&name](std::string_view whole) { return ConfigCodePage(name, whole); });
    source.Start();
    IniLineReader reader(source.Reader());
    const TTextSyntax syntax = ConfigSyntaxOf(name);
    std::string line;
    while (!Terminated && reader.Next(line) == IniLineReader::Result::Line) {
        const int subType = ConfigLineSubType(line, search_, syntax);
        if (subType == 0)
            continue;
        SubType = subType;
        Context = ConfigHitText(line);
        Synchronize([this] { ReportHit(); });
    }
}

std::string ReplaceConfigFile(TReplaceGroup& group,
                              const std::string& oldAddr,
                              const std::string& newAddr,
                              HWND itemLabel,
                              const TLogLine& log) {
    const TConfigFormat format = ConfigFormatOf(group.Key);
    // The rewriter lives as long as the copy: the line function refers to it.
    std::unique_ptr<ConfigRewriter> rewriter;
    std::string backup;
    ReplaceTextFile(
        group, oldAddr, newAddr, itemLabel, log, "configuration file",
        [&](const std::string& oldText, const std::string& newText, const TLogLine& lineLog,
            const TCharacterTest& encodable) {
            rewriter = std::make_unique<ConfigRewriter>(group.Hits, oldText, newText, format, lineLog, encodable);
            ConfigRewriter* r = rewriter.get();
            return TLineRewrite([r](std::string& text) { r->Rewrite(text); });
        },
        [&group](std::string_view whole) { return ConfigCodePage(group.Key, whole); }, &backup);
    return backup;
}

}  // namespace movix
