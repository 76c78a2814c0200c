#include "targets/registry_replace_win.h"

#include <cstring>
#include <initializer_list>
#include <optional>
#include <map>
#include <set>
#include <utility>

#include "core/command_lines.h"
#include "core/strings.h"
#include "platform/wide_text_win.h"
#include "platform/handles.h"
#include "platform/locale_text_win.h"
#include "platform/message_pump_win.h"
#include "targets/registry_paths.h"
#include "targets/registry_search_win.h"
#include "targets/registry_spellings.h"
#include "platform/registry_win.h"
#include "targets/registry_root_win.h"

namespace movix {

HKEY OpenKeyOf(TRegistry& reg) {
    return reg.CurrentKey() != nullptr ? reg.CurrentKey() : reg.RootKey();
}

bool SubkeyPresent(HKEY parent, const std::wstring& name) {
    HKEY raw = nullptr;
    const LONG r = ::RegOpenKeyExW(parent, name.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &raw);
    const RegKey opened(r == ERROR_SUCCESS ? raw : nullptr);
    return r != ERROR_FILE_NOT_FOUND;
}

namespace {

// What a group's key is opened with: reading always (names are checked
// before they change, texts read again before they are written), setting
// values only for hits on values, making subkeys only for moves of subkeys.
// A key the user may not change in other ways still takes these changes.
REGSAM GroupAccess(const TReplaceGroup& group) {
    REGSAM access = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
    for (const TReplaceHit& hit : group.Hits) {
        if (hit.SubType == kSubTypeKey)
            access |= KEY_CREATE_SUB_KEY;
        else if (hit.SubType == kSubTypeValueName || hit.SubType == kSubTypeData || hit.SubType == kSubTypeExpandData ||
                 hit.SubType == kSubTypeMultiString || hit.SubType == kSubTypeEnvData)
            access |= KEY_SET_VALUE;
    }
    return access;
}

// Whether `name`, in UTF-8 as the search read it, may stand for a value
// (`values`) or subkey of `key` whose own name has no UTF-8 form. Such a name
// reads with U+FFFD in place of each unpaired surrogate, and that spelling
// names another value or key (one with a real U+FFFD), or none. Which of
// them the hit meant cannot be told, so neither is touched.
bool MayNameInexactOne(HKEY key, const std::string& name, bool values) {
    if (name.find(kReplacementCharUtf8) == std::string::npos)
        return false;
    for (const std::wstring& listed : WideNames(key, values))
        if (!ConvertsExactly(listed) && WideToUtf8(listed) == name)
            return true;
    return false;
}

// String data as the wide functions hold it: the text up to the first NUL,
// and every byte from that NUL on (more text, an odd last byte). Only the
// text is searched and rewritten; the rest goes back as it was. Data
// without a NUL gets one after the text.
struct StringData {
    std::wstring Text;
    std::string Rest;
};

StringData SplitStringData(const std::string& bytes) {
    StringData data;
    const std::size_t units = bytes.size() / sizeof(wchar_t);
    std::size_t i = 0;
    for (; i < units; ++i) {
        wchar_t c;
        std::memcpy(&c, bytes.data() + i * sizeof(wchar_t), sizeof(wchar_t));
        if (c == L'\0')
            break;
        data.Text.push_back(c);
    }
    data.Rest = i < units ? bytes.substr(i * sizeof(wchar_t))
                          : std::string(sizeof(wchar_t), '\0') + bytes.substr(units * sizeof(wchar_t));
    return data;
}

// Why a part of a list or text was left as it is, for the log.
const char* RefusalText(TRefusal why) {
    switch (why) {
        case TRefusal::NotExact:
            return "holds an unpaired surrogate";
        case TRefusal::Changed:
            return "has changed since the search";
        case TRefusal::NotWritable:
            return "cannot take the New address";
        case TRefusal::Inside:
            return "names the Old address inside a variable's value, which only the variable itself could change";
        case TRefusal::Overlap:
            return "overlaps another part that is rewritten";
        case TRefusal::Expansion:
            return "would not name the New address once rewritten";
    }
    return "cannot be rewritten";
}

// The value a spelling hit (sub-type 10 or 11) is in, from its Text and name.
std::optional<std::string> SpellingValueName(const TReplaceHit& hit) {
    const std::optional<TValueTextHit> parts = SplitValueTextHit(hit.Text, hit.ValueName);
    if (!parts)
        return std::nullopt;
    return parts->ValueName;
}

// ---- the replacement run ------------------------------------------------------

class GroupReplacer {
  public:
    GroupReplacer(TRegistry& reg,
                  const std::string& oldAddr,
                  const std::string& newAddr,
                  bool caseOnly,
                  const TLogLine& log)
        : reg_(reg),
          old_(oldAddr),
          new_(newAddr),
          caseOnly_(caseOnly),
          log_(log),
          userEnv_(ProcessEnvironment()),
          machineEnv_(MachineEnvironment(userEnv_)) {}

