#include "platform/seal_key_win.h"

#include <windows.h>

#include <aclapi.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include <vector>

#include "platform/hex_text.h"
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
// The machine's key: under HKLM, where only administrators can make keys.
const wchar_t kMachineKeyPath[] = L"SOFTWARE\\Kestrelia\\MOVIX32\\Undo";
constexpr std::string_view kMachineEntropy = "Movix 32 machine undo journal key";
const char kUserKeyNoun[] = "the key of this user's undo journals";
const char kMachineKeyNoun[] = "the machine's key of the undo journals";

int g_elevationForTest = -1;
std::wstring g_machineKeyPathForTest;

std::wstring MachineKeyPath() {
    return g_machineKeyPathForTest.empty() ? std::wstring(kMachineKeyPath) : g_machineKeyPathForTest;
}

std::string Hex(const unsigned char* bytes, std::size_t n) {
    std::string out;
    AppendHexBytes(out, std::string_view(reinterpret_cast<const char*>(bytes), n), false);
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

// The protected key kept in `reg`: false when there is none; `error` set
// when it is there and cannot be read.
bool ReadProtectedKey(HKEY reg, std::string_view entropyText, const char* noun, std::string& key, std::string& error) {
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(reg, kKeyValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::string stored(size, '\0');
    if (type != REG_BINARY || size == 0 ||
        ::RegQueryValueExW(reg, kKeyValue, nullptr, &type, reinterpret_cast<BYTE*>(&stored[0]), &size) !=
            ERROR_SUCCESS) {
        error = std::string(noun) + " cannot be read";
        return false;
    }
    stored.resize(size);
    DATA_BLOB in = Blob(stored), entropy = Blob(entropyText), out{};
    if (!::CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) {
        error = std::string(noun) + " cannot be read: " + SystemErrorText(::GetLastError());
        return false;
    }
    key.assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
    ::SecureZeroMemory(out.pbData, out.cbData);
    ::LocalFree(out.pbData);
    if (key.size() != kKeyBytes) {
        key.clear();
        error = std::string(noun) + " is damaged";
        return false;
    }
    return true;
}

// The kept key: false when there is none; `error` set when it is there and
// cannot be read.
bool ReadKey(std::string& key, std::string& error) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return false;
    RegKey reg(raw);
    return ReadProtectedKey(reg.get(), kEntropy, kUserKeyNoun, key, error);
}

bool IsTrustedSid(PSID sid) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    for (WELL_KNOWN_SID_TYPE type : {WinLocalSystemSid, WinBuiltinAdministratorsSid}) {
        DWORD size = sizeof buffer;
        if (::CreateWellKnownSid(type, nullptr, buffer, &size) && ::EqualSid(sid, buffer))
            return true;
    }
    return false;
}

// Whether the key is owned by the administrators (or SYSTEM) and lets no one
// else in, for anything: the machine's data protection opens the value for
// any program of the machine, so these rules are all that keeps it secret.
bool OnlyAdministratorsMayOpen(HKEY reg) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (::GetSecurityInfo(reg, SE_REGISTRY_KEY, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                          &dacl, nullptr, &sd) != ERROR_SUCCESS)
        return false;
    auto freeSd = ScopeExit([sd] { ::LocalFree(sd); });
    // No rules at all let everyone in.
    if (owner == nullptr || !IsTrustedSid(owner) || dacl == nullptr)
        return false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&ace)))
            return false;
        if (ace->AceType == ACCESS_DENIED_ACE_TYPE)
            continue;
        // A kind of rule this check does not read counts as one for others.
        if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE ||
            !IsTrustedSid(&reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart))
            return false;
    }
    return true;
}

bool ReadMachineKey(std::string& key, std::string& error) {
    HKEY raw = nullptr;
    const LONG opened = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, MachineKeyPath().c_str(), 0,
                                        KEY_QUERY_VALUE | READ_CONTROL | KEY_WOW64_64KEY, &raw);
    if (opened != ERROR_SUCCESS) {
        if (opened != ERROR_FILE_NOT_FOUND)
            error = std::string(kMachineKeyNoun) + " cannot be read: " + SystemErrorText(static_cast<DWORD>(opened));
        return false;
    }
    RegKey reg(raw);
    // The rules are read through the handle the value is read through.
    if (!OnlyAdministratorsMayOpen(reg.get())) {
        error = std::string(kMachineKeyNoun) +
                " is kept where others than the administrators may read or change it: it is not used";
        return false;
    }
    return ReadProtectedKey(reg.get(), kMachineEntropy, kMachineKeyNoun, key, error);
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

