// What several kinds' descriptors share about their found rows.
#pragma once

#include <string>

#include "core/found_items.h"
#include "core/replace_groups.h"
#include "core/strings.h"

namespace movix {

// The full file name of a row that names a file: Path, a backslash unless
// Path ends with one, Item.
inline std::string FileOfRow(const TFoundItem& row) {
    if (!row.Path.empty() && row.Path.back() == '\\')
        return row.Path + row.Item;
    return row.Path + "\\" + row.Item;
}

// The row's Context upper-cased (ASCII letters only), as the replacers of
// INI lines and shortcut fields compare it.
inline TReplaceHit UpperHit(const TFoundItem& row) {
    TReplaceHit hit;
    hit.Text = UpperAscii(row.Context);
    hit.SubType = row.SubType;
    return hit;
}

}  // namespace movix
