#include "platform/path_kind.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/address_check.h"
#include "platform/platform_code.h"

using movix::PathKind;
using movix::ProbePathKind;

namespace {

std::string TempFolder() {
    char buffer[MAX_PATH];
    GetTempPathA(MAX_PATH, buffer);
    std::string path = buffer;
    path += "movix_pathkind_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

}  // namespace

TEST(ProbePathKind, TellsFilesFoldersAndNothingOnRealDisk) {
    const std::string dir = TempFolder();
    const std::string file = dir + "\\APP.EXE";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);

    EXPECT_EQ(ProbePathKind(dir), PathKind::Folder);
    EXPECT_EQ(ProbePathKind(dir + "\\"), PathKind::Folder);
    EXPECT_EQ(ProbePathKind(file), PathKind::File);
    EXPECT_EQ(ProbePathKind(dir + "\\MISSING.EXE"), PathKind::Nothing);
    EXPECT_EQ(ProbePathKind(dir + "\\*.EXE"), PathKind::Nothing);  // no wildcard matches
    EXPECT_EQ(ProbePathKind(""), PathKind::Nothing);
    EXPECT_EQ(ProbePathKind("C:\\"), PathKind::Folder);
    EXPECT_EQ(ProbePathKind("Z:\\NO\\SUCH\\DRIVE\\OR\\FOLDER"), PathKind::Nothing);

    // The check on the real disk: a file moved to a folder that exists.
    EXPECT_EQ(movix::CheckAddresses(file, dir, ProbePathKind), 8);
    EXPECT_EQ(movix::CheckAddresses(dir, file, ProbePathKind), 9);
    EXPECT_EQ(movix::CheckAddresses(dir + "\\GONE", dir, ProbePathKind), 0);

    DeleteFileA(file.c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST(DetectPlatform, ReadsTheRunningSystem) {
    movix::DetectPlatform();
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    EXPECT_EQ(movix::PlatformCode, movix::PlatformCodeFor(info.dwPlatformId, info.dwMajorVersion));
}