    // The group's hits, value texts before names. The hits on one value's
    // strings (10), and on one expandable text as it is (9) and through
    // variables (11), are applied together, at the first of them: each
    // rewrite reads the value again, which the one before would have changed.
    void ApplyGroup(const std::string& key, const std::vector<TReplaceHit>& hits) {
        key_ = &key;
        // The spelling hits of each value: its strings found, and whether
        // its text was found as it is and through variables.
        struct Spellings {
            std::vector<const TReplaceHit*> strings;
            bool literal = false;
            bool variables = false;
            bool done = false;
        };
        std::map<std::string, Spellings> byValue;
        for (const TReplaceHit& hit : hits) {
            if (hit.SubType != kSubTypeExpandData && hit.SubType != kSubTypeMultiString &&
                hit.SubType != kSubTypeEnvData)
                continue;
            const std::optional<std::string> name = SpellingValueName(hit);
            if (!name)
                continue;
            Spellings& s = byValue[*name];
            if (hit.SubType == kSubTypeMultiString)
                s.strings.push_back(&hit);
            s.literal = s.literal || hit.SubType == kSubTypeExpandData;
            s.variables = s.variables || hit.SubType == kSubTypeEnvData;
        }
        for (std::size_t i : RegistryHitOrder(hits)) {
            const TReplaceHit& hit = hits[i];
            const std::optional<std::string> name = hit.SubType == kSubTypeExpandData ||
                                                            hit.SubType == kSubTypeMultiString ||
                                                            hit.SubType == kSubTypeEnvData
                                                        ? SpellingValueName(hit)
                                                        : std::nullopt;
            const auto value = name ? byValue.find(*name) : byValue.end();
            // A text found only as it is is rewritten as before; a hit that
            // names no value is the plain replacer's to skip.
            if (value == byValue.end() || (hit.SubType == kSubTypeExpandData && !value->second.variables)) {
                Apply(key, hit);
                continue;
            }
            if (value->second.done)
                continue;
            value->second.done = true;
            if (hit.SubType == kSubTypeMultiString)
                MultiString(*name, value->second.strings);
            else
                ExpandableText(hit, value->second.literal, true);
        }
    }

    void Apply(const std::string& key, const TReplaceHit& hit) {
        key_ = &key;
        switch (hit.SubType) {
            case kSubTypeKey:
                Subkey(hit);
                break;
            case kSubTypeValueName:
                ValueName(hit);
                break;
            case kSubTypeData:
            case kSubTypeExpandData:
                ValueText(hit);
                break;
            default:
                break;
        }
    }

  private:
    std::string Replaced(std::string s) const {
        ReplaceAllText(s, old_, new_);
        return s;
    }

    void Lines(std::initializer_list<std::string> lines) {
        log_("KEY: " + *key_);
        for (const std::string& line : lines)
            log_(line);
    }

