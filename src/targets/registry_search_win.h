// The Registry as a search target.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "core/search_thread_win.h"
#include "targets/registry_paths.h"
#include "targets/registry_spellings.h"

namespace movix {

class TRegistry;

// Receives a Registry hit like TFoundEvent, with the name of the value it
// was found in (sub-types 7 to 9; the default value's name is empty; empty
// for a subkey name, sub-type 6). The Context alone cannot tell a value
// named "(default)" or one whose name holds "=" from another.
using TRegFoundEvent = std::function<void(const std::string& item,
                                          const std::string& path,
                                          const std::string& context,
                                          int kind,
                                          int subType,
                                          const std::string& valueName)>;

// This process's environment variables: what the Registry's expandable
// texts name for the program, and for the user it runs for.
TEnvironment ProcessEnvironment();

// Walks the Registry roots of its scope key by key and reports every subkey
// name (sub-type 6), value name (7) and REG_SZ / REG_EXPAND_SZ text (8 / 9)
// that holds the search string, with kind `kind` (4). Besides, each string
// of a REG_MULTI_SZ list that holds it is a hit of its own (10, Context the
// value's name, "=" and that string), and a REG_EXPAND_SZ text that names
// it through environment variables, expanded with this process's
// environment (under HKLM and HKUS with its machine variables only), is one hit (11, Context as for 9) apart from the
// hit on the text as it is.
//
// Scope, `mode`: HKCR and HKCU (5); then HKCC too, only on the Windows 95
// family (6); then HKLM and HKUS too (7). Roots come in that order, each
// walked whole; a key's values before its subkeys, a subkey's name before
// what is inside it. A key on `ignoreKeys` (full key paths, letters a to z
// without regard to case) is passed over with all below it; so is a key
// that does not open for reading, and a value that cannot be read. A subkey
// whose name has no UTF-8 form (it holds an unpaired surrogate) is listed
// as a hit when its name holds the search string, but not entered: it is
// counted as not read (NoteUnreadable). Keys are
// opened for reading only, so a user who may only read a branch (HKLM for
// a standard user) still has it searched.
//
// Each key the Registry holds is listed once, under one name:
// - A Registry link (HKLM\SYSTEM\CurrentControlSet, and on systems with
//   per-user classes HKCU\Software\Classes) is listed as a key of its own
//   but never entered: the key it points to is walked under its own name
//   (HKLM\SYSTEM\ControlSet001). Besides listing things twice, following
//   one could walk in a circle.
// - With mode 7 a key reached under HKLM or HKUS that is a root walked
//   before, or covered by one, is passed over with all below it, as an
//   ignore entry would be: HKLM\SOFTWARE\Classes (HKCR), the current user's
//   branch of HKUS (HKCU), the user's classes branch HKUS\<SID>_Classes
//   (which HKCR shows merged with the machine's), and the branch of HKLM
//   that HKCC is when HKCC was walked. The name kept is the earlier root's:
//   the one the user knows the key by, and the one the replacer writes
//   through, which for HKCR means the user's own key when the user has one
//   of that name and the machine's otherwise, as every program sees it.
class TSearchRegThread : public TMovixThread {
  public:
    TSearchRegThread(int kind,
                     const std::string& search,
                     HWND progressLabel,
                     TFoundEvent onFound,
                     std::vector<std::string> ignoreKeys,
                     int mode);

    // Optional, set before Resume: receives every hit in place of OnFound,
    // with the value's own name beside it.
    TRegFoundEvent OnFoundValue;

    const int Mode;
    const std::vector<std::string> IgnoreKeys;

  protected:
    void Execute() override;

    // The keys passed over with mode 7 as names of roots walked before them
    // (full key paths); what the Registry does not tell is left out.
    static std::vector<std::string> KeysWalkedUnderEarlierRoots(bool currentConfigWalked);

  private:
    void SearchRoot(HKEY root, const char* abbreviation);
    void SearchKey(HKEY parent, const std::string& keyName, const std::string& keyPath, int depth);
    void Report(int subType, const std::string& context, const std::string& valueName);
    void SearchMultiString(std::string_view name, std::string_view text);
    void SearchThroughVariables(std::string_view name, std::string_view text);

    TIgnoreList ignore_;
    std::string abbreviation_;
    std::string valueName_;  // of the hit being reported
    // Taken once per search: this user's variables, and the machine's only
    // (for HKLM and HKUS, ReadWithMachineVariables); the root's in hand.
    TEnvironment userEnvironment_;
    TEnvironment machineEnvironment_;
    const TEnvironment* environment_ = &userEnvironment_;
};

}  // namespace movix
