#include "core/undo_journal.h"

#include <cstdio>
#include <cstdlib>
#include <map>

#include "core/strings.h"

namespace movix {

const char* const kUndoJournalMagic = "MOVIX32-UNDO";

namespace {

const char* const kMachineKeyMark = "machine";

std::string Escape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool Unescape(std::string_view s, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i == s.size())
            return false;
        switch (s[i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            default:
                return false;
        }
    }
    return true;
}

// What a line's seal covers: its number, the journal's nonce and its text.
std::string SealedText(int lineNo, std::string_view nonce, std::string_view text) {
    std::string sealed = std::to_string(lineNo);
    sealed += '\t';
    sealed.append(nonce.data(), nonce.size());
    sealed += '\t';
    sealed.append(text.data(), text.size());
    return sealed;
}

// Compares two seals in a time that does not depend on where they differ.
bool SameSeal(const std::string& a, std::string_view b) {
    if (a.empty() || a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

// Splits a line's text (before its seal) into its unescaped fields; false
// on a malformed escape.
bool SplitFields(std::string_view rest, std::vector<std::string>& fields) {
    fields.clear();
    for (;;) {
        const std::size_t tab = rest.find('\t');
        std::string field;
        if (!Unescape(rest.substr(0, tab), field))
            return false;
        fields.push_back(std::move(field));
        if (tab == std::string_view::npos)
            return true;
        rest.remove_prefix(tab + 1);
    }
}

// Whether a complete line (without its LF) carries the seal of its place.
bool Sealed(std::string_view line, int lineNo, std::string_view nonce, const TUndoSeal& seal) {
    const std::size_t hash = line.rfind('#');
    if (hash == std::string_view::npos)
        return false;
    return SameSeal(seal(SealedText(lineNo, nonce, line.substr(0, hash))), line.substr(hash + 1));
}

std::string JoinFields(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += '\t';
        line += Escape(fields[i]);
    }
    return line;
}

// A time as the journal writes it: decimal digits, nothing else.
bool ParseTime(const std::string& text, std::uint64_t& time) {
    if (text.empty() || text.size() > 20)
        return false;
    time = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        time = time * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

// The records of a move's way across volumes, on the entry its
// "move-before" began; a record out of its order is left out and named.
void ParseMoveTrail(const std::vector<std::string>& f,
                    int lineNo,
                    TUndoJournal& journal,
                    const std::map<std::string, std::size_t>& byId) {
    const std::string& tag = f[0];
    const auto issue = [&](const std::string& what) {
        journal.Issues.push_back("line " + std::to_string(lineNo) + ": \"" + tag + "\" " + what);
    };
    const std::size_t fields = tag == "move-copy" ? 7 : tag == "move-copying" ? 3 : 5;
    if (f.size() != fields) {
        issue("with " + std::to_string(f.size()) + " fields");
        return;
    }
    const auto it = byId.find(f[1]);
    if (it == byId.end() || journal.Entries[it->second].Kind != TUndoKind::FolderMove) {
        issue("for an id not begun");
        return;
    }
    TUndoEntry& e = journal.Entries[it->second];
    std::uint64_t time = 0;
    if (!ParseTime(f.back(), time)) {
        issue("with a time \"" + f.back() + "\"");
        return;
    }
    if (e.After || (tag == "move-copy") == e.Trail.CopyBegun || !e.Trail.Aside.empty()) {
        issue("out of its order");
        return;
    }
    if (tag == "move-copy") {
        if (f[4] != "0" && f[4] != "1") {
            issue("with a mark \"" + f[4] + "\"");
            return;
        }
        e.Trail.CopyBegun = true;
        e.Trail.Volume = f[2];
        e.Trail.Index = f[3];
        e.Trail.MadeNew = f[4] == "1";
        e.Trail.MadeFrom = f[5];
    } else if (tag == "move-aside") {
        if (f[2].empty()) {
            issue("without a name");
            return;
        }
        e.Trail.Aside = f[2];
        e.Trail.OldIndex = f[3];
    }
    if (time > e.Trail.LastSign)
        e.Trail.LastSign = time;
}

}  // namespace

std::string TUndoLineSealer::Header() {
    next_ = 1;
    // A journal of the user's key keeps the first line of the journals
    // before the machine's key, so that either program reads it.
    if (key_ == TUndoKey::Machine)
        return Line({kUndoJournalMagic, std::to_string(kUndoJournalVersion), nonce_, kMachineKeyMark});
    return Line({kUndoJournalMagic, std::to_string(kUndoJournalVersion), nonce_});
}

std::string TUndoLineSealer::Line(const std::vector<std::string>& fields) {
    const std::string text = JoinFields(fields);
    return text + "#" + seal_(SealedText(next_++, nonce_, text)) + "\n";
}

std::string UndoFileState(std::uint64_t size, const std::string& digest) {
    return std::to_string(size) + ":" + digest;
}

std::string UndoValueState(std::uint32_t type, std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out = std::to_string(type) + ":";
    out.reserve(out.size() + bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

bool ParseUndoValueState(std::string_view state, std::uint32_t& type, std::string& bytes) {
    const std::size_t colon = state.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 10)
        return false;
    std::uint64_t t = 0;
    for (std::size_t i = 0; i < colon; ++i) {
        if (state[i] < '0' || state[i] > '9')
            return false;
        t = t * 10 + static_cast<std::uint64_t>(state[i] - '0');
    }
    if (t > 0xffffffffull)
        return false;
    const std::string_view hex = state.substr(colon + 1);
    if (hex.size() % 2 != 0)
        return false;
    bytes.clear();
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = HexDigitValue(hex[i]), lo = HexDigitValue(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes += static_cast<char>(hi * 16 + lo);
    }
    type = static_cast<std::uint32_t>(t);
    return true;
}

TUndoAction DecideUndo(const std::string& before, const std::optional<std::string>& after, const std::string& now) {
    if (now == before)
        return TUndoAction::Nothing;
    if (after && now == *after)
        return TUndoAction::PutBack;
    return TUndoAction::ChangedSince;
}

TUndoAction DecideKeyMoveUndo(const TUndoEntry& e, const std::string& nowOld, const std::string& nowNew) {
    const bool wasMove = e.Before != kUndoAbsent && e.BeforeNew == kUndoAbsent;
    if (wasMove && nowOld != kUndoAbsent && nowNew == kUndoAbsent)
        return TUndoAction::Nothing;
    std::optional<std::string> after;
    if (e.After && e.AfterNew)
        after = *e.After + "|" + *e.AfterNew;
    return DecideUndo(e.Before + "|" + e.BeforeNew, after, nowOld + "|" + nowNew);
}

std::optional<TUndoKey> UndoJournalKeyNamed(std::string_view text) {
    const std::string_view first = text.substr(0, text.find('\n'));
    std::vector<std::string> f;
    if (first.size() == text.size() || first.rfind('#') == std::string_view::npos ||
        !SplitFields(first.substr(0, first.rfind('#')), f) || f.size() < 3 || f[0] != kUndoJournalMagic ||
        f[1] != std::to_string(kUndoJournalVersion))
        return std::nullopt;
    return f.size() == 4 && f[3] == kMachineKeyMark ? TUndoKey::Machine : TUndoKey::User;
}

std::optional<TUndoJournal> ParseUndoJournal(std::string_view text, const TUndoSeal& seal, std::string& error) {
    TUndoJournal journal;
    std::map<std::string, std::size_t> byId;
    std::vector<std::string> f;

    // The first line says what the file is and holds the nonce that every
    // line's seal covers; its own seal shows whose key made the journal.
    const std::size_t firstEnd = text.find('\n');
    const std::string_view first = text.substr(0, firstEnd);
    const std::size_t firstHash = first.rfind('#');
    if (firstEnd == std::string_view::npos || firstHash == std::string_view::npos ||
        !SplitFields(first.substr(0, firstHash), f) || f.size() < 2 || f[0] != kUndoJournalMagic) {
        error = "The file is not a Movix 32 undo journal.";
        return std::nullopt;
    }
    if (f[1] == "1") {
        error =
            "The undo journal was written by an earlier version of Movix 32, which did not seal its "
            "journals: it cannot be used to restore.";
        return std::nullopt;
    }
    if (f[1] != std::to_string(kUndoJournalVersion)) {
        error = "The undo journal is of version " + f[1] + ", which this program does not read.";
        return std::nullopt;
    }
    const bool machine = f.size() == 4 && f[3] == kMachineKeyMark;
    if ((f.size() != 3 && !machine) || f[2].empty() || !Sealed(first, 1, f[2], seal)) {
        error =
            "The undo journal was not written by a run of Movix 32 under this user account, or it was "
            "changed since: it is not used, nothing is restored.";
        return std::nullopt;
    }
    journal.Version = kUndoJournalVersion;
    journal.Nonce = f[2];
    journal.Key = machine ? TUndoKey::Machine : TUndoKey::User;
    text.remove_prefix(firstEnd + 1);

    int lineNo = 1;
    int damagedAt = 0;
    bool sawRun = false;
    while (!text.empty()) {
        ++lineNo;
        const std::size_t lf = text.find('\n');
        if (lf == std::string_view::npos) {
            // A last line without its end was being written when the run
            // ended: what it records never happened.
            if (damagedAt == 0)
                journal.Issues.push_back("line " + std::to_string(lineNo) + ": incomplete");
            break;
        }
        const std::string_view line = text.substr(0, lf);
        text.remove_prefix(lf + 1);
        const bool sealed = Sealed(line, lineNo, journal.Nonce, seal);
        if (damagedAt != 0) {
            if (sealed) {
                error = "The undo journal was changed after its run (line " + std::to_string(damagedAt) +
                        " does not match its seal): it is not used, nothing is restored.";
                return std::nullopt;
            }
            continue;
        }
        if (!sealed) {
            damagedAt = lineNo;
            journal.Issues.push_back("line " + std::to_string(lineNo) +
                                     ": does not match its seal; it and the lines after it");
            continue;
        }
        auto issue = [&](const std::string& what) {
            journal.Issues.push_back("line " + std::to_string(lineNo) + ": " + what);
        };
        if (!SplitFields(line.substr(0, line.rfind('#')), f)) {
            issue("malformed escape");
            continue;
        }
        const std::string& tag = f[0];
        auto expect = [&](std::size_t n) {
            if (f.size() == n)
                return true;
            issue("\"" + tag + "\" with " + std::to_string(f.size()) + " fields");
            return false;
        };
        auto begin = [&](TUndoKind kind) -> TUndoEntry* {
            if (byId.count(f[1])) {
                issue("id " + f[1] + " used twice");
                return nullptr;
            }
            byId[f[1]] = journal.Entries.size();
            journal.Entries.emplace_back();
            journal.Entries.back().Kind = kind;
            journal.Entries.back().Id = f[1];
            return &journal.Entries.back();
        };
        auto find = [&](TUndoKind kind) -> TUndoEntry* {
            auto it = byId.find(f[1]);
            if (it == byId.end() || journal.Entries[it->second].Kind != kind) {
                issue("\"" + tag + "\" for an id not begun");
                return nullptr;
            }
            TUndoEntry* e = &journal.Entries[it->second];
            return e;
        };
        if (tag == "run") {
            if (sawRun) {
                issue("a second \"run\" record");
            } else if (expect(5)) {
                journal.OldAddress = f[1];
                journal.NewAddress = f[2];
                journal.Date = f[3];
                journal.CopyFolder = f[4];
                sawRun = true;
            }
        } else if (tag == "ini-before" || tag == "lnk-before") {
            if (expect(tag == "ini-before" ? 4 : 5)) {
                if (TUndoEntry* e = begin(tag == "ini-before" ? TUndoKind::Ini : TUndoKind::Shortcut)) {
                    e->Target = f[2];
                    e->Before = f[3];
                    if (e->Kind == TUndoKind::Shortcut)
                        e->Saved = f[4];
                }
            }
        } else if (tag == "ini-after") {
            if (expect(4))
                if (TUndoEntry* e = find(TUndoKind::Ini)) {
                    e->After = f[2];
                    e->Saved = f[3];
                }
        } else if (tag == "lnk-after") {
            if (expect(3))
                if (TUndoEntry* e = find(TUndoKind::Shortcut))
                    e->After = f[2];
        } else if (tag == "value-before") {
            if (expect(5))
                if (TUndoEntry* e = begin(TUndoKind::Value)) {
                    e->Target = f[2];
                    e->Name = f[3];
                    e->Before = f[4];
                }
        } else if (tag == "value-after") {
            if (expect(3))
                if (TUndoEntry* e = find(TUndoKind::Value))
                    e->After = f[2];
        } else if (tag == "key-before") {
            if (expect(7))
                if (TUndoEntry* e = begin(TUndoKind::KeyMove)) {
                    e->Target = f[2];
                    e->Name = f[3];
                    e->NewName = f[4];
                    e->Before = f[5];
                    e->BeforeNew = f[6];
                }
        } else if (tag == "key-value") {
            if (expect(5))
                if (TUndoEntry* e = find(TUndoKind::KeyMove))
                    e->Listing.push_back({f[2], f[3], f[4]});
        } else if (tag == "key-after") {
            if (expect(4))
                if (TUndoEntry* e = find(TUndoKind::KeyMove)) {
                    e->After = f[2];
                    e->AfterNew = f[3];
                }
        } else if (tag == "group-before") {
            if (expect(5))
                if (TUndoEntry* e = begin(TUndoKind::GroupItem)) {
                    e->Target = f[2];
                    e->Name = f[3];
                    e->Before = f[4];
                }
        } else if (tag == "group-after") {
            if (expect(3))
                if (TUndoEntry* e = find(TUndoKind::GroupItem))
                    e->After = f[2];
        } else if (tag == "service-before") {
            if (expect(5))
                if (TUndoEntry* e = begin(TUndoKind::Service)) {
                    e->Target = f[2];
                    e->Name = f[3];
                    e->Before = f[4];
                }
        } else if (tag == "service-after") {
            if (expect(3))
                if (TUndoEntry* e = find(TUndoKind::Service))
                    e->After = f[2];
        } else if (tag == "task-before") {
            if (expect(5))
                if (TUndoEntry* e = begin(TUndoKind::Task)) {
                    e->Target = f[2];
                    e->Before = f[3];
                    e->Saved = f[4];
                }
        } else if (tag == "task-field") {
            if (expect(5))
                if (TUndoEntry* e = find(TUndoKind::Task)) {
                    if (e->After)
                        issue("\"task-field\" after its \"task-after\"");
                    else
                        e->Listing.push_back({f[2], f[3], f[4]});
                }
        } else if (tag == "task-after") {
            if (expect(3))
                if (TUndoEntry* e = find(TUndoKind::Task))
                    e->After = f[2];
        } else if (tag == "move-before") {
            if (expect(5) && f[4] != "0" && f[4] != "1")
                issue("\"move-before\" with a junction mark \"" + f[4] + "\"");
            else if (f.size() == 5)
                if (TUndoEntry* e = begin(TUndoKind::FolderMove)) {
                    e->Target = f[2];
                    e->NewName = f[3];
                    e->Junction = f[4] == "1";
                }
        } else if (tag == "move-after") {
            if (expect(3))
                if (TUndoEntry* e = find(TUndoKind::FolderMove))
                    e->After = f[2];
        } else if (tag == "move-copy" || tag == "move-copying" || tag == "move-aside") {
            ParseMoveTrail(f, lineNo, journal, byId);
        } else {
            issue("unknown record \"" + tag + "\"");
        }
    }
    if (!sawRun)
        journal.Issues.push_back("no \"run\" record");
    return journal;
}

}  // namespace movix