    void Subkey(const TReplaceHit& hit) {
        const std::string& oldName = hit.Text;
        const std::string newName = Replaced(oldName);
        const auto notChanged = [&](const std::string& problem) {
            Lines({"  old subkey: " + oldName, " NOT CHANGED: " + newName, problem});
        };
        const char* const exists =
            caseOnly_ ? " (key differs only in case - OK)" : "*****  PROBLEM - key already exists!";
        if (newName.find('\\') != std::string::npos) {
            notChanged("*****  PROBLEM - a key name cannot hold a backslash!");
            return;
        }
        if (MayNameInexactOne(OpenKeyOf(reg_), oldName, false)) {
            notChanged("*****  PROBLEM - the key's name holds an unpaired surrogate!");
            return;
        }
        if (SubkeyPresent(OpenKeyOf(reg_), Utf8ToWide(newName))) {
            notChanged(exists);
            return;
        }
        std::string refused;  // the key below the open one that stopped the move
        const TRenameOutcome outcome = MoveRegistryKey(reg_, oldName, newName, &refused);
        switch (outcome) {
            case TRenameOutcome::Done:
                Lines({"  old subkey: " + oldName, "  new subkey: " + newName});
                break;
            case TRenameOutcome::TargetExists:
                notChanged(exists);
                break;
            case TRenameOutcome::NotFound:
                notChanged("*****  PROBLEM - key not found or not accessible!");
                break;
            case TRenameOutcome::Incomplete:
                notChanged("*****  PROBLEM - a subkey below it is not accessible, key not moved!");
                break;
            case TRenameOutcome::InvalidName:
                notChanged("*****  PROBLEM - a key name cannot hold a backslash!");
                break;
            case TRenameOutcome::LinkInside:
                notChanged("*****  PROBLEM - " + *key_ + "\\" + refused + " is a Registry link, key not moved!");
                break;
            case TRenameOutcome::SecurityNotKept:
                notChanged("*****  PROBLEM - the security of " + *key_ + "\\" + refused +
                           " could not be kept, key not moved!");
                break;
            case TRenameOutcome::OldRemains:
                Lines({"  old subkey: " + oldName, "  new subkey: " + newName,
                       "*****  PROBLEM - old key could not be deleted!"});
                break;
        }
        // A refused move removes what it had begun to copy; should some of
        // it stay, the user is told where.
        if ((outcome == TRenameOutcome::Incomplete || outcome == TRenameOutcome::LinkInside ||
             outcome == TRenameOutcome::SecurityNotKept) &&
            SubkeyPresent(OpenKeyOf(reg_), Utf8ToWide(newName)))
            log_("*****  PROBLEM - the partial copy " + *key_ + "\\" + newName + " could not be removed!");
    }

    void ValueName(const TReplaceHit& hit) {
        const std::string oldName = hit.ValueName ? *hit.ValueName : hit.Text;
        const std::string newName = Replaced(oldName);
        const auto notChanged = [&](const char* problem) {
            Lines({"   old value: " + hit.Text, " NOT CHANGED: " + newName, problem});
        };
        const char* const exists =
            caseOnly_ ? " (value differs only in case - OK)" : "*****  PROBLEM - value already exists!";
        if (MayNameInexactOne(OpenKeyOf(reg_), oldName, true)) {
            notChanged("*****  PROBLEM - the value's name holds an unpaired surrogate!");
            return;
        }
        if (reg_.ValueExists(newName)) {
            notChanged(exists);
            return;
        }
        switch (RenameRegistryValue(reg_, oldName, newName)) {
            case TRenameOutcome::Done:
                Lines({"  old value: " + hit.Text, "  new value: " + newName});
                break;
            case TRenameOutcome::TargetExists:
                notChanged(exists);
                break;
            case TRenameOutcome::NotFound:
            case TRenameOutcome::Incomplete:
            case TRenameOutcome::InvalidName:
            case TRenameOutcome::LinkInside:
            case TRenameOutcome::SecurityNotKept:
                notChanged("*****  PROBLEM - value not found!");
                break;
            case TRenameOutcome::OldRemains:
                Lines({"  old value: " + hit.Text, "  new value: " + newName,
                       "*****  PROBLEM - old value could not be deleted!"});
                break;
        }
    }

    void ValueText(const TReplaceHit& hit) {
        const std::optional<TValueTextHit> parts = SplitValueTextHit(hit.Text, hit.ValueName);
        if (!parts)
            return;
        const std::string value = "***** Value '" + ValueDisplayName(parts->ValueName) + "' of key " + *key_;
        if (MayNameInexactOne(OpenKeyOf(reg_), parts->ValueName, true)) {
            log_(value + " has an unpaired surrogate in its name, not updated");
            return;
        }
        // Another program may have changed the value since the search; the
        // text found, with Old replaced, must not overwrite what it holds now.
        const DWORD expected = hit.SubType == kSubTypeData ? REG_SZ : REG_EXPAND_SZ;
        TRegRawValue data;
        try {
            if (!reg_.ValueExists(parts->ValueName)) {
                log_(value + " no longer exists, not updated");
                return;
            }
            data = reg_.ReadRaw(parts->ValueName);
        } catch (const ERegistryException&) {
            log_(value + " could not be read, not updated");
            return;
        }
        const StringData text = SplitStringData(data.Bytes);
        if (data.Type != expected || WideToUtf8(text.Text) != parts->OldText) {
            log_(value + " has changed since the search, not updated");
            return;
        }
        // In UTF-8 the text has U+FFFD for each unpaired surrogate: written
        // back, it would lose them.
        if (!ConvertsExactly(text.Text)) {
            log_(value + " holds an unpaired surrogate in its text, not updated");
            return;
        }
        std::string newText = Replaced(parts->OldText);
        // What Windows starts a program by must give it the same arguments:
        // a New with a blank goes in quotes there.
        if (IsCommandLineValue(*key_, parts->ValueName) && !DriverImagePath(parts->ValueName)) {
            const std::optional<std::string> quoted =
                RewriteCommandLine(parts->OldText, old_, new_, TCommandLineForm::WithProgram);
            if (!quoted) {
                log_(value +
                     " is a command line that cannot name the New address with its arguments kept as they are, "
                     "not updated");
                return;
            }
            newText = *quoted;
        }
        const std::wstring wide = Utf8ToWide(newText);
        data.Bytes = std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t)) + text.Rest;
        try {
            reg_.WriteRaw(parts->ValueName, data);
        } catch (const ERegistryException&) {
            log_(value + " could not be written, not updated");
            return;
        }
        Lines({"   old data: " + hit.Text, "   new data: " + newText});
    }

