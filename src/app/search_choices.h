// What the option pages' item indexes ask of the search run: the walk mode of
// each file search and the scope of the Registry search. Shared by the
// wizard's pages and the unattended switches, so that one choice means the
// same search in both.
#pragma once

namespace movix {

// The walk mode of the INI search for rgIniFiles' item; -1 for item 0 (no
// INI files searched).
int IniWalkModeForItem(int index);
// The walk mode of the shortcut search for rgShortcuts' item; -1 for item 0.
int ShortcutWalkModeForItem(int index);
// The Registry scope for rgRegistry's item (5: HKCR and HKCU; 6: with HKCC;
// 7: every root); -1 for item 0.
int RegistryScopeForItem(int index);
// The walk mode of the configuration-file search for rgConfigs' item; -1
// for item 0.
int ConfigWalkModeForItem(int index);

}  // namespace movix