// Keeps the machine's key under a key owned by the administrators whose
// rules let in the administrators and SYSTEM alone (inheriting nothing),
// set on an existing key as well.
bool KeepMachineKey(const std::string& key, std::string& error) {
    BYTE admins[SECURITY_MAX_SID_SIZE], system[SECURITY_MAX_SID_SIZE];
    DWORD adminsSize = sizeof admins, systemSize = sizeof system;
    const DWORD aclSize = sizeof(ACL) + 2 * sizeof(ACCESS_ALLOWED_ACE) + 2 * SECURITY_MAX_SID_SIZE;
    std::vector<unsigned char> aclBuffer(aclSize);
    PACL acl = reinterpret_cast<PACL>(aclBuffer.data());
    SECURITY_DESCRIPTOR sd;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &adminsSize) ||
        !::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize) ||
        !::InitializeAcl(acl, aclSize, ACL_REVISION) ||
        !::AddAccessAllowedAceEx(acl, ACL_REVISION, CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS, admins) ||
        !::AddAccessAllowedAceEx(acl, ACL_REVISION, CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS, system) ||
        !::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorOwner(&sd, admins, FALSE) || !::SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) ||
        !::SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        error = std::string(kMachineKeyNoun) + " cannot be kept: " + SystemErrorText(::GetLastError());
        return false;
    }
    DATA_BLOB in = Blob(key), entropy = Blob(kMachineEntropy), out{};
    if (!::CryptProtectData(&in, L"Movix 32", &entropy, nullptr, nullptr,
                            CRYPTPROTECT_UI_FORBIDDEN | CRYPTPROTECT_LOCAL_MACHINE, &out)) {
        error = std::string(kMachineKeyNoun) + " cannot be protected: " + SystemErrorText(::GetLastError());
        return false;
    }
    auto freeOut = ScopeExit([&out] { ::LocalFree(out.pbData); });
    SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
    HKEY raw = nullptr;
    LONG status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, MachineKeyPath().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_SET_VALUE | WRITE_DAC | WRITE_OWNER | KEY_WOW64_64KEY, &sa, &raw, nullptr);
    if (status == ERROR_SUCCESS) {
        RegKey reg(raw);
        // The rules given at its making hold only for a key made new (and
        // not at all under Wine): they are set again.
        status = ::RegSetKeySecurity(reg.get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &sd);
        if (status == ERROR_SUCCESS)
            status = ::RegSetValueExW(reg.get(), kKeyValue, 0, REG_BINARY, out.pbData, out.cbData);
    }
    if (status != ERROR_SUCCESS) {
        error = std::string(kMachineKeyNoun) + " cannot be kept: " + SystemErrorText(static_cast<DWORD>(status));
        return false;
    }
    return true;
}

// The key read with `read`, or one made, kept with `keep` and read back
// (so that what seals the journal is what will check it). Two runs starting
// at once make one key between them (`mutexName`).
std::string KeptKey(bool create,
                    const wchar_t* mutexName,
                    bool (*read)(std::string&, std::string&),
                    bool (*keep)(const std::string&, std::string&),
                    std::string& error) {
    ObjectHandle mutex(::CreateMutexW(nullptr, FALSE, mutexName));
    const bool owned = mutex && ::WaitForSingleObject(mutex.get(), 10000) == WAIT_OBJECT_0;
    auto release = ScopeExit([&] {
        if (owned)
            ::ReleaseMutex(mutex.get());
    });
    std::string key;
    std::string unreadable;
    if (read(key, unreadable))
        return key;
    if (!create) {
        error = unreadable;
        return std::string();
    }
    // A key that cannot be read any more (the user's protection was reset,
    // the machine's key was left open to others) is replaced: the journals
    // it sealed could not be trusted either way.
    std::vector<unsigned char> bytes(kKeyBytes);
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, bytes.data(), kKeyBytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        error = "no random key can be made for the undo journal";
        return std::string();
    }
    key.assign(bytes.begin(), bytes.end());
    ::SecureZeroMemory(bytes.data(), bytes.size());
    if (!keep(key, error))
        return std::string();
    std::string kept;
    if (!read(kept, error) || kept != key) {
        if (error.empty())
            error = "the key of the undo journals was not kept";
        return std::string();
    }
    return kept;
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
    return KeptKey(create, L"Local\\Movix32-UndoJournalKey", ReadKey, KeepKey, error);
}

std::string MachineJournalKey(bool create, std::string& error) {
    return KeptKey(create, L"Global\\Movix32-MachineJournalKey", ReadMachineKey, KeepMachineKey, error);
}

bool RunsElevated() {
    if (g_elevationForTest >= 0)
        return g_elevationForTest == 1;
    HANDLE raw = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        ObjectHandle token(raw);
        TOKEN_ELEVATION elevation{};
        DWORD size = 0;
        if (::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
            elevation.TokenIsElevated)
            return true;
    }
    // Without a split token (UAC off, or a system before it) the
    // administrators' group counts only where it is enabled.
    BYTE admins[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof admins;
    BOOL member = FALSE;
    return ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &size) &&
           ::CheckTokenMembership(nullptr, admins, &member) && member;
}

void SetElevationForTest(int elevated) {
    g_elevationForTest = elevated;
}

void SetMachineKeyPathForTest(const std::wstring& path) {
    g_machineKeyPathForTest = path;
}

}  // namespace movix
