// Shared by the search thread and INI tests: planted folder trees on the real
// file system, a UI thread that pumps messages, and a way to run one search
// thread to its end while collecting what it reports.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/search_thread_win.h"
#include "platform/ui_dispatch_win.h"
#include "platform/wide_text_win.h"
#include "quiet_process_win.h"
#include "unix_path_win.h"

namespace movix_test {

// Runs the message loop until `done` holds or the time runs out.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 60000) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (done())
            return true;
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

inline void WriteFileBytes(const std::string& name, const std::string& bytes) {
    HANDLE h = ::CreateFileW(movix::WideFileName(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
    DWORD written = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    ASSERT_EQ(written, bytes.size());
}

// The whole file, or "<missing>" when it cannot be read.
inline std::string ReadFileBytes(const std::string& name) {
    HANDLE h = ::CreateFileW(movix::WideFileName(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    ::CloseHandle(h);
    return bytes;
}

// Runs a Unix program (Wine starts those too). Its process cannot be waited
// for: the caller waits for what it does. The program gets the null device
// as its standard handles, not this test's output: a Unix program started
// under Wine that kept CTest's pipe open would keep CTest waiting.
inline bool RunUnix(const char* program, std::string cmd) {
    PROCESS_INFORMATION pi;
    if (!StartQuietly(program, std::move(cmd), pi))
        return false;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

// Gives a file access rules of its own: everyone may do `rights`, nothing
// else. False when the system refuses.
inline bool SetEveryoneRules(const std::string& file, DWORD rights) {
    SECURITY_DESCRIPTOR sd;
    BYTE aclBuffer[256];
    auto* acl = reinterpret_cast<PACL>(aclBuffer);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
        !::InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) ||
        !::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
        return false;
    const bool added = ::AddAccessAllowedAce(acl, ACL_REVISION, rights, everyone) != FALSE;
    ::FreeSid(everyone);
    return added && ::SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) &&
           ::SetFileSecurityA(file.c_str(), DACL_SECURITY_INFORMATION, &sd);
}

// A file's access rules as bytes, to compare: "<none>" when they cannot be
// read, "<null>" when the file has none.
inline std::string RulesOf(const std::string& name) {
    DWORD needed = 0;
    ::GetFileSecurityA(name.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<BYTE> bytes(needed);
    if (needed == 0 || !::GetFileSecurityA(name.c_str(), DACL_SECURITY_INFORMATION, bytes.data(), needed, &needed))
        return "<none>";
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ::GetSecurityDescriptorDacl(bytes.data(), &present, &dacl, &defaulted);
    return present && dacl ? std::string(reinterpret_cast<const char*>(dacl), dacl->AclSize) : "<null>";
}

inline bool Exists(const std::string& name) {
    return ::GetFileAttributesW(movix::WideFileName(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(movix::WideFileName(folder + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = movix::WideToUtf8(data.cFileName);
            if (name == "." || name == "..")
                continue;
            const std::wstring full = movix::WideFileName(folder + "\\" + name);
            ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + "\\" + name);
            else
                ::DeleteFileW(full.c_str());
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::SetFileAttributesW(movix::WideFileName(folder).c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(movix::WideFileName(folder).c_str());
}

// A uniquely named folder under the temporary folder, removed with all it
// holds at the end of the test.
class TempTree {
public:
    explicit TempTree(const std::string& tag = "t") {
        static int counter = 0;
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "movix_" + tag + "_" + std::to_string(::GetCurrentProcessId()) + "_" +
                std::to_string(++counter);
        RemoveTree(root_);
        ::CreateDirectoryW(movix::WideFileName(root_).c_str(), nullptr);
    }
    ~TempTree() { RemoveTree(root_); }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& Root() const { return root_; }
    std::string operator/(const std::string& rel) const { return root_ + "\\" + rel; }

    // Creates the folder `rel` (and its parents) below the root.
    std::string Dir(const std::string& rel) const {
        std::string path = root_;
        std::size_t from = 0;
        while (from <= rel.size()) {
            std::size_t to = rel.find('\\', from);
            if (to == std::string::npos)
                to = rel.size();
            path += "\\" + rel.substr(from, to - from);
            ::CreateDirectoryW(movix::WideFileName(path).c_str(), nullptr);
            from = to + 1;
        }
        return path;
    }
    std::string File(const std::string& rel, const std::string& bytes) const {
        const std::string full = root_ + "\\" + rel;
        WriteFileBytes(full, bytes);
        return full;
    }

private:
    std::string root_;
};

// Whether the file system keeps the hidden and system attributes (Wine keeps
// them in extended attributes, which not every file system offers).
inline bool AttributesStick(const std::string& folder) {
    const std::string probe = folder + "\\attr.probe";
    WriteFileBytes(probe, "x");
    ::SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const DWORD attrs = ::GetFileAttributesA(probe.c_str());
    ::SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(probe.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_HIDDEN) && (attrs & FILE_ATTRIBUTE_SYSTEM);
}

struct FoundHit {
    std::string item, path, context;
    int kind, subType;
    bool operator==(const FoundHit& o) const {
        return item == o.item && path == o.path && context == o.context && kind == o.kind && subType == o.subType;
    }
};

inline std::ostream& operator<<(std::ostream& os, const FoundHit& h) {
    return os << "{" << h.item << " | " << h.path << " | " << h.context << " | " << h.kind << "/" << h.subType << "}";
}

// This test's thread is the UI thread: a dispatcher, a progress label and
// the hits that reach the "form".
class UiFixture : public ::testing::Test {
protected:
    void SetUp() override {
        movix::UiDispatcher::Init();
        uiThread_ = ::GetCurrentThreadId();
        // A message-only static control: a real label that needs no display.
        label_ = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 400, 20, HWND_MESSAGE, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(label_, nullptr);
    }
    void TearDown() override {
        // No thread of this test may outlive it.
        EXPECT_TRUE(PumpUntil([] { return movix::TMovixThread::RunningCount() == 0; }, 30000));
        ::DestroyWindow(label_);
        movix::UiDispatcher::Shutdown();
    }

    movix::TFoundEvent Collector() {
        return [this](const std::string& item, const std::string& path, const std::string& context, int kind,
                      int subType) {
            EXPECT_EQ(::GetCurrentThreadId(), uiThread_);
            hits_.push_back({item, path, context, kind, subType});
            if (onHit_)
                onHit_();
        };
    }

    // Resumes `thread` and runs the message loop until its OnTerminate has
    // run and its operating-system thread has ended.
    void RunToEnd(movix::TMovixThread* thread, DWORD timeoutMs = 120000) {
        terminated_ = false;
        thread->OnTerminate = [this](movix::TMovixThread* sender) {
            EXPECT_EQ(::GetCurrentThreadId(), uiThread_);
            terminated_ = true;
            fatal_ = sender->FatalError();
        };
        thread->Resume();
        ASSERT_TRUE(PumpUntil([this] { return terminated_; }, timeoutMs));
        ASSERT_TRUE(PumpUntil([] { return movix::TMovixThread::RunningCount() == 0; }, 10000));
    }

    std::string LabelText() const {
        char text[1024] = {};
        ::GetWindowTextA(label_, text, sizeof text);
        return text;
    }

    DWORD uiThread_ = 0;
    HWND label_ = nullptr;
    std::vector<FoundHit> hits_;
    std::function<void()> onHit_;
    bool terminated_ = false;
    std::string fatal_;
};

}  // namespace movix_test
