// What keeps the undo journal honest: a cryptographic hash of the bytes a
// state stands for, and a MAC keyed with a secret of the user's own, kept
// protected for that user (CryptProtectData) under the user's Registry key.
// Journals sealed with it are recognised as written by this user's runs.
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

}  // namespace movix
