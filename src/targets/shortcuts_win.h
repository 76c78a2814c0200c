// Shortcut files (.LNK) as a target: the search thread and the replacer.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/replace_groups.h"
#include "core/search_thread_win.h"

namespace movix {

// Reports each of the four fields of the shortcuts it walks (command line,
// arguments, working directory, icon location, in that order) that contains
// the search string: kind 3, the field's sub-type, the whole value as
// Context. The fields read are the ones stored in the file: the link is
// never resolved (resolving looks for a moved target and may hand back a
// guessed one) and never saved. A file that is no shortcut is passed over.
//
// Mode 4 searches the Desktop (its own files) and the Start Menu (the whole
// tree), then the same two folders for all users, each folder once; a folder
// the shell cannot locate is left out.
class TSearchLNKThread : public TMovixFileThread {
  public:
    TSearchLNKThread(int kind, const std::string& search, HWND progressLabel, TFoundEvent onFound, int mode);

  protected:
    // Initialises OLE for the thread around the walk.
    void Execute() override;
    void ProcessFile(const std::string& name) override;
    void SearchOwnList() override;
    // The folder of a CSIDL_ code; false when the shell cannot locate it.
    // Virtual as a test seam.
    virtual bool SpecialFolder(int csidl, std::string& folder);

  private:
    struct Reader;
    // One shell-link object loads every shortcut of the walk (making one
    // costs more than loading a file); it lives while Execute runs.
    Reader* reader_ = nullptr;
};

// Loads each group's shortcut (Key, the full file name), replaces the Old
// address in the fields named by its hits' sub-types, and saves it in place.
// Shows each file name on `itemLabel` (may be null) and lets pending window
// messages through once per shortcut; writes every action and failure to
// `log`. A new value the field cannot hold whole is not stored (an error
// line, the field as it was); a shortcut with no field stored is not saved.
// Runs on the UI thread. Writes nothing for an empty list.
void ReplaceShortcuts(std::vector<TReplaceGroup>& groups,
                      const std::string& oldAddr,
                      const std::string& newAddr,
                      HWND itemLabel,
                      const TLogLine& log);

}  // namespace movix