    // Whether the value is the ImagePath of a driver (the key's Type says
    // so): the file the kernel loads, read whole, not a command line.
    bool DriverImagePath(const std::string& name) {
        if (UpperAscii(name) != "IMAGEPATH")
            return false;
        try {
            if (!reg_.ValueExists("Type"))
                return false;
            const TRegRawValue type = reg_.ReadRaw("Type");
            DWORD code = 0;
            if (type.Type != REG_DWORD || type.Bytes.size() != sizeof code)
                return false;
            std::memcpy(&code, type.Bytes.data(), sizeof code);
            return (code & (SERVICE_KERNEL_DRIVER | SERVICE_FILE_SYSTEM_DRIVER)) != 0;
        } catch (const ERegistryException&) {
            return false;
        }
    }

    // The value's data as it is now, when it is still of `type`; a "*****"
    // line otherwise.
    std::optional<TRegRawValue> ReadAgain(const std::string& name, DWORD type, const std::string& value) {
        if (MayNameInexactOne(OpenKeyOf(reg_), name, true)) {
            log_(value + " has an unpaired surrogate in its name, not updated");
            return std::nullopt;
        }
        TRegRawValue data;
        try {
            if (!reg_.ValueExists(name)) {
                log_(value + " no longer exists, not updated");
                return std::nullopt;
            }
            data = reg_.ReadRaw(name);
        } catch (const ERegistryException&) {
            log_(value + " could not be read, not updated");
            return std::nullopt;
        }
        if (data.Type != type) {
            log_(value + " has changed since the search, not updated");
            return std::nullopt;
        }
        return data;
    }

    bool WriteAgain(const std::string& name, const TRegRawValue& data, const std::string& value) {
        try {
            reg_.WriteRaw(name, data);
            return true;
        } catch (const ERegistryException&) {
            log_(value + " could not be written, not updated");
            return false;
        }
    }

    // The strings of a REG_MULTI_SZ list that the hits on it found, each
    // where the list still has it; every other string, the NULs and any odd
    // last byte stay as they are. Strings of the same text are one: what
    // was found of one is found of each.
    void MultiString(const std::string& name, const std::vector<const TReplaceHit*>& hits) {
        std::set<std::string> texts;
        for (const TReplaceHit* hit : hits)
            texts.insert(SplitValueTextHit(hit->Text, hit->ValueName)->OldText);
        const std::string value = "***** Value '" + ValueDisplayName(name) + "' of key " + *key_;
        std::optional<TRegRawValue> data = ReadAgain(name, REG_MULTI_SZ, value);
        if (!data)
            return;
        std::vector<TMultiStringHit> wanted;
        for (TMultiStringHit& hit : FindInMultiString(data->Bytes, old_))
            if (texts.count(hit.Text) != 0)
                wanted.push_back(std::move(hit));
        for (const std::string& text : texts) {
            bool there = false;
            for (const TMultiStringHit& hit : wanted)
                there = there || hit.Text == text;
            if (!there)
                log_(value + ": the string '" + text + "' " + RefusalText(TRefusal::Changed) + ", not updated");
        }
        const TMultiStringRewrite rewrite = RewriteMultiString(data->Bytes, old_, new_, wanted);
        for (const auto& [index, why] : rewrite.Refused)
            for (const TMultiStringHit& hit : wanted)
                if (hit.Index == index)
                    log_(value + ": the string '" + hit.Text + "' " + RefusalText(why) + ", not updated");
        if (rewrite.Rewritten.empty())
            return;
        data->Bytes = rewrite.Data;
        if (!WriteAgain(name, *data, value))
            return;
        for (std::size_t index : rewrite.Rewritten)
            for (const TMultiStringHit& hit : wanted)
                if (hit.Index == index)
                    Lines({"   old data: " + ValueTextContext(name, hit.Text), "   new data: " + Replaced(hit.Text)});
    }

