// Owners for the handles of the DDE management library: the instance, string
// handles, conversations and data handles. String handles belong to their
// instance, so an owner keeps the instance id beside the handle; every owner
// must be released before its instance is uninitialised.
#pragma once

#include <windows.h>

#include <ddeml.h>

#include <string>
#include <utility>

#include "platform/handles.h"

namespace movix {

// One DdeInitializeA registration; DdeUninitialize when it ends.
class DdeInstance {
  public:
    DdeInstance() noexcept = default;
    DdeInstance(const DdeInstance&) = delete;
    DdeInstance& operator=(const DdeInstance&) = delete;
    ~DdeInstance() { Reset(); }

    // Registers `callback` with `flags` (APPCMD_CLIENTONLY, APPCLASS_STANDARD,
    // CBF_...). The callback runs on the calling thread during its message
    // processing. Returns the DMLERR_ code, DMLERR_NO_ERROR on success.
    UINT Initialize(PFNCALLBACK callback, DWORD flags) noexcept {
        Reset();
        DWORD id = 0;
        UINT err = ::DdeInitializeA(&id, callback, flags, 0);
        if (err == DMLERR_NO_ERROR)
            id_ = id;
        return err;
    }
    void Reset() noexcept {
        if (id_ != 0)
            ::DdeUninitialize(std::exchange(id_, 0));
    }
    DWORD Id() const noexcept { return id_; }
    explicit operator bool() const noexcept { return id_ != 0; }

  private:
    DWORD id_ = 0;
};

// A string handle made by DdeCreateStringHandleA (code page CP_WINANSI, the
// process code page) or, from wide text, DdeCreateStringHandleW (code page
// CP_WINUNICODE): a server then reads the name in its own code page, whatever
// this process's code page is.
class DdeString {
  public:
    DdeString() noexcept = default;
    DdeString(DWORD instance, const std::string& text) noexcept
        : instance_(instance), hsz_(::DdeCreateStringHandleA(instance, text.c_str(), CP_WINANSI)) {}
    DdeString(DWORD instance, const std::wstring& text) noexcept
        : instance_(instance), hsz_(::DdeCreateStringHandleW(instance, text.c_str(), CP_WINUNICODE)) {}
    DdeString(const DdeString&) = delete;
    DdeString& operator=(const DdeString&) = delete;
    DdeString(DdeString&& o) noexcept : instance_(o.instance_), hsz_(std::exchange(o.hsz_, nullptr)) {}
    DdeString& operator=(DdeString&& o) noexcept {
        if (this != &o) {
            Reset();
            instance_ = o.instance_;
            hsz_ = std::exchange(o.hsz_, nullptr);
        }
        return *this;
    }
    ~DdeString() { Reset(); }

    void Reset() noexcept {
        if (hsz_)
            ::DdeFreeStringHandle(instance_, std::exchange(hsz_, nullptr));
    }
    HSZ get() const noexcept { return hsz_; }
    explicit operator bool() const noexcept { return hsz_ != nullptr; }

  private:
    DWORD instance_ = 0;
    HSZ hsz_ = nullptr;
};

// The text of a string handle, empty when it has none.
inline std::string DdeStringText(DWORD instance, HSZ hsz) {
    if (!hsz)
        return {};
    const DWORD length = ::DdeQueryStringA(instance, hsz, nullptr, 0, CP_WINANSI);
    if (length == 0)
        return {};
    std::string text(length + 1, '\0');
    const DWORD got = ::DdeQueryStringA(instance, hsz, &text[0], length + 1, CP_WINANSI);
    text.resize(got <= length ? got : length);
    return text;
}

struct DdeConversationTraits {
    using Handle = HCONV;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DdeDisconnect(h); }
};
struct DdeDataTraits {
    using Handle = HDDEDATA;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DdeFreeDataHandle(h); }
};

// A client conversation from DdeConnect; DdeDisconnect when it ends.
using DdeConversation = UniqueHandle<DdeConversationTraits>;
// A data handle the application owns: made by DdeCreateDataHandle and not
// yet handed to a transaction, or received from a synchronous transaction.
// A handle given to DdeClientTransaction or returned from a server callback
// belongs to the system from then on: release() it first.
using DdeData = UniqueHandle<DdeDataTraits>;

// The bytes of a data handle up to its first NUL.
inline std::string DdeDataText(HDDEDATA data) {
    if (!data)
        return {};
    DWORD size = 0;
    const char* bytes = reinterpret_cast<const char*>(::DdeAccessData(data, &size));
    if (!bytes)
        return {};
    std::string text;
    DWORD n = 0;
    while (n < size && bytes[n] != '\0')
        ++n;
    text.assign(bytes, n);
    ::DdeUnaccessData(data);
    return text;
}

}  // namespace movix
