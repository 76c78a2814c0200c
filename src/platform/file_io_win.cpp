#include "platform/file_io_win.h"

#include <ntsecapi.h>

#include <algorithm>
#include <utility>

#include "platform/path_names.h"
#include "platform/wide_text_win.h"

namespace movix {

namespace {

// Never destroyed: a search thread may still read files while the program's
// static objects are torn down at exit.
FileFaultHook& FaultHook() {
    static FileFaultHook* hook = new FileFaultHook;
    return *hook;
}

// The error the test seam wants for this operation, or 0.
DWORD InjectedFault(FileOp op, const std::string& name) {
    const FileFaultHook& hook = FaultHook();
    return hook ? hook(op, name) : 0;
}

constexpr std::size_t kOutputBufferSize = 64 * 1024;

// The full name the system gives an open file or folder, links resolved;
// empty when it cannot tell.
std::wstring FinalName(HANDLE h) {
    std::wstring name(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD n = ::GetFinalPathNameByHandleW(h, &name[0], static_cast<DWORD>(name.size()), 0);
        if (n == 0)
            return std::wstring();
        if (n < name.size()) {
            name.resize(n);
            return name;
        }
        name.assign(n + 1, L'\0');
    }
    return std::wstring();
}

}  // namespace

void SetFileFaultHookForTest(FileFaultHook hook) {
    FaultHook() = std::move(hook);
}

std::string SystemErrorText(DWORD error) {
    // Wide, so that a message in the user's language reaches the log in
    // UTF-8 as every other text does.
    wchar_t* text = nullptr;
    const DWORD n =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string result;
    if (n != 0 && text != nullptr)
        result = WideToUtf8(std::wstring_view(text, n));
    if (text != nullptr)
        ::LocalFree(text);
    while (!result.empty() && (static_cast<unsigned char>(result.back()) <= ' ' || result.back() == '.'))
        result.pop_back();
    if (result.empty())
        result = "System error " + std::to_string(error);
    return result;
}

bool NameExists(const std::string& name) {
    return ::GetFileAttributesW(WideFileName(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsNameTaken(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

std::uint32_t RandomTag() {
    std::uint32_t tag = 0;
    if (!::RtlGenRandom(&tag, sizeof tag)) {
        // Without the random source the name is still one no earlier run
        // used; creating it exclusively keeps a planted file out either way.
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        tag = static_cast<std::uint32_t>(now.QuadPart) ^ (::GetCurrentProcessId() << 16);
    }
    return tag;
}

bool IdentityOfHandle(HANDLE h, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info))
        return false;
    identity.volume = info.dwVolumeSerialNumber;
    identity.indexHigh = info.nFileIndexHigh;
    identity.indexLow = info.nFileIndexLow;
    identity.attributes = info.dwFileAttributes;
    identity.size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    identity.lastWrite = info.ftLastWriteTime;
    return true;
}

bool IdentityOfName(const std::string& name, FileIdentity& identity) {
    // Asks for no access to the contents, so that no sharing stands in the way.
    FileHandle h(::CreateFileW(WideFileName(name).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    return h && IdentityOfHandle(h.get(), identity);
}

bool NameLeadsElsewhere(const std::string& file, HANDLE opened) {
    const std::wstring finalFile = FinalName(opened);
    FileHandle folder(::CreateFileW(WideFileName(FolderOf(file)).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::wstring expected = folder ? FinalName(folder.get()) : std::wstring();
    // Without the system's word on either name there is nothing to compare.
    if (finalFile.empty() || expected.empty())
        return false;
    if (expected.back() != L'\\')
        expected += L'\\';
    expected += Utf8ToWide(file.substr(file.find_last_of("\\/") + 1));
    return ::CompareStringOrdinal(finalFile.data(), static_cast<int>(finalFile.size()), expected.data(),
                                  static_cast<int>(expected.size()), TRUE) != CSTR_EQUAL;
}

bool MoveFileChecked(const std::string& from, const std::string& to) {
    if (const DWORD fault = InjectedFault(FileOp::Move, from)) {
        ::SetLastError(fault);
        return false;
    }
    return ::MoveFileExW(WideFileName(from).c_str(), WideFileName(to).c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool CopyFileSecurity(const std::string& from, const std::string& to, DWORD& error) {
    const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    ::GetFileSecurityW(WideFileName(from).c_str(), what, nullptr, 0, &needed);
    if (needed == 0)
        return true;  // nothing to give
    std::vector<unsigned char> descriptor(needed);
    if (!::GetFileSecurityW(WideFileName(from).c_str(), what, descriptor.data(), needed, &needed))
        return true;
    if (!::SetFileSecurityW(WideFileName(to).c_str(), what, descriptor.data())) {
        error = ::GetLastError();
        return false;
    }
    return true;
}

ExchangeResult ReplaceFileChecked(const std::string& file,
                                  const std::string& replacement,
                                  const std::string& backup,
                                  DWORD& error) {
    if (const DWORD fault = InjectedFault(FileOp::Move, file)) {
        error = fault;
        return ExchangeResult::NothingMoved;
    }
    if (const DWORD fault = InjectedFault(FileOp::Move, replacement)) {
        // The half of an exchange that a failing system call leaves behind.
        error = fault;
        return ::MoveFileExW(WideFileName(file).c_str(), WideFileName(backup).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                   ? ExchangeResult::BackupOnly
                   : ExchangeResult::NothingMoved;
    }
    if (::ReplaceFileW(WideFileName(file).c_str(), WideFileName(replacement).c_str(), WideFileName(backup).c_str(),
                       REPLACEFILE_WRITE_THROUGH, nullptr, nullptr))
        return ExchangeResult::Done;
    error = ::GetLastError();
    // The error codes differ between systems for the same half-way state;
    // the names say what happened.
    return NameExists(file) ? ExchangeResult::NothingMoved : ExchangeResult::BackupOnly;
}

bool InputFile::Open(const std::string& name, bool allowWriters, bool allowRename) {
    name_ = name;
    const DWORD share = FILE_SHARE_READ | (allowWriters ? FILE_SHARE_WRITE : 0) | (allowRename ? FILE_SHARE_DELETE : 0);
    file_.reset(::CreateFileW(WideFileName(name).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    error_ = file_ ? 0 : ::GetLastError();
    return static_cast<bool>(file_);
}

bool InputFile::LeadsElsewhere() const {
    return NameLeadsElsewhere(name_, file_.get());
}

long long InputFile::Read(char* buffer, std::size_t capacity) {
    if (const DWORD fault = InjectedFault(FileOp::Read, name_)) {
        error_ = fault;
        return -1;
    }
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(capacity, 1u << 30));
    if (!::ReadFile(file_.get(), buffer, want, &got, nullptr)) {
        error_ = ::GetLastError();
        return -1;
    }
    return got;
}

bool InputFile::Size(unsigned long long& size) const {
    LARGE_INTEGER value;
    if (!::GetFileSizeEx(file_.get(), &value))
        return false;
    size = static_cast<unsigned long long>(value.QuadPart);
    return true;
}

bool InputFile::Rewind() {
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN)) {
        error_ = ::GetLastError();
        return false;
    }
    return true;
}

bool InputFile::Identity(FileIdentity& identity) const {
    return file_ && IdentityOfHandle(file_.get(), identity);
}

bool OutputFile::CreateNew(const std::string& name, DWORD attributes) {
    name_ = name;
    buffer_.clear();
    buffer_.reserve(kOutputBufferSize);
    // CREATE_NEW fails on any existing name, a link included: nothing is
    // ever written through a name someone else prepared.
    file_.reset(::CreateFileW(WideFileName(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr));
    error_ = file_ ? 0 : ::GetLastError();
    return static_cast<bool>(file_);
}

bool OutputFile::Write(std::string_view data) {
    while (!data.empty()) {
        if (buffer_.size() == kOutputBufferSize && !Flush())
            return false;
        const std::size_t n = std::min(data.size(), kOutputBufferSize - buffer_.size());
        buffer_.insert(buffer_.end(), data.data(), data.data() + n);
        data.remove_prefix(n);
    }
    return true;
}

bool OutputFile::Flush() {
    if (buffer_.empty())
        return true;
    if (const DWORD fault = InjectedFault(FileOp::Write, name_)) {
        error_ = fault;
        return false;
    }
    DWORD written = 0;
    if (!::WriteFile(file_.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &written, nullptr)) {
        error_ = ::GetLastError();
        return false;
    }
    if (written != buffer_.size()) {
        error_ = ERROR_DISK_FULL;
        return false;
    }
    buffer_.clear();
    return true;
}

bool OutputFile::Close() {
    if (!file_)
        return error_ == 0;
    bool ok = Flush();
    // On the disk before anything is exchanged for it.
    if (ok && !::FlushFileBuffers(file_.get())) {
        error_ = ::GetLastError();
        ok = false;
    }
    const HANDLE h = file_.release();
    if (!::CloseHandle(h) && ok) {
        error_ = ::GetLastError();
        return false;
    }
    return ok;
}

std::string FullFolderOf(const std::string& name) {
    std::wstring full(MAX_PATH * 4, L'\0');
    LPWSTR filePart = nullptr;
    const DWORD n =
        ::GetFullPathNameW(Utf8ToWide(name).c_str(), static_cast<DWORD>(full.size()), &full[0], &filePart);
    if (n == 0 || n >= full.size() || filePart == nullptr)
        return std::string();
    full.resize(static_cast<std::size_t>(filePart - full.data()));
    while (full.size() > 3 && full.back() == L'\\')
        full.pop_back();
    return WideToUtf8(full);
}

namespace {

// A full file name as the system's own rename takes it.
std::wstring NtFileName(const std::string& name) {
    std::wstring full(32768, L'\0');
    const DWORD n = ::GetFullPathNameW(WideFileName(name).c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    full.resize(n < full.size() ? n : 0);
    if (full.compare(0, 4, L"\\\\?\\") == 0)
        return L"\\??\\" + full.substr(4);
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\??\\UNC\\" + full.substr(2);
    return L"\\??\\" + full;
}

}  // namespace

bool RenameOpenFile(HANDLE h, const std::string& to, bool replace) {
    const std::wstring nt = NtFileName(to);
    if (nt.size() <= 4) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nt.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nt.size() * sizeof(wchar_t));
    std::copy(nt.begin(), nt.end(), rename->FileName);
    return ::SetFileInformationByHandle(h, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != FALSE;
}

}  // namespace movix
