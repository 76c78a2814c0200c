// The Registry as a search target.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/search_thread_win.h"
#include "targets/registry_paths.h"

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

// Walks the Registry roots of its scope key by key and reports every subkey
// name (sub-type 6), value name (7) and REG_SZ / REG_EXPAND_SZ text (8 / 9)
// that holds the search string, with kind `kind` (4).
//
// Scope, `mode`: HKCR and HKCU (5); then HKCC too, only on the Windows 95
// family (6); then HKLM and HKUS too (7). Roots come in that order, each
// walked whole; a key's values before its subkeys, a subkey's name before
// what is inside it. A key on `ignoreKeys` (full key paths, letters a to z
// without regard to case) is passed over with all below it; so is a key
// that does not open with full access, and a value that cannot be read.
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

  private:
    void SearchRoot(HKEY root, const char* abbreviation);
    void SearchKey(TRegistry& reg, const std::string& keyPath, int depth);
    void Report(int subType, const std::string& context, const std::string& valueName);

    TIgnoreList ignore_;
    std::string abbreviation_;
    std::string valueName_;  // of the hit being reported
};

}  // namespace movix