    // A REG_EXPAND_SZ text: Old as it is (`literal`) and through variables
    // (`variables`), a variable kept where New still lies in its folder.
    // Parts that cannot be rewritten so that the text names New are left
    // as they are, each with a "*****" line.
    void ExpandableText(const TReplaceHit& hit, bool literal, bool variables) {
        const std::optional<TValueTextHit> parts = SplitValueTextHit(hit.Text, hit.ValueName);
        if (!parts)
            return;
        const std::string value = "***** Value '" + ValueDisplayName(parts->ValueName) + "' of key " + *key_;
        std::optional<TRegRawValue> data = ReadAgain(parts->ValueName, REG_EXPAND_SZ, value);
        if (!data)
            return;
        const StringData text = SplitStringData(data->Bytes);
        if (WideToUtf8(text.Text) != parts->OldText) {
            log_(value + " has changed since the search, not updated");
            return;
        }
        if (!ConvertsExactly(text.Text)) {
            log_(value + " holds an unpaired surrogate in its text, not updated");
            return;
        }
        // As the search read it: the machine's variables only where the
        // text is kept for every user or for another.
        const TEnvironment& env = ReadWithMachineVariables(*key_) ? machineEnv_ : userEnv_;
        const TExpandRewrite rewrite = RewriteExpandText(parts->OldText, old_, new_, env, literal, variables);
        for (const auto& [part, why] : rewrite.Refused)
            log_(value + ": " + parts->OldText.substr(part.Begin, part.End - part.Begin) + " " + RefusalText(why) +
                 ", not updated");
        if (rewrite.Applied.empty())
            return;
        const std::wstring wide = Utf8ToWide(rewrite.Text);
        data->Bytes =
            std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t)) + text.Rest;
        if (WriteAgain(parts->ValueName, *data, value))
            Lines({"   old data: " + hit.Text, "   new data: " + rewrite.Text});
    }

    TRegistry& reg_;
    const std::string& old_;
    const std::string& new_;
    const bool caseOnly_;
    const TLogLine& log_;
    const TEnvironment userEnv_;
    const TEnvironment machineEnv_;
    const std::string* key_ = nullptr;
};

}  // namespace

TRenameOutcome RenameRegistryValue(TRegistry& reg, const std::string& oldName, const std::string& newName) {
    if (!reg.ValueExists(oldName))
        return TRenameOutcome::NotFound;
    if (reg.ValueExists(newName))
        return TRenameOutcome::TargetExists;
    const TRegRawValue value = reg.ReadRaw(oldName);
    reg.WriteRaw(newName, value);
    return reg.DeleteValue(oldName) ? TRenameOutcome::Done : TRenameOutcome::OldRemains;
}

void ReplaceRegistry(std::vector<TReplaceGroup>& groups,
                     const std::string& oldAddr,
                     const std::string& newAddr,
                     HWND itemLabel,
                     const TLogLine& log,
                     bool withHead) {
    if (groups.empty())
        return;
    if (withHead) {
        log("");
        log("Updating Registry");
    }
    const bool caseOnly = CompareLocale(oldAddr, newAddr, true) == CSTR_EQUAL;
    TRegistry reg;
    GroupReplacer replacer(reg, oldAddr, newAddr, caseOnly, log);
    // Last to first: descending key paths, so a key's own hits come before
    // the hit in its parent's group that moves it.
    for (auto group = groups.rbegin(); group != groups.rend(); ++group) {
        if (itemLabel != nullptr)
            SetWindowTextUtf8(itemLabel, group->Key);
        ProcessPendingWindowMessages();

        const std::optional<TRegRoot> root = RootByFourthCharacter(group->Key);
        bool opened = false;
        if (root) {
            reg.SetRootKey(RootKeyOf(*root));
            reg.SetAccess(GroupAccess(*group));
            // A leading backslash counts from the root; the bare backslash is
            // the root itself, never the key left open by the group before.
            const std::string_view path = KeyPathWithinRoot(group->Key);
            opened =
                reg.OpenKey(path.empty() ? std::string("\\") : "\\" + std::string(path.substr(path[0] == '\\')), false);
        }
        if (!opened) {
            log("***** Could not open key " + group->Key);
            continue;
        }
        replacer.ApplyGroup(group->Key, group->Hits);
    }
}

}  // namespace movix
