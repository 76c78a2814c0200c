// Configuration files as a target: the search thread and the replacer. The
// rules that need no Windows call are in config_files.h.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/path_spellings.h"
#include "core/replace_groups.h"
#include "core/search_thread_win.h"
#include "targets/ini_encoding.h"

namespace movix {

// Walk modes of the configuration-file search, as its option's items map
// them (IniWalkModeForItem and the like). Mode 3, all fixed drives, is the
// file walk's own.
constexpr int kConfigNewFolder = 5;     // the New folder
constexpr int kConfigDataFolders = 6;   // and this user's AppData and ProgramData
constexpr int kConfigEveryProfile = 7;  // and every user profile's AppData

// Reports every line of the configuration files it walks that names the
// search string in any spelling (kind 5; the sub-type is the spelling of
// the line's first occurrence), with the line as its Context. Files of the
// `types` only; an .ini file the INI search of the same run examines
// (`iniMode`, its walk mode, or -1) is left to it. Files over
// kConfigFileLimit and binary files are passed over and counted.
class TSearchConfigThread : public TMovixFileThread {
  public:
    TSearchConfigThread(int kind,
                        const std::string& search,
                        const std::string& newFolder,
                        HWND progressLabel,
                        TFoundEvent onFound,
                        int mode,
                        int iniMode,
                        std::vector<std::string> types);

  protected:
    void Execute() override;
    void ProcessFile(const std::string& name) override;
    bool WantsFile(const std::string& name) const override;

  private:
    // Whether the INI search of this run examines the file Path\name.
    bool IniSearchTakes(const std::string& name) const;
    void WalkDataFolders(bool everyProfile);

    const std::string search_;
    const std::string newFolder_;
    const int iniMode_;
    const std::vector<std::string> types_;
    const TSpelledPrefilter prefilter_;
    int tooLarge_ = 0, binary_ = 0;
    std::string bytes_;  // the file in hand, reused
};

// The code page a configuration file named `name` is read and written in,
// judged from its type and its bytes (an XML file's declaration): JSON,
// YAML and TOML are UTF-8, a batch file is in the OEM code page, and so on
// (targets/config_syntax.h).
IniCodePage ConfigCodePage(const std::string& name, std::string_view bytes);

// Rewrites one configuration file as ReplaceIniFiles rewrites an INI file
// (its encoding, line ends and every other byte kept, a backup beside it),
// each hit's line with Old rewritten in its own spelling, as the file's
// syntax needs. Returns the name of its backup, empty when the file was not
// rewritten.
std::string ReplaceConfigFile(TReplaceGroup& group,
                              const std::string& oldAddr,
                              const std::string& newAddr,
                              HWND itemLabel,
                              const TLogLine& log);

}  // namespace movix
