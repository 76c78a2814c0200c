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
// the shell cannot locate is left out. Modes 2 and 3 walk the same four
// folders as whole trees after their own walk, wherever they lie (through a
// link, on another drive), each folder and each shortcut once.
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
    // The Desktop, the Start Menu and the same for all users; the Desktops
    // without their subfolders unless `wholeTrees`.
    void SearchSpecialFolders(bool wholeTrees);

    struct Reader;
    // One shell-link object loads every shortcut of the walk (making one
    // costs more than loading a file); it lives while Execute runs.
    Reader* reader_ = nullptr;
};

// Loads each group's shortcut (Key, the full file name), replaces the Old
// address in the fields named by its hits' sub-types, and saves it under its
// name: written to a new file beside it that takes its place in one exchange,
// keeping its attributes and access rules, and only while the name still
// holds the very file loaded (never a link, nor another file put there).
// Shows each file name on `itemLabel` (may be null) and lets pending window
// messages through once per shortcut; writes every action and failure to
// `log`. A new value the field cannot hold whole is not stored (an error
// line, the field as it was, and an error line in place of the success
// line); a shortcut with no field stored is not saved.
// Runs on the UI thread. Writes nothing for an empty list.
void ReplaceShortcuts(std::vector<TReplaceGroup>& groups,
                      const std::string& oldAddr,
                      const std::string& newAddr,
                      HWND itemLabel,
                      const TLogLine& log);

}  // namespace movix
