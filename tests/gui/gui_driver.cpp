#include "gui_driver.h"

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "resource.h"

namespace guitest {

std::string ExeDir() {
    return MOVIX_EXE_DIR;
}

std::string ArtifactDir() {
    std::string dir = MOVIX_ARTIFACT_DIR;
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = dir + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

std::string WindowsDir() {
    char buffer[MAX_PATH];
    GetWindowsDirectoryA(buffer, MAX_PATH);
    return buffer;
}

std::string ReadAll(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, got);
    std::fclose(f);
    return text;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ScratchDir(const std::string& name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "movix_gui_" + name;
    RemoveTree(dir);
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void WriteFile(const std::string& path, const std::string& content) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
}

// Texts travel wide and are handed to the tests in UTF-8, as the program
// keeps them: this test program's own code page would lose letters.
std::string Utf8Of(const wchar_t* wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return std::string();
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], n, nullptr, nullptr);
    text.resize(static_cast<size_t>(n - 1));
    return text;
}

std::wstring WideOf(const std::string& text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], n);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string WindowTextOf(HWND hwnd) {
    wchar_t buffer[4096] = {};
    SendMessageW(hwnd, WM_GETTEXT, sizeof buffer / sizeof buffer[0], reinterpret_cast<LPARAM>(buffer));
    return Utf8Of(buffer);
}

bool HaveDisplay() {
    HWND probe = CreateWindowExA(0, "STATIC", "probe", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    if (!probe)
        return false;
    DestroyWindow(probe);
    return GetSystemMetrics(SM_CXSCREEN) > 0;
}

namespace {

struct FindData {
    DWORD pid;
    const char* cls;
    const char* caption;
    HWND found;
};

BOOL CALLBACK FindTop(HWND hwnd, LPARAM lParam) {
    FindData* data = reinterpret_cast<FindData*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != data->pid || !IsWindowVisible(hwnd))
        return TRUE;
    char cls[128] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpiA(cls, data->cls) != 0)
        return TRUE;
    if (data->caption) {
        char caption[256] = {};
        GetWindowTextA(hwnd, caption, sizeof caption);
        if (lstrcmpA(caption, data->caption) != 0)
            return TRUE;
    }
    data->found = hwnd;
    return FALSE;
}

struct IdSearch {
    int id;
    HWND found;
};

BOOL CALLBACK FindChild(HWND hwnd, LPARAM lParam) {
    IdSearch* search = reinterpret_cast<IdSearch*>(lParam);
    if (GetDlgCtrlID(hwnd) == search->id) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindProcessWindow(DWORD pid, const char* className, const char* caption) {
    FindData data = {pid, className, caption, nullptr};
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&data));
    return data.found;
}

WindowsVersion::WindowsVersion(const char* version) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\movix32.exe", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>(lstrlenA(version) + 1));
    RegCloseKey(key);
}

WindowsVersion::~WindowsVersion() {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\movix32.exe");
}

void ClearSettings() {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Kestrelia\\MOVIX32");
}

App::App(const std::string& arguments, Settings settings, bool waitForWindow) {
    if (settings == FreshSettings)
        ClearSettings();
    // MOVIX_EXE_NAME names another build of the program to drive (the one
    // without the UTF-8 code page).
    const char* name = std::getenv("MOVIX_EXE_NAME");
    const std::string exe = ExeDir() + "\\" + (name != nullptr && *name != '\0' ? name : "movix32.exe");
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, ExeDir().c_str(), &si, &pi_))
        return;
    if (!waitForWindow)
        return;
    WaitForInputIdle(pi_.hProcess, 10000);
    WaitFor([&] { return (main_ = FindProcessWindow(pi_.dwProcessId, "TForm1")) != nullptr; }, 15000);
}

App::~App() {
    if (pi_.hProcess) {
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
            if (main_ && IsWindow(main_))
                PostMessageA(main_, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(pi_.hProcess, 10000) == WAIT_TIMEOUT)
                TerminateProcess(pi_.hProcess, 1);
        }
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
}

bool App::WaitExit(int milliseconds) {
    return WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
}

DWORD App::ExitCode() {
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
}

