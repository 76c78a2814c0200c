#include "core/undo_journal.h"

#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/hex_text.h"
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
    std::string out = std::to_string(type) + ":";
    AppendHexBytes(out, bytes, false);
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

namespace {

using TFields = std::vector<std::string>;

// One kind of record: its tag and number of fields, the entry kind it
// belongs to, whether it begins an entry (else it adds to the one its id
// began), a check of its fields (an issue's text, or empty) and what it
// fills in.
struct TRecordForm {
    const char* tag;
    std::size_t fields;
    TUndoKind kind;
    bool begins;
    std::string (*check)(const TFields& f, const TUndoEntry* e);
    void (*fill)(TUndoEntry& e, const TFields& f);
};

std::string NoCheck(const TFields&, const TUndoEntry*) {
    return {};
}

const TRecordForm kRecordForms[] = {
    {"ini-before", 4, TUndoKind::Ini, true, NoCheck,
     [](TUndoEntry& e, const TFields& f) {
         e.Target = f[2];
         e.Before = f[3];
     }},
    {"lnk-before", 5, TUndoKind::Shortcut, true, NoCheck,
     [](TUndoEntry& e, const TFields& f) {
         e.Target = f[2];
         e.Before = f[3];
         e.Saved = f[4];
     }},
    {"ini-after", 4, TUndoKind::Ini, false, NoCheck,
     [](TUndoEntry& e, const TFields& f) {
         e.After = f[2];
         e.Saved = f[3];
     }},
    {"lnk-after", 3, TUndoKind::Shortcut, false, NoCheck, [](TUndoEntry& e, const TFields& f) { e.After = f[2]; }},
    {"value-before", 5, TUndoKind::Value, true, NoCheck,
     [](TUndoEntry& e, const TFields& f) {
         e.Target = f[2];
         e.Name = f[3];
         e.Before = f[4];
     }},
    {"value-after", 3, TUndoKind::Value, false, NoCheck, [](TUndoEntry& e, const TFields& f) { e.After = f[2]; }},
    {"key-before", 7, TUndoKind::KeyMove, true, NoCheck,
     [](TUndoEntry& e, const TFields& f) {
         e.Target = f[2];
         e.Name = f[3];
         e.NewName = f[4];
         e.Before = f[5];
         e.BeforeNew = f[6];
     }},
    {"key-value", 5, TUndoKind::KeyMove, false, NoCheck,
     [](TUndoEntry& e, const TFields& f) {
         e.Listing.push_back({f[2], f[3], f[4]});
     }},
    {"key-after", 4, TUndoKind::KeyMove, false, NoCheck,
     [](TUndoEntry& e, const TFields& f) {
         e.After = f[2];
         e.AfterNew = f[3];
     }},
    {"group-before", 5, TUndoKind::GroupItem, true, NoCheck,
     [](TUndoEntry& e, const TFields& f) {
         e.Target = f[2];
         e.Name = f[3];
         e.Before = f[4];
     }},
    {"group-after", 3, TUndoKind::GroupItem, false, NoCheck, [](TUndoEntry& e, const TFields& f) { e.After = f[2]; }},
    {"service-before", 5, TUndoKind::Service, true, NoCheck,
     [](TUndoEntry& e, const TFields& f) {
         e.Target = f[2];
         e.Name = f[3];
         e.Before = f[4];
     }},
    {"service-after", 3, TUndoKind::Service, false, NoCheck, [](TUndoEntry& e, const TFields& f) { e.After = f[2]; }},
    {"task-before", 5, TUndoKind::Task, true, NoCheck,
     [](TUndoEntry& e, const TFields& f) {
         e.Target = f[2];
         e.Before = f[3];
         e.Saved = f[4];
     }},
    {"task-field", 5, TUndoKind::Task, false,
     [](const TFields&, const TUndoEntry* e) {
         return e && e->After ? std::string("\"task-field\" after its \"task-after\"") : std::string();
     },
     [](TUndoEntry& e, const TFields& f) {
         e.Listing.push_back({f[2], f[3], f[4]});
     }},
    {"task-after", 3, TUndoKind::Task, false, NoCheck, [](TUndoEntry& e, const TFields& f) { e.After = f[2]; }},
    {"move-before", 5, TUndoKind::FolderMove, true,
     [](const TFields& f, const TUndoEntry*) {
         return f[4] != "0" && f[4] != "1" ? "\"move-before\" with a junction mark \"" + f[4] + "\"" : std::string();
     },
     [](TUndoEntry& e, const TFields& f) {
         e.Target = f[2];
         e.NewName = f[3];
         e.Junction = f[4] == "1";
     }},
    {"move-after", 3, TUndoKind::FolderMove, false, NoCheck, [](TUndoEntry& e, const TFields& f) { e.After = f[2]; }},
};

// One record that begins an entry or adds to one, by its form; what does
// not fit its form is left out and named through `issue`.
template <class Issue>
void ParseRecord(const TFields& f,
                 TUndoJournal& journal,
                 std::map<std::string, std::size_t>& byId,
                 const Issue& issue) {
    const TRecordForm* form = nullptr;
    for (const TRecordForm& candidate : kRecordForms)
        if (f[0] == candidate.tag)
            form = &candidate;
    if (form == nullptr) {
        issue("unknown record \"" + f[0] + "\"");
        return;
    }
    if (f.size() != form->fields) {
        issue("\"" + f[0] + "\" with " + std::to_string(f.size()) + " fields");
        return;
    }
    const auto it = byId.find(f[1]);
    TUndoEntry* e = nullptr;
    if (!form->begins) {
        if (it == byId.end() || journal.Entries[it->second].Kind != form->kind) {
            issue("\"" + f[0] + "\" for an id not begun");
            return;
        }
        e = &journal.Entries[it->second];
    }
    const std::string wrong = form->check(f, e);
    if (!wrong.empty()) {
        issue(wrong);
        return;
    }
    if (form->begins) {
        if (it != byId.end()) {
            issue("id " + f[1] + " used twice");
            return;
        }
        byId[f[1]] = journal.Entries.size();
        journal.Entries.emplace_back();
        e = &journal.Entries.back();
        e->Kind = form->kind;
        e->Id = f[1];
    }
    form->fill(*e, f);
}

}  // namespace

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
        if (f[0] == "run") {
            if (sawRun) {
                issue("a second \"run\" record");
            } else if (f.size() != 5) {
                issue("\"run\" with " + std::to_string(f.size()) + " fields");
            } else {
                journal.OldAddress = f[1];
                journal.NewAddress = f[2];
                journal.Date = f[3];
                journal.CopyFolder = f[4];
                sawRun = true;
            }
        } else if (f[0] == "move-copy" || f[0] == "move-copying" || f[0] == "move-aside") {
            ParseMoveTrail(f, lineNo, journal, byId);
        } else {
            ParseRecord(f, journal, byId, issue);
        }
    }
    if (!sawRun)
        journal.Issues.push_back("no \"run\" record");
    return journal;
}

}  // namespace movix
