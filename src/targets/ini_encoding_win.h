// The system's ANSI code page for the INI encodings (targets/ini_encoding.h).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "targets/ini_encoding.h"

namespace movix {

// The legacy ANSI code page of the system, in which Windows reads an INI
// file without a mark.
const IniCodePage& AnsiIniCodePage();

// Any code page of the system by its number (not UTF-8: Utf8IniCodePage).
IniCodePage WindowsIniCodePage(unsigned codePage);

// EncodeIniText in that code page.
bool EncodeIniText(IniEncoding encoding, std::string_view text, std::string& out);

}  // namespace movix
