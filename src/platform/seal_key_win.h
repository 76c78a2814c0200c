// What keeps the undo journal honest: a cryptographic hash of the bytes a
// state stands for, and a MAC keyed with a secret of the user's own, kept
// protected for that user (CryptProtectData) under the user's Registry key.
// Journals sealed with it are recognised as written by this user's runs.
// An elevated run seals with a secret of the machine's instead, which only
// administrators and SYSTEM may read or change: whatever runs as the user
// unelevated can make the user's seal, and an elevated Restore writes where
// such a program could not.
#pragma once

#include <string>
#include <string_view>

namespace movix {

// SHA-256 of `bytes` as 64 lowercase hex digits; empty when the system
// cannot make one.
std::string Sha256Hex(std::string_view bytes);

// HMAC-SHA256 of `bytes` keyed with `key`, as 64 lowercase hex digits; empty
// when the system cannot make one (which matches no seal).
std::string HmacSha256Hex(const std::string& key, std::string_view bytes);

// `count` bytes from the system's random source as hex digits; empty when
// it gives none.
std::string RandomHex(unsigned count);

// The current user's journal key. With `create`, one is made and kept the
// first time; without, empty when there is none. Empty with the reason in
// `error` when it cannot be read or kept.
std::string UserJournalKey(bool create, std::string& error);

// The machine's journal key, kept under HKLM in a key whose access rules
// let only administrators and SYSTEM in, protected with the machine's data
// protection. Read only while those rules hold (a key anyone else could have
// written or read is no secret); with `create`, made or made anew (with the
// rules set) when there is none that holds. Empty with the reason in `error`.
std::string MachineJournalKey(bool create, std::string& error);

// Whether the process runs with an administrator's full rights: its token
// elevated, or the Administrators group enabled in it (no split token).
bool RunsElevated();

// Test seams, never set by the program itself: `elevated` 1 or 0 stands in
// for what the token says (-1: the token again); `path` (below HKLM) for
// where the machine's key is kept (empty: the usual place).
void SetElevationForTest(int elevated);
void SetMachineKeyPathForTest(const std::wstring& path);

}  // namespace movix
