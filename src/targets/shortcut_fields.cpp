#include "targets/shortcut_fields.h"

#include "core/strings.h"

namespace movix {

const ShortcutField kShortcutFields[4] = {
    {kSubTypeCommand, "     command line: ", "command line"},
    {kSubTypeArgs, "        arguments: ", "arguments"},
    {kSubTypeDir, "      working dir: ", "working directory"},
    {kSubTypeIcon, "    icon location: ", "icon location"},
};

const ShortcutField* FindShortcutField(int subType) {
    for (const ShortcutField& field : kShortcutFields)
        if (field.SubType == subType)
            return &field;
    return nullptr;
}

std::size_t Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = 1;
        if (lead >= 0xF0 && lead <= 0xF4)
            length = 4;
        else if (lead >= 0xE0)
            length = lead <= 0xEF ? 3 : 1;
        else if (lead >= 0xC2)
            length = 2;
        // A sequence cut short or with a stray byte counts byte by byte, as
        // each such byte becomes one replacement character.
        bool whole = i + length <= utf8.size();
        for (std::size_t k = 1; whole && k < length; ++k)
            whole = (static_cast<unsigned char>(utf8[i + k]) & 0xC0) == 0x80;
        if (!whole)
            length = 1;
        units += length == 4 ? 2 : 1;
        i += length;
    }
    return units;
}

FieldRewrite RewriteShortcutField(std::string_view value, std::string_view oldAddr, std::string_view newAddr) {
    FieldRewrite result;
    result.Value.assign(value.data(), value.size());
    ReplaceAllText(result.Value, oldAddr, newAddr);
    result.Fits = Utf16Length(result.Value) < kShortcutFieldChars;
    return result;
}

std::string TooLongLine(const ShortcutField& field, const std::string& file, std::string_view value) {
    return "***** New " + std::string(field.Name) + " of " + file + " too long (" + std::to_string(Utf16Length(value)) +
           " characters, at most " + std::to_string(kShortcutFieldChars - 1) + "): left unchanged";
}

std::string PartlyUpdatedLine(const std::string& file, int leftAlone) {
    return "***** Partly updated " + file + ": " + std::to_string(leftAlone) +
           (leftAlone == 1 ? " field" : " fields") + " left unchanged";
}

}  // namespace movix