HWND App::Control(int id) const {
    IdSearch search = {id, nullptr};
    EnumChildWindows(main_, FindChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string App::Text(int id) const {
    return WindowTextOf(Control(id));
}

void App::ClickAsync(int id) {
    PostMessageA(Control(id), BM_CLICK, 0, 0);
}

HWND App::WaitWindow(const char* className, const char* caption, int milliseconds) const {
    HWND found = nullptr;
    WaitFor([&] { return (found = FindProcessWindow(pi_.dwProcessId, className, caption)) != nullptr; },
            milliseconds);
    return found;
}

void App::SetText(int id, const std::string& text) {
    SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(WideOf(text).c_str()));
    Sync();
}

void App::Click(int id) {
    SendMessageA(Control(id), BM_CLICK, 0, 0);
    Sync();
}

bool App::Enabled(int id) const {
    return IsWindowEnabled(Control(id)) != FALSE;
}

bool App::Visible(int id) const {
    return IsWindowVisible(Control(id)) != FALSE;
}

bool App::Checked(int id) const {
    return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void App::SetChecked(int id, bool checked) {
    if (Checked(id) != checked)
        Click(id);
}

int App::Page() const {
    for (int p = 0; p < 13; ++p) {
        if (IsWindowVisible(Control(IDC_PageBase + p)))
            return p;
    }
    return -1;
}

int App::SubPage() const {
    for (int p = 0; p < 3; ++p) {
        HWND page = Control(IDC_SubPageBase + p);
        if (page && (GetWindowLongA(page, GWL_STYLE) & WS_VISIBLE))
            return p;
    }
    return -1;
}

RECT App::RectInParent(int id) const {
    HWND c = Control(id);
    RECT r = {};
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, GetParent(c), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

SIZE App::OuterSize() const {
    RECT r;
    GetWindowRect(main_, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

void App::Resize(int width, int height) {
    SetWindowPos(main_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    Sync();
}

void App::Sync() const {
    // A sent message is answered as soon as the program looks at its queue,
    // possibly before messages posted earlier; waiting for the program to
    // fall idle covers those too.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    WaitForInputIdle(pi_.hProcess, 2000);
    SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
}

bool App::PutPointer(int x, int y) const {
    return WaitFor(
        [&] {
            SetCursorPos(x, y);
            Sync();
            POINT now = {};
            return GetCursorPos(&now) && now.x == x && now.y == y;
        },
        3000);
}

void App::PressKey(HWND target, WPARAM key) {
    const UINT scan = MapVirtualKeyA(static_cast<UINT>(key), 0);
    PostMessageA(target, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageA(target, WM_KEYUP, key, 1 | (scan << 16) | (1u << 30) | (1u << 31));
    Sync();
}

bool App::Activate() {
    if (GetForegroundWindow() != main_) {
        SetForegroundWindow(main_);
        Sync();
    }
    return WaitFor([&] { return GetForegroundWindow() == main_; }, 3000);
}

HWND App::Focus() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(main_, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

namespace {

INPUT KeyInput(WORD key, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, 0));
    switch (key) {
    case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: case VK_HOME: case VK_END:
    case VK_PRIOR: case VK_NEXT: case VK_INSERT: case VK_DELETE: case VK_APPS:
        input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
        break;
    default:
        break;
    }
    if (up)
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
    return input;
}

}  // namespace

void App::SendKeys(const std::vector<WORD>& keys, const std::vector<WORD>& modifiers) {
    Activate();
    for (WORD key : keys) {
        std::vector<INPUT> inputs;
        for (WORD m : modifiers)
            inputs.push_back(KeyInput(m, false));
        inputs.push_back(KeyInput(key, false));
        inputs.push_back(KeyInput(key, true));
        for (auto m = modifiers.rbegin(); m != modifiers.rend(); ++m)
            inputs.push_back(KeyInput(*m, true));
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        // Input comes after sent and posted messages in the program's queue:
        // a moment for it to be taken before the program is made to settle.
        Sleep(60);
        Sync();
    }
}

void App::SendKeysTo(HWND window, const std::vector<WORD>& keys) {
    if (GetForegroundWindow() != window) {
        SetForegroundWindow(window);
        WaitFor([&] { return GetForegroundWindow() == window; }, 3000);
    }
    for (WORD key : keys) {
        INPUT inputs[2] = {KeyInput(key, false), KeyInput(key, true)};
        SendInput(2, inputs, sizeof(INPUT));
        Sleep(60);
    }
}

void App::TypeText(const std::string& text) {
    for (char ch : text) {
        const SHORT scan = VkKeyScanA(ch);
        std::vector<WORD> modifiers;
        if (scan & 0x100)
            modifiers.push_back(VK_SHIFT);
        SendKeys({static_cast<WORD>(scan & 0xFF)}, modifiers);
    }
}

int App::ListViewFocused(int id) const {
    return static_cast<int>(SendMessageA(Control(id), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

void App::Screenshot(const std::string& name) const {
    Sync();
    RedrawWindow(main_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sync();
    Sleep(150);
    RECT r;
    GetWindowRect(main_, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = h;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    const DWORD stride = ((w * 3 + 3) / 4) * 4;
    const DWORD imageSize = stride * h;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof bmi.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    const std::string path = ArtifactDir() + "\\" + name + ".bmp";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(&file, sizeof file, 1, f);
        std::fwrite(&bmi.bmiHeader, sizeof bmi.bmiHeader, 1, f);
        std::fwrite(bits, 1, imageSize, f);
        std::fclose(f);
    }
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

namespace {

// A block of memory in the program's process, for list-view messages that
// carry pointers.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, size_t size) : process_(process) {
        p_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBlock() {
        if (p_)
            VirtualFreeEx(process_, p_, 0, MEM_RELEASE);
    }
    char* get() const { return static_cast<char*>(p_); }
    void Write(size_t offset, const void* data, size_t size) {
        WriteProcessMemory(process_, get() + offset, data, size, nullptr);
    }
    void Read(size_t offset, void* data, size_t size) const {
        ReadProcessMemory(process_, get() + offset, data, size, nullptr);
    }

private:
    HANDLE process_;
    void* p_;
};

}  // namespace

RECT App::ListViewItemRect(int id, int row, int part) const {
    RemoteBlock block(pi_.hProcess, sizeof(RECT));
    RECT rc = {};
    rc.left = part;
    block.Write(0, &rc, sizeof rc);
    SendMessageA(Control(id), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(block.get()));
    block.Read(0, &rc, sizeof rc);
    return rc;
}

int App::ListViewCount(int id) const {
    return static_cast<int>(SendMessageA(Control(id), LVM_GETITEMCOUNT, 0, 0));
}

std::string App::ListViewText(int id, int row, int column) const {
    RemoteBlock block(pi_.hProcess, sizeof(LVITEMW) + 4096 * sizeof(wchar_t));
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(block.get() + sizeof(LVITEMW));
    item.cchTextMax = 4096;
    block.Write(0, &item, sizeof item);
    SendMessageW(Control(id), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(block.get()));
    wchar_t text[4096] = {};
    block.Read(sizeof(LVITEMW), text, sizeof text - sizeof(wchar_t));
    return Utf8Of(text);
}

int App::ListViewImage(int id, int row) const {
    RemoteBlock block(pi_.hProcess, sizeof(LVITEMA));
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = -99;
    block.Write(0, &item, sizeof item);
    SendMessageA(Control(id), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(block.get()));
    block.Read(0, &item, sizeof item);
    return item.iImage;
}

void App::ListViewSelect(int id, const std::vector<int>& rows) {
    RemoteBlock block(pi_.hProcess, sizeof(LVITEMA));
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = 0;
    block.Write(0, &item, sizeof item);
    SendMessageA(Control(id), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(block.get()));
    item.state = LVIS_SELECTED;
    block.Write(0, &item, sizeof item);
    for (int row : rows)
        SendMessageA(Control(id), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(block.get()));
    Sync();
}

bool App::SearchWith(int iniItem, int registryItem, const std::string& oldAddress, const std::string& newAddress,
                     int timeoutMs, int shortcutItem, int configItem, int serviceItem, int taskItem) {
    for (int id : {IDC_cbSkipIniFiles, IDC_cbSkipGroups, IDC_cbSkipShortcuts, IDC_cbSkipRegistry, IDC_cbSkipConfigs,
                   IDC_cbSkipServicesTasks})
        SetChecked(id, true);
    Click(IDC_rgIniFiles + 1 + iniItem);
    Click(IDC_rgConfigs + 1 + configItem);
    Click(IDC_rgServices + 1 + serviceItem);
    Click(IDC_rgTasks + 1 + taskItem);
    Click(IDC_rgShortcuts + 1 + shortcutItem);
    Click(IDC_rgRegistry + 1 + registryItem);
    SetText(IDC_EditOldAddress, oldAddress);
    SetText(IDC_EditNewAddress, newAddress);
    Click(IDC_BtnNext);  // Confirm
    Click(IDC_BtnNext);  // Search
    return WaitFor([&] { return SubPage() == 1; }, timeoutMs);
}

std::vector<std::string> App::ListBoxItems(int id) const {
    std::vector<std::string> items;
    HWND box = Control(id);
    const LRESULT count = SendMessageA(box, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageA(box, LB_GETTEXTLEN, i, 0);
        if (length < 0) {
            items.emplace_back("<LB_ERR>");
            continue;
        }
        // Asked for in wide characters: between processes Wine hands back
        // the wide text whatever the caller asked for.
        std::vector<wchar_t> wide(static_cast<size_t>(length) * 2 + 16, L'\0');
        SendMessageW(box, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide.data()));
        items.push_back(Utf8Of(wide.data()));
    }
    return items;
}

std::string PressAndAnswer(App& app, int button, WORD key) {
    app.ClickAsync(button);
    HWND box = app.WaitWindow("#32770", "Movix 32", 10000);
    if (!box) {
        ADD_FAILURE() << "no question";
        return std::string();
    }
    const std::string question = WindowTextOf(GetDlgItem(box, 0xFFFF));
    app.SendKeysTo(box, {key});
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }, 10000)) << "the question stayed";
    return question;
}

std::string DocumentsDir() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, path)))
        return std::string();
    return Utf8Of(path);
}

HWND FileNameBox(HWND dialog) {
    HWND edit = nullptr;
    WaitFor([&] {
        struct Search {
            HWND found;
        } search = {nullptr};
        EnumChildWindows(
            dialog,
            [](HWND child, LPARAM out) -> BOOL {
                char cls[16] = {};
                GetClassNameA(child, cls, sizeof cls);
                const int id = GetDlgCtrlID(child);
                if (lstrcmpiA(cls, "Edit") == 0 && (id == 0x47c || id == 0x480)) {
                    reinterpret_cast<Search*>(out)->found = child;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        edit = search.found;
        return edit != nullptr && IsWindowVisible(edit);
    });
    return edit;
}

bool SaveThroughDialog(App& app, int button, const char* title, const std::string& name, std::string* proposed,
                       const std::string& savedAs) {
    app.ClickAsync(button);
    HWND dialog = app.WaitWindow("#32770", title, 10000);
    if (!dialog) {
        ADD_FAILURE() << "no dialog " << title;
        return false;
    }
    HWND edit = FileNameBox(dialog);
    if (!edit) {
        std::string children;
        EnumChildWindows(
            dialog,
            [](HWND child, LPARAM out) -> BOOL {
                char cls[64] = {};
                GetClassNameA(child, cls, sizeof cls);
                *reinterpret_cast<std::string*>(out) += std::string(cls) + ":" +
                                                        std::to_string(GetDlgCtrlID(child)) + " ";
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&children));
        ADD_FAILURE() << "no file name box in the dialog: " << children;
        return false;
    }
    if (proposed)
        *proposed = WindowTextOf(edit);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
    if (WindowTextOf(edit) != name) {
        ADD_FAILURE() << "file name box holds " << WindowTextOf(edit);
        return false;
    }
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    const std::string expected = savedAs.empty() ? name : savedAs;
    if (!WaitFor([&] { return !IsWindow(dialog) && Exists(expected); }, 10000)) {
        ADD_FAILURE() << "not saved as " << expected;
        return false;
    }
    return true;
}

}  // namespace guitest
