// The kind code of each target and the sub-type codes of a hit: one set,
// shared by the searches, the replacers and the found items.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/replace_groups.h"

namespace movix {

struct TFoundItem;

// Kind codes of a hit; KindNone marks the "<none>" placeholder row.
constexpr int KindNone = -1;
constexpr int KindIni = 1;
constexpr int KindGrp = 2;
constexpr int KindLnk = 3;
constexpr int KindReg = 4;
constexpr int KindCfg = 5;
constexpr int KindSvc = 6;
constexpr int KindTsk = 7;

// Sub-type codes of a hit.
constexpr int kSubTypeSection = 1;
constexpr int kSubTypeCommand = 2;
constexpr int kSubTypeIcon = 3;
constexpr int kSubTypeDir = 4;
constexpr int kSubTypeArgs = 5;
constexpr int kSubTypeKey = 6;
constexpr int kSubTypeValueName = 7;
constexpr int kSubTypeData = 8;
constexpr int kSubTypeExpandData = 9;
// A string of a REG_MULTI_SZ list ("msz"), and a REG_EXPAND_SZ text that
// names Old through an environment variable ("env").
constexpr int kSubTypeMultiString = 10;
constexpr int kSubTypeEnvData = 11;
// Configuration-file hits, by the spelling the line holds the Old address
// in (the order of TSpelling: plain, slash, json, xml, url).
constexpr int kSubTypeSpellingFirst = 12;
constexpr int kSubTypeSpellingLast = 16;
// Service hits: the binary path with its arguments, the description.
constexpr int kSubTypeServiceCommand = 20;
constexpr int kSubTypeServiceDescription = 21;
// Scheduled-task hits, by the field of the exec action: program,
// arguments, working folder.
constexpr int kSubTypeTaskProgram = 25;
constexpr int kSubTypeTaskArguments = 26;
constexpr int kSubTypeTaskFolder = 27;

// What the log, the console and the pages call one kind of target, and its
// switch on the command line.
struct TKindNames {
    int Code;
    const char* Type;     // the found list's Type column: "INI"
    const char* Title;    // "INI files", "the Registry": "Searching INI files"
    const char* Short;    // "INI files", "Registry": "Registry: 2 keys could not be read"
    const char* Target;   // one target, in the replacement's log: "INI file", "Registry key"
    const char* Counted;  // the results page: "12 matches in INI files"
    const char* NoneSearched;  // the results page: "No INI files searched"
    const char* Switch;   // "ini": /ini:N
    int Items;            // the items of its option page's radio group
    // What each item searches, as the console says it ("the Windows folder"); item 0 is "".
    const char* const* Scopes;
    const char* Setting;  // the value under the settings key that keeps the choice
    int DefaultItem;      // the choice before one was saved
};

// Everything about one kind of target that needs no window: its names, what
// its option's items mean to its search, the help of its rows, and what
// makes a found row one target and one hit within it. Each kind's folder
// (targets/<kind>/) defines one and registers it with MOVIX_REGISTER_KIND;
// the pages, the console, the runs and the found list go over Kinds() and
// never name a kind.
class TKindInfo {
  public:
    explicit TKindInfo(const TKindNames& names) : names_(names) {}
    virtual ~TKindInfo() = default;
    TKindInfo(const TKindInfo&) = delete;
    TKindInfo& operator=(const TKindInfo&) = delete;

    int Code() const { return names_.Code; }
    const TKindNames& Names() const { return names_; }

    // The walk mode or scope its search takes for an item of its option
    // (-1: the kind is left out). By default item 0, and no item selected,
    // leave it out; every other item searches all of it (mode 0).
    virtual int ModeForItem(int item) const { return item > 0 ? 0 : -1; }
    // The item its option starts with on a platform (PlatformCode), from
    // the saved or default one: what the platform lacks is not searched.
    virtual int ItemOnPlatform(int item, int platformCode) const {
        (void)platformCode;
        return item;
    }
    // The help context of a row of this kind by its sub-type; 0 for the
    // found list's own.
    virtual int HelpContext(int subType) const {
        (void)subType;
        return 0;
    }
    // The target a row belongs to (the rows of one target are replaced as
    // one group), and the hit it is within that target.
    virtual std::string TargetKey(const TFoundItem& row) const;
    virtual TReplaceHit HitOf(const TFoundItem& row) const;
    // Flags a new row for review (TFoundItem::MaybeLonger, UnquotedBlank);
    // `oldUpper` is the Old address as UpperText gives it (empty: no flag),
    // `newAddr` the New address. By default Old may begin a longer name
    // where the Context says so (MaybeLongerName).
    virtual void JudgeRow(TFoundItem& row, std::string_view oldUpper, std::string_view newAddr) const;
    // Whether its rows name files by Path and Item (which go with the
    // program's folder when it is moved).
    virtual bool NamesFiles() const { return false; }

  private:
    const TKindNames& names_;
};

// The registered kinds, by code (which is their run order).
const std::vector<const TKindInfo*>& Kinds();
// The kind of a code, or null.
const TKindInfo* FindKind(int code);
// The names of a kind code, or null.
const TKindNames* KindNamesOf(int code);

// A kind's place in Kinds() for as long as it lives; a kind whose code is
// taken is not registered.
class TKindRegistration {
  public:
    explicit TKindRegistration(const TKindInfo& kind);
    ~TKindRegistration();
    TKindRegistration(const TKindRegistration&) = delete;
    TKindRegistration& operator=(const TKindRegistration&) = delete;

  private:
    const TKindInfo* kind_;
};

}  // namespace movix

// The one line at the end of a kind's source that registers it.
#define MOVIX_REGISTER_KIND(Class)                                           \
    namespace {                                                              \
    const Class kKind##Class;                                                \
    const ::movix::TKindRegistration kKindRegistration##Class(kKind##Class); \
    }
