// Shortcut files for the tests: written through the shell's link object, as
// an installer writes them, and read back through it. Shared by the Wine
// tests and the GUI tests.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/com_ptr_win.h"
#include "platform/wide_text_win.h"

namespace movix_test {

struct Fields {
    std::string target, args, dir, icon;
    int iconIndex = 0;
    bool operator==(const Fields& o) const {
        return target == o.target && args == o.args && dir == o.dir && icon == o.icon && iconIndex == o.iconIndex;
    }
};

inline std::ostream& operator<<(std::ostream& os, const Fields& f) {
    return os << "{cmd " << f.target << " | arg " << f.args << " | dir " << f.dir << " | ico " << f.icon << ","
              << f.iconIndex << "}";
}

// Writes a shortcut through the shell's link object, as an installer does.
inline void MakeShortcut(const std::string& file, const Fields& f) {
    movix::ComPtr<IShellLinkW> link;
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                             reinterpret_cast<void**>(link.put()))));
    ASSERT_TRUE(SUCCEEDED(link->SetPath(movix::Utf8ToWide(f.target).c_str())));
    if (!f.args.empty())
        ASSERT_TRUE(SUCCEEDED(link->SetArguments(movix::Utf8ToWide(f.args).c_str())));
    if (!f.dir.empty())
        ASSERT_TRUE(SUCCEEDED(link->SetWorkingDirectory(movix::Utf8ToWide(f.dir).c_str())));
    if (!f.icon.empty())
        ASSERT_TRUE(SUCCEEDED(link->SetIconLocation(movix::Utf8ToWide(f.icon).c_str(), f.iconIndex)));
    ASSERT_TRUE(SUCCEEDED(link->SetDescription(L"made by the shortcut tests")));
    movix::ComPtr<IPersistFile> persist = link.As<IPersistFile>(IID_IPersistFile);
    ASSERT_TRUE(persist);
    ASSERT_TRUE(SUCCEEDED(persist->Save(movix::Utf8ToWide(file).c_str(), TRUE))) << file;
}

// The four fields as the shell's link object reads them back.
inline Fields ShellFields(const std::string& file) {
    Fields f;
    movix::ComPtr<IShellLinkW> link;
    EXPECT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                             reinterpret_cast<void**>(link.put()))));
    movix::ComPtr<IPersistFile> persist = link.As<IPersistFile>(IID_IPersistFile);
    if (!persist || FAILED(persist->Load(movix::Utf8ToWide(file).c_str(), STGM_READ))) {
        ADD_FAILURE() << "cannot load " << file;
        return f;
    }
    wchar_t buffer[2048];
    buffer[0] = 0;
    link->GetPath(buffer, 2048, nullptr, SLGP_UNCPRIORITY);
    f.target = movix::WideToUtf8(buffer);
    buffer[0] = 0;
    link->GetArguments(buffer, 2048);
    f.args = movix::WideToUtf8(buffer);
    buffer[0] = 0;
    link->GetWorkingDirectory(buffer, 2048);
    f.dir = movix::WideToUtf8(buffer);
    buffer[0] = 0;
    link->GetIconLocation(buffer, 2048, &f.iconIndex);
    f.icon = movix::WideToUtf8(buffer);
    return f;
}

// A special folder of the prefix, made when missing; empty when the shell
// cannot locate it.
inline std::string SpecialFolderPath(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (::SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return std::string();
    return movix::WideToUtf8(path);
}

}  // namespace movix_test
