#include "platform/file_io_win.h"

#include <algorithm>
#include <utility>

#include "engine/strings.h"

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

}  // namespace

void SetFileFaultHookForTest(FileFaultHook hook) {
    FaultHook() = std::move(hook);
}

std::string SystemErrorText(DWORD error) {
    char* text = nullptr;
    const DWORD n =
        ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result;
    if (n != 0 && text != nullptr)
        result.assign(text, n);
    if (text != nullptr)
        ::LocalFree(text);
    while (!result.empty() && (static_cast<unsigned char>(result.back()) <= ' ' || result.back() == '.'))
        result.pop_back();
    if (result.empty())
        result = "System error " + std::to_string(error);
    return result;
}

bool SameFileName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

bool NameExists(const std::string& name) {
    return ::GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MoveFileChecked(const std::string& from, const std::string& to) {
    if (const DWORD fault = InjectedFault(FileOp::Move, from)) {
        ::SetLastError(fault);
        return false;
    }
    return ::MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

bool InputFile::Open(const std::string& name, bool allowWriters) {
    name_ = name;
    const DWORD share = FILE_SHARE_READ | (allowWriters ? FILE_SHARE_WRITE : 0);
    file_.reset(::CreateFileA(name.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    error_ = file_ ? 0 : ::GetLastError();
    return static_cast<bool>(file_);
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

bool OutputFile::Create(const std::string& name) {
    name_ = name;
    buffer_.clear();
    buffer_.reserve(kOutputBufferSize);
    file_.reset(::CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    error_ = file_ ? 0 : ::GetLastError();
    return static_cast<bool>(file_);
}

bool OutputFile::Append(std::string_view data) {
    while (!data.empty()) {
        if (buffer_.size() == kOutputBufferSize && !Flush())
            return false;
        const std::size_t n = std::min(data.size(), kOutputBufferSize - buffer_.size());
        buffer_.insert(buffer_.end(), data.data(), data.data() + n);
        data.remove_prefix(n);
    }
    return true;
}

bool OutputFile::WriteLine(std::string_view text) {
    return Append(text) && Append("\r\n");
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
    const bool flushed = Flush();
    const HANDLE h = file_.release();
    if (!::CloseHandle(h) && flushed) {
        error_ = ::GetLastError();
        return false;
    }
    return flushed;
}

}  // namespace movix
