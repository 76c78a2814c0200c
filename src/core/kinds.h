// The kind code of each target and the sub-type codes of a hit: one set,
// shared by the searches, the replacers and the found items.
#pragma once

namespace movix {

// Kind codes of a hit; KindNone marks the "<none>" placeholder row.
constexpr int KindNone = -1;
constexpr int KindIni = 1;
constexpr int KindGrp = 2;
constexpr int KindLnk = 3;
constexpr int KindReg = 4;
constexpr int KindCfg = 5;
constexpr int KindSvc = 6;
constexpr int KindTsk = 7;
// One past the highest kind code: arrays indexed by kind code have this size.
constexpr int kKindSlots = 8;

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
// switch on the command line. Every kind has one entry, in the order the
// runs take the kinds.
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
// The kinds in run order.
extern const TKindNames kKindNames[];
extern const int kKindCount;
// The entry of a kind code, or null.
const TKindNames* KindNamesOf(int code);

}  // namespace movix
