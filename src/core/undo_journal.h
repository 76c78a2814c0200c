// The undo journal of a replacement run: what each target held before the
// run changed it, written line by line ahead of each change, so that a later
// Restore can put it back.
//
// The journal is plain UTF-8 text, one record a line, each line ended by LF:
//
//   MOVIX32-UNDO<TAB>1<TAB>#cccccccc
//   run<TAB><old address><TAB><new address><TAB><date>#cccccccc
//   ini-before<TAB><id><TAB><file><TAB><state>#cccccccc
//   ...
//
// Fields are separated by tabs; a backslash, tab, CR or LF inside a field is
// written as \\, \t, \r or \n. Every line ends with '#' and eight hex digits,
// a checksum of what stands before the '#', so that a line torn by a crash
// (or edited by hand) is recognised and left out rather than misread. A
// record describing a target is written before the change ("-before") and
// completed after it ("-after", same id); a record whose "-after" is missing
// belongs to a run that ended while it was making that change.
//
// States: a file's is "-" when it does not exist, else "<size>:<digest>"; a
// Registry value's is "-" or "<type>:<hex of the data bytes>" (empty data has
// no hex digits); a key's is "-" or the digest of everything below it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace movix {

constexpr int kUndoJournalVersion = 1;
extern const char* const kUndoJournalMagic;  // "MOVIX32-UNDO"

enum class TUndoKind { Ini, Shortcut, Value, KeyMove, GroupItem };

// One changed target, as the journal records it.
struct TUndoEntry {
    TUndoKind Kind = TUndoKind::Ini;
    std::string Id;
    // Ini / Shortcut: the file. Value: the full key path. KeyMove: the full
    // path of the parent key. GroupItem: the group name.
    std::string Target;
    // Value: the value's name (empty: the default value). KeyMove: the old
    // subkey name. GroupItem: the item name.
    std::string Name;
    // KeyMove: the new subkey name.
    std::string NewName;
    std::string Before;                   // the state before (GroupItem: the line as received)
    std::string BeforeNew;                // KeyMove: the new name's state before
    std::optional<std::string> After;     // missing when the run did not record it
    std::optional<std::string> AfterNew;  // KeyMove
    // Ini: the backup's file name (known after). Shortcut: the copy's file name.
    std::string Saved;
    // KeyMove: the values below the old key as they were: relative key path,
    // value name and value state, one triple a listing line.
    struct TKeyValue {
        std::string Path, Name, State;
    };
    std::vector<TKeyValue> Listing;
};

struct TUndoJournal {
    int Version = 0;
    std::string OldAddress, NewAddress, Date;
    std::vector<TUndoEntry> Entries;  // in the order they were begun
    // Lines left out, with why ("line 7: checksum does not match").
    std::vector<std::string> Issues;
};

// Parses a journal. Returns nothing (and says why in `error`) when the text
// is not a journal of a version this program reads; otherwise every sound
// record is kept and every other line is named in Issues.
std::optional<TUndoJournal> ParseUndoJournal(std::string_view text, std::string& error);

// One journal line from its fields (escaped, tab-joined, checksum and LF).
std::string UndoJournalLine(const std::vector<std::string>& fields);
std::string UndoJournalHeader();

// 64-bit FNV-1a digest as 16 hex digits.
std::string UndoDigest(std::string_view bytes);
// A file's state: "<size>:<digest>".
std::string UndoFileState(std::string_view bytes);
// A value's state: "<type>:<hex>".
std::string UndoValueState(std::uint32_t type, std::string_view bytes);
// The reverse of UndoValueState; false for "-" and for malformed text.
bool ParseUndoValueState(std::string_view state, std::uint32_t& type, std::string& bytes);
constexpr const char* kUndoAbsent = "-";

// What Restore does with one target, from its states before and after the
// run and now.
enum class TUndoAction {
    Nothing,       // it is as it was before the run (never changed, or restored)
    PutBack,       // it is as the run left it: put the state before back
    ChangedSince,  // it was changed again since the run (or the run's end is unknown): leave it
};
TUndoAction DecideUndo(const std::string& before, const std::optional<std::string>& after, const std::string& now);
// The same for a key move, from the states of its old and its new name. A
// key back under its old name with nothing under the new one counts as
// restored whatever it holds: Restore puts the values below it back after
// the key itself, so its content then differs from the moment of the move.
TUndoAction DecideKeyMoveUndo(const TUndoEntry& entry, const std::string& nowOld, const std::string& nowNew);

}  // namespace movix
