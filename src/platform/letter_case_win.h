// Letter case as Windows compares file names: the system's own upper-casing
// of UTF-16, for every script, never a table of the program's making.
#pragma once

namespace movix {

// The capital of one Unicode code point, or the code point itself where it
// has none. Locale-independent (the invariant locale), so that Turkish i and
// I pair as the file system pairs them, whatever the user's locale.
char32_t SystemUpperCase(char32_t code);

}  // namespace movix
