// Saving reports: a failed save leaves the user's existing file as it was
// and no temporary file behind.
#include "platform/save_file_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using movix::SaveErrorMessage;
using movix::SaveFileReplacing;
using movix::SaveStage;

namespace {

std::string Folder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "movix_save_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int FilesIn(const std::string& dir) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
    int n = 0;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                ++n;
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    return n;
}

}  // namespace

TEST(SaveFile, CreatesAndReplacesWholeFiles) {
    const std::string dir = Folder();
    const std::string path = dir + "\\REPORT.TXT";
    ASSERT_EQ(SaveFileReplacing(path, "first\r\n"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ReadAll(path), "first\r\n");
    ASSERT_EQ(SaveFileReplacing(path, "second"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ReadAll(path), "second");
    ASSERT_EQ(SaveFileReplacing(path, ""), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ReadAll(path), "");
    EXPECT_EQ(FilesIn(dir), 1);
    DeleteFileA(path.c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST(SaveFile, MissingFolderFailsAtCreationAndWritesNothing) {
    const std::string path = Folder() + "\\NO_SUCH_FOLDER\\LOG.TXT";
    SaveStage stage = SaveStage::Write;
    EXPECT_NE(SaveFileReplacing(path, "text", &stage), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(stage, SaveStage::Create);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(SaveFile, TargetHeldOpenWithoutSharingKeepsItsContent) {
    const std::string dir = Folder();
    const std::string path = dir + "\\HELD.RTF";
    ASSERT_EQ(SaveFileReplacing(path, "the user's old report"), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SaveStage stage = SaveStage::Write;
    const DWORD error = SaveFileReplacing(path, "new report", &stage);
    CloseHandle(held);
    EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(stage, SaveStage::Create);
    EXPECT_EQ(SaveErrorMessage(error), "File access denied");
    EXPECT_EQ(ReadAll(path), "the user's old report");
    EXPECT_EQ(FilesIn(dir), 1) << "no temporary file is left behind";
    DeleteFileA(path.c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST(SaveFile, ReadOnlyTargetIsNotOverwritten) {
    const std::string dir = Folder();
    const std::string path = dir + "\\READONLY.TXT";
    ASSERT_EQ(SaveFileReplacing(path, "keep me"), static_cast<DWORD>(ERROR_SUCCESS));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_NE(SaveFileReplacing(path, "replaced"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ReadAll(path), "keep me");
    EXPECT_EQ(FilesIn(dir), 1);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST(SaveFile, ErrorMessages) {
    EXPECT_EQ(SaveErrorMessage(ERROR_ACCESS_DENIED), "File access denied");
    EXPECT_EQ(SaveErrorMessage(ERROR_DISK_FULL), "Disk full");
    EXPECT_EQ(SaveErrorMessage(ERROR_HANDLE_DISK_FULL), "Disk full");
    EXPECT_EQ(SaveErrorMessage(1117), "I/O error 1117");
}
