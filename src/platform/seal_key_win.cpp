#include "platform/seal_key_win.h"

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <vector>

#include "platform/file_io_win.h"
#include "platform/handles.h"

namespace movix {

namespace {

// Beside the settings key, not below it: deleting the settings must not
// make every journal kept so far useless.
const wchar_t kKeyPath[] = L"Software\\Kestrelia\\MOVIX32\\Undo";
const wchar_t kKeyValue[] = L"Journal Key";
// Tells this program's protected data apart from any other of the user's.
constexpr std::string_view kEntropy = "Movix 32 undo journal key";
constexpr unsigned kKeyBytes = 32;

std::string Hex(const unsigned char* bytes, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

struct AlgTraits {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashTraits {
    using Handle = BCRYPT_HASH_HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::BCryptDestroyHash(h); }
};

std::string Digest(const std::string* key, std::string_view bytes) {
    BCRYPT_ALG_HANDLE rawAlg = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&rawAlg, BCRYPT_SHA256_ALGORITHM, nullptr,
                                                      key ? BCRYPT_ALG_HANDLE_HMAC_FLAG : 0)))
        return std::string();
    UniqueHandle<AlgTraits> alg(rawAlg);
    BCRYPT_HASH_HANDLE rawHash = nullptr;
    PUCHAR secret = key ? reinterpret_cast<PUCHAR>(const_cast<char*>(key->data())) : nullptr;
    if (!BCRYPT_SUCCESS(
            ::BCryptCreateHash(alg.get(), &rawHash, nullptr, 0, secret, key ? static_cast<ULONG>(key->size()) : 0, 0)))
        return std::string();
    UniqueHandle<HashTraits> hash(rawHash);
    while (!bytes.empty()) {
        const ULONG chunk = static_cast<ULONG>(bytes.size() < (1u << 30) ? bytes.size() : (1u << 30));
        if (!BCRYPT_SUCCESS(
                ::BCryptHashData(hash.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), chunk, 0)))
            return std::string();
        bytes.remove_prefix(chunk);
    }
    unsigned char out[32];
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash.get(), out, sizeof out, 0)))
        return std::string();
    return Hex(out, sizeof out);
}

DATA_BLOB Blob(std::string_view bytes) {
    DATA_BLOB blob;
    blob.cbData = static_cast<DWORD>(bytes.size());
    blob.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()));
    return blob;
}

// The kept key: false when there is none; `error` set when it is there and
// cannot be read.
bool ReadKey(std::string& key, std::string& error) {
    RegKey reg;
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return false;
    reg.reset(raw);
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(reg.get(), kKeyValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::string stored(size, '\0');
    if (type != REG_BINARY || size == 0 ||
        ::RegQueryValueExW(reg.get(), kKeyValue, nullptr, &type, reinterpret_cast<BYTE*>(&stored[0]), &size) !=
            ERROR_SUCCESS) {
        error = "the key of this user's undo journals cannot be read";
        return false;
    }
    stored.resize(size);
    DATA_BLOB in = Blob(stored), entropy = Blob(kEntropy), out{};
    if (!::CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) {
        error = "the key of this user's undo journals cannot be read: " + SystemErrorText(::GetLastError());
        return false;
    }
    key.assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
    ::SecureZeroMemory(out.pbData, out.cbData);
    ::LocalFree(out.pbData);
    if (key.size() != kKeyBytes) {
        key.clear();
        error = "the key of this user's undo journals is damaged";
        return false;
    }
    return true;
}

bool KeepKey(const std::string& key, std::string& error) {
    DATA_BLOB in = Blob(key), entropy = Blob(kEntropy), out{};
    if (!::CryptProtectData(&in, L"Movix 32", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) {
        error = "the key of the undo journals cannot be protected: " + SystemErrorText(::GetLastError());
        return false;
    }
    HKEY raw = nullptr;
    LONG status = ::RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                    nullptr, &raw, nullptr);
    if (status == ERROR_SUCCESS) {
        RegKey reg(raw);
        status = ::RegSetValueExW(reg.get(), kKeyValue, 0, REG_BINARY, out.pbData, out.cbData);
    }
    ::LocalFree(out.pbData);
    if (status != ERROR_SUCCESS) {
        error = "the key of the undo journals cannot be kept: " + SystemErrorText(static_cast<DWORD>(status));
        return false;
    }
    return true;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
    return Digest(nullptr, bytes);
}

std::string HmacSha256Hex(const std::string& key, std::string_view bytes) {
    return Digest(&key, bytes);
}

std::string RandomHex(unsigned count) {
    std::vector<unsigned char> bytes(count);
    if (count == 0 || !BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes.data(), count, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return std::string();
    return Hex(bytes.data(), bytes.size());
}

std::string UserJournalKey(bool create, std::string& error) {
    // Two runs starting at once make one key between them.
    ObjectHandle mutex(::CreateMutexW(nullptr, FALSE, L"Local\\Movix32-UndoJournalKey"));
    const bool owned = mutex && ::WaitForSingleObject(mutex.get(), 10000) == WAIT_OBJECT_0;
    auto release = ScopeExit([&] {
        if (owned)
            ::ReleaseMutex(mutex.get());
    });
    std::string key;
    std::string unreadable;
    if (ReadKey(key, unreadable))
        return key;
    if (!create) {
        error = unreadable;
        return std::string();
    }
    // A key that cannot be read any more (the user's protection was reset)
    // is replaced: the journals it sealed could not be checked either way.
    std::vector<unsigned char> bytes(kKeyBytes);
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes.data(), kKeyBytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        error = "no random key can be made for the undo journal";
        return std::string();
    }
    key.assign(bytes.begin(), bytes.end());
    if (!KeepKey(key, error))
        return std::string();
    // Read back what is kept, so that what seals the journal is what will
    // check it.
    std::string kept;
    if (!ReadKey(kept, error) || kept != key) {
        if (error.empty())
            error = "the key of the undo journals was not kept";
        return std::string();
    }
    return kept;
}

}  // namespace movix
