// Registry key paths as the program shows and stores them, and the text rules
// of Registry hits, apart from any Windows call.
//
// A full key path is a root's four-letter abbreviation followed by the key's
// path, each level introduced by a backslash (HKCU\Software\Acme); the bare
// abbreviation names the root itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/registry_key_path.h"

namespace movix {

struct TReplaceHit;

enum class TRegRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// "HKCR", "HKCU", "HKLM", "HKUS", "HKCC".
const char* RootAbbreviation(TRegRoot root);

// The root a full key path names, told by its fourth character as the
// replacer does ('R', 'U', 'M', 'S', 'C'); none for any other character or a
// path shorter than four characters.
std::optional<TRegRoot> RootByFourthCharacter(std::string_view fullPath);

// The key path of a full key path within its root, with its leading backslash
// ("\Software\Acme"); empty for the bare abbreviation.
std::string_view KeyPathWithinRoot(std::string_view fullPath);

// The full key path under HKLM or HKUS of a key's name as the Registry's
// keeper knows it ("\REGISTRY\MACHINE\SOFTWARE\Classes" gives
// "HKLM\SOFTWARE\Classes", "\REGISTRY\USER\S-1-5-21-1" "HKUS\S-1-5-21-1"),
// letters of the prefix in any case. None for a name elsewhere and for the
// two roots themselves, which never stand for a key reached another way.
std::optional<std::string> FullPathOfKernelName(std::string_view kernelName);

// The keys a Registry search passes over with everything below them. An entry
// names one key exactly by its full path: letters a to z compare without
// regard to case, nothing is a prefix match (HKLM\SOFTWARE does not cover
// HKLM\SOFTWARE2).
class TIgnoreList {
  public:
    TIgnoreList() = default;
    explicit TIgnoreList(const std::vector<std::string>& entries);
    bool Contains(std::string_view fullPath) const;
    bool Empty() const { return upper_.empty(); }

  private:
    std::unordered_set<std::string> upper_;
};

// Whether Windows reads the value `valueName` of the key `fullPath` as a
// command line, which the replacer rewrites so that the program keeps its
// arguments: every value of a Run or RunOnce key
// (...\Microsoft\Windows\CurrentVersion\Run, under any root, Wow6432Node
// too, and the policies' Explorer\Run), the default value of a shell verb's
// command key (...\shell\<verb>\command), an uninstall entry's
// UninstallString and QuietUninstallString, and a service's ImagePath
// (HKLM\SYSTEM\<control set>\Services\<name>; the replacer leaves a
// driver's, a file name, as it is). Letters a to z compare without regard
// to case.
bool IsCommandLineValue(std::string_view fullPath, std::string_view valueName);

// Whether the expandable texts of the key `fullPath` are read with the
// machine's variables only (MachineEnvironment): under HKLM, kept for every
// user, and under HKUS, another user's (the current user's own branch is
// searched and written as HKCU).
bool ReadWithMachineVariables(std::string_view fullPath);

// How a value's name shows in a hit's Context: the default value's empty
// name as "(default)", every other name as it is.
std::string ValueDisplayName(std::string_view valueName);

// The Context of a hit on a value's text: the shown name, "=", the text.
std::string ValueTextContext(std::string_view valueName, std::string_view text);

// A value-text hit taken apart: the value to write and the text it held.
struct TValueTextHit {
    std::string ValueName;
    std::string OldText;
};

// Takes apart the Text of a value-text hit. With the value's name carried
// beside it, the Text must be that name's Context form followed by the text;
// without, the name is what precedes the first "=" ("(default)=" standing for
// the empty name), which is ambiguous for names that hold "=" or are
// literally "(default)". None when the Text does not fit.
std::optional<TValueTextHit> SplitValueTextHit(const std::string& text, const std::optional<std::string>& valueName);

// The order in which a key's hits are applied: every value-text hit first,
// then the renames of values and subkeys, each set in list order. A value
// whose name and text both hold Old gives one hit of each; its text must be
// written while it still has its old name, and the rename then carries the
// new text to the new name (the other way round, the write would bring the
// old name back).
std::vector<std::size_t> RegistryHitOrder(const std::vector<TReplaceHit>& hits);

}  // namespace movix
