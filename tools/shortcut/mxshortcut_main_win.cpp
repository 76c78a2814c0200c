// Writes one shortcut through the shell's link object:
//   mxshortcut FOLDER NAME TARGET [ARGUMENTS [WORKING-DIR [ICON-FILE [ICON-INDEX]]]]
// FOLDER is "desktop", "programs" (the user's Start Menu programs),
// "common-desktop", "common-programs", or a folder path; NAME may hold
// subfolders, which are created. Exit code 0 when the shortcut was saved.
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/com_ptr_win.h"

namespace {

std::wstring FolderOf(const std::wstring& name) {
    const struct {
        const wchar_t* name;
        int csidl;
    } known[] = {{L"desktop", CSIDL_DESKTOPDIRECTORY},
                 {L"programs", CSIDL_PROGRAMS},
                 {L"common-desktop", CSIDL_COMMON_DESKTOPDIRECTORY},
                 {L"common-programs", CSIDL_COMMON_PROGRAMS}};
    for (const auto& k : known) {
        if (name == k.name) {
            wchar_t path[MAX_PATH] = {};
            if (::SHGetFolderPathW(nullptr, k.csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
                return std::wstring();
            return path;
        }
    }
    return name;
}

// Creates the folders of `file` that are missing.
void CreateFoldersOf(const std::wstring& file) {
    for (std::size_t at = file.find(L'\\', 3); at != std::wstring::npos; at = file.find(L'\\', at + 1))
        ::CreateDirectoryW(file.substr(0, at).c_str(), nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: mxshortcut FOLDER NAME TARGET [ARGUMENTS [WORKING-DIR [ICON-FILE [ICON-INDEX]]]]\n");
        return 2;
    }
    const std::wstring folder = FolderOf(argv[1]);
    if (folder.empty()) {
        std::fprintf(stderr, "mxshortcut: folder %ls not located\n", argv[1]);
        return 1;
    }
    const std::wstring file = folder + L"\\" + argv[2];
    CreateFoldersOf(file);
    movix::OleInit ole;
    movix::ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(link.put())))) {
        std::fprintf(stderr, "mxshortcut: no shell link object\n");
        return 1;
    }
    link->SetPath(argv[3]);
    if (argc > 4)
        link->SetArguments(argv[4]);
    if (argc > 5)
        link->SetWorkingDirectory(argv[5]);
    if (argc > 6)
        link->SetIconLocation(argv[6], argc > 7 ? _wtoi(argv[7]) : 0);
    movix::ComPtr<IPersistFile> persist = link.As<IPersistFile>(IID_IPersistFile);
    if (!persist || FAILED(persist->Save(file.c_str(), TRUE))) {
        std::fprintf(stderr, "mxshortcut: cannot save %ls\n", file.c_str());
        return 1;
    }
    return 0;
}
