// INI files as a target: the search thread and the replacer.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/replace_groups.h"
#include "core/search_thread_win.h"
#include "targets/ini_encoding.h"

namespace movix {

// Reports every section header and key line of the INI files it walks that
// contains the search string (kind 1; sub-type 1 for a header, 6 for a key
// line). Mode 4 examines WIN.INI and then SYSTEM.INI of the Windows folder.
class TSearchINIThread : public TMovixFileThread {
  public:
    TSearchINIThread(int kind, const std::string& search, HWND progressLabel, TFoundEvent onFound, int mode);

  protected:
    void ProcessFile(const std::string& name) override;
    void SearchOwnList() override;
};

// Rewrites each group's file (Key, the full file name) through a temporary
// ".$$$" file of a fresh random name, changing only the lines of its
// outstanding hits (consumed from Hits as they are applied) and keeping every
// other byte, line ends and anything after a Ctrl-Z included, in the file's
// own encoding (without a mark, the ANSI code page unless the whole file is
// UTF-8; a New the code page cannot hold leaves the file as it is). The file
// stays closed to writers from its last check until it is then
// exchanged for the copy in one step, written through, with its attributes
// and access rules; the previous file stays as the first free backup name
// (".BAK", then "-1.BAK", "-2.BAK" ...). A file none of whose hits is found
// again, or that another program changes meanwhile, stays as it is. Shows
// each file name on `itemLabel` (may be null) and writes every action and
// failure to `log`. Runs on the UI thread and processes no messages.
void ReplaceIniFiles(std::vector<TReplaceGroup>& groups,
                     const std::string& oldAddr,
                     const std::string& newAddr,
                     HWND itemLabel,
                     const TLogLine& log);

// The same for one text file of any kind, its lines rewritten by what
// `makeRewrite` makes; `what` names the kind of file in the log ("INI
// file"); `choose`, when given, picks the file's code page from its bytes
// (the system's ANSI code page otherwise). `backupMade`, where given, gets
// the name the previous file was kept under when the file was rewritten.
void ReplaceTextFile(TReplaceGroup& group,
                     const std::string& oldAddr,
                     const std::string& newAddr,
                     HWND itemLabel,
                     const TLogLine& log,
                     const char* what,
                     const TMakeLineRewrite& makeRewrite,
                     const IniTextSource::ChooseFn& choose = {},
                     std::string* backupMade = nullptr);

// One INI file as ReplaceIniFiles rewrites it; returns the name of its
// backup, empty when the file was not rewritten.
std::string ReplaceIniFile(TReplaceGroup& group,
                           const std::string& oldAddr,
                           const std::string& newAddr,
                           HWND itemLabel,
                           const TLogLine& log);

}  // namespace movix
