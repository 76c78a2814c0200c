// The undo journal of a replacement run: what each target held before the
// run changed it, written line by line ahead of each change, so that a later
// Restore can put it back.
//
// The journal is plain UTF-8 text, one record a line, each line ended by LF:
//
//   MOVIX32-UNDO<TAB>2<TAB><nonce>[<TAB>machine]#<seal>
//   run<TAB><old address><TAB><new address><TAB><date><TAB><copy folder>#<seal>
//   ini-before<TAB><id><TAB><file><TAB><state>#<seal>
//   ...
//
// A service's field and a scheduled task are recorded by their texts:
// "service-before" (the service's name, the field, its state) and
// "service-after"; "task-before" (the task's path, the state of the fields
// the run rewrites, the task's definition as XML), a "task-field" line for
// each field with the text the run writes into it, and "task-after".
//
// A run that moved the program's folder for the user records the move
// first: "move-before" (Old, New, and "1" when a junction is left at Old)
// before the folder is touched, "move-after" with the digest of the tree
// at New once it is there. Restore takes "move-after" as the move's end;
// the digest only tells it whether the program wrote into its folder since,
// which does not keep the folder from going back. A move across volumes
// records its way in between, so that a run cut short is finished or
// undone: "move-copy" before the first file is copied (New's volume serial
// and file index, "1" when the move made New itself, the highest folder it
// made above New or nothing, the time), "move-copying" with the time every
// few seconds while it copies, and "move-aside" (the name Old is renamed to,
// Old's file index, the time) before Old is renamed aside: the point after
// which the copy at New is the program. Times are FILETIME counts. A
// Restore that finishes a move cut short after that point adds the move's
// "move-after" at the journal's end, sealed in its place.
//
// Fields are separated by tabs; a backslash, tab, CR or LF inside a field is
// written as \\, \t, \r or \n. Every line ends with '#' and its seal: a
// keyed MAC, with a key only the user who ran the replacement holds, of the
// line's number, the journal's nonce (a random text of its first line) and
// what stands before the '#'. Restore runs with the rights of whoever starts
// it, so a journal that anyone else wrote or changed must drive no write: a
// line is taken only with its seal, in its place, in its own journal. A run
// with administrator rights seals with a key of the machine's instead, which
// only administrators can read; its first line says so ("machine"), under
// that same seal.
//
// A crash can leave the last lines torn or unwritten: the first line that
// does not match its seal ends the journal there, and what follows is left
// out. A sealed line after it cannot come from a crash (the lines are
// written through in order): such a journal was changed and is refused. A
// record describing a target is written before the change ("-before") and
// completed after it ("-after", same id); a record whose "-after" is missing
// belongs to a run that ended while it was making that change.
//
// States: a file's is "-" when it does not exist, else "<size>:<digest>"; a
// Registry value's is "-" or "<type>:<hex of the data bytes>" (empty data has
// no hex digits); a key's is "-" or the digest of everything below it; a
// service field's is "-" when it cannot be read, else "=" and its text; a
// task's is its fields' states in order, each with its length before it
// ("4:=abc").
// Digests are made by the caller (a cryptographic hash: a state decides
// which bytes are put back).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace movix {

constexpr int kUndoJournalVersion = 2;
extern const char* const kUndoJournalMagic;  // "MOVIX32-UNDO"

// Whose key sealed a journal: the user's, or the machine's (an elevated run).
enum class TUndoKey { User, Machine };

enum class TUndoKind { Ini, Shortcut, Value, KeyMove, GroupItem, FolderMove, Service, Task };

// One changed target, as the journal records it.
struct TUndoEntry {
    TUndoKind Kind = TUndoKind::Ini;
    std::string Id;
    // Ini / Shortcut: the file. Value: the full key path. KeyMove: the full
    // path of the parent key. GroupItem: the group name. FolderMove: the
    // folder where the program was (Old).
    std::string Target;
    // Value: the value's name (empty: the default value). KeyMove: the old
    // subkey name. GroupItem: the item name.
    std::string Name;
    // KeyMove: the new subkey name. FolderMove: where it went (New).
    std::string NewName;
    // FolderMove: a junction was left at Old that leads to New.
    bool Junction = false;
    // FolderMove across volumes: how far the copy got, as recorded.
    struct TMoveTrail {
        bool CopyBegun = false;
        std::string Volume;          // New's volume serial number, as recorded
        std::string Index;           // New's file index
        bool MadeNew = false;        // the move made New (else New was an empty folder)
        std::string MadeFrom;        // the highest folder above New the move made, or empty
        std::uint64_t LastSign = 0;  // the latest time the run recorded while it moved
        std::string Aside;           // the name Old was to be renamed to; empty before that point
        std::string OldIndex;        // Old's file index, recorded with Aside
    };
    TMoveTrail Trail;
    std::string Before;                   // the state before (GroupItem: the line as received)
    std::string BeforeNew;                // KeyMove: the new name's state before
    std::optional<std::string> After;     // missing when the run did not record it (FolderMove: the tree's digest)
    std::optional<std::string> AfterNew;  // KeyMove
    // Ini: the backup's file name (known after). Shortcut: the copy's file
    // name. Task: the task's definition before, as XML.
    std::string Saved;
    // KeyMove: the values below the old key as they were: relative key path,
    // value name and value state, one triple a listing line. Task: the
    // fields the run rewrites: the action's number, the field, the text
    // written.
    struct TKeyValue {
        std::string Path, Name, State;
    };
    std::vector<TKeyValue> Listing;
};

struct TUndoJournal {
    int Version = 0;
    std::string Nonce;
    TUndoKey Key = TUndoKey::User;
    std::string OldAddress, NewAddress, Date;
    // The folder the run kept its copies in (made for the run alone).
    std::string CopyFolder;
    std::vector<TUndoEntry> Entries;  // in the order they were begun
    // Lines left out, with why ("line 7: checksum does not match").
    std::vector<std::string> Issues;
};

// The keyed MAC of a text, as hex digits (never holding '#'); the same key
// gives the same seal.
using TUndoSeal = std::function<std::string(std::string_view)>;

// Parses a journal, checking every line's seal. Returns nothing (and says
// why in `error`) when the text is not a journal of a version this program
// reads, when its first line was not sealed with `seal`'s key, or when it
// was changed after its run; otherwise every sound record before the first
// damaged line is kept, and every line left out is named in Issues.
std::optional<TUndoJournal> ParseUndoJournal(std::string_view text, const TUndoSeal& seal, std::string& error);

// Whose key the first line of a journal says sealed it, before any seal is
// checked (to choose the key to check it with); nothing when the text does
// not begin as a journal of this version.
std::optional<TUndoKey> UndoJournalKeyNamed(std::string_view text);

// Makes the lines of one journal, each sealed in its place: the header
// first, then the records in the order given.
class TUndoLineSealer {
  public:
    TUndoLineSealer(TUndoSeal seal, std::string nonce, TUndoKey key = TUndoKey::User)
        : seal_(std::move(seal)), nonce_(std::move(nonce)), key_(key) {}
    std::string Header();
    // One record from its fields (escaped, tab-joined, sealed, LF).
    std::string Line(const std::vector<std::string>& fields);

  private:
    TUndoSeal seal_;
    std::string nonce_;
    TUndoKey key_;
    int next_ = 1;
};

// A file's state: "<size>:<digest>".
std::string UndoFileState(std::uint64_t size, const std::string& digest);
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
