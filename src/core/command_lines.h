// Command lines as Windows reads them (a service's binary path, a Run value,
// a shell verb's command, a task's arguments): rewriting the Old address in
// one so that the program still receives the same arguments, with New in
// place of Old. The split is the one CommandLineToArgvW and the C runtime
// make: the program's name is taken up to its closing quote, or up to the
// first blank or tab, with no escapes; every later argument ends at a blank
// or tab outside quotes, 2n backslashes before a quote give n and the quote
// opens or closes, 2n+1 give n and a literal quote, and other backslashes
// are literal.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace movix {

enum class TCommandLineForm {
    WithProgram,    // a whole command line: its first token is the program's name
    ArgumentsOnly,  // arguments only (a task's Arguments beside its program)
};

// `line` with every occurrence of Old that ReplaceAllText rewrites replaced
// by New. Where New holds a blank or tab, an occurrence outside quotes
// would part its argument in two: the argument that holds it (the whole
// program name, or `--dir=C:\Old\data`) is put in quotes, with the
// backslashes before the closing quote doubled where the argument rules
// read them (never in the program's name, which has no escapes). An
// unquoted Old with a blank of its own went to the program in pieces: as
// the program's name it goes in quotes whole, as the system found it; in
// the arguments its pieces stay pieces.
// Backslashes at the end of New that come to stand before a quote are
// doubled too. Nothing is added inside quotes. Nothing (no value) when the
// line cannot keep its arguments: New holds a quote; the argument to be put
// in quotes holds a quote of its own already; or Old ends in a backslash
// that a quote after it reads as an escape. A line without Old comes back
// as it is.
std::optional<std::string> RewriteCommandLine(std::string_view line,
                                              std::string_view oldAddr,
                                              std::string_view newAddr,
                                              TCommandLineForm form);

// True when a blank or tab in New would make a difference to the text read
// as a command line (WithProgram): some occurrence of Old outside quotes is
// followed, after the rest of its argument, by a blank and more text
// (C:\Old\app.exe -x). For texts that are not known to be command lines,
// whose rows are flagged for review instead.
bool UnquotedFollowedByMore(std::string_view text, std::string_view oldAddr);

// Whether an address holds a blank or a tab, which a command line parts
// arguments at.
bool HoldsBlank(std::string_view address);

}  // namespace movix
