#include "targets/undo_states_win.h"

#include <algorithm>

#include "platform/wide_text_win.h"
#include "platform/handles.h"
#include "platform/seal_key_win.h"
#include "targets/registry_paths.h"
#include "platform/registry_win.h"
#include "targets/registry_root_win.h"
#include "targets/scheduled_tasks_win.h"
#include "targets/service_entries.h"
#include "targets/service_kinds_win.h"

namespace movix {

namespace {

// Everything below a key in one canonical text (names sorted, each value
// with its type and bytes), and the values as listing lines. The key is
// `path` below `parent`; each subkey opens below the key's open handle.
void DescribeTree(HKEY parent,
                  const std::string& path,
                  const std::string& rel,
                  std::string& canon,
                  std::vector<TUndoEntry::TKeyValue>* listing) {
    TRegistry reg(KEY_READ);
    reg.SetRootKey(parent);
    if (!reg.OpenKey(path, false)) {
        canon += "?\n";
        return;
    }
    std::vector<std::pair<std::string, std::string>> values;
    reg.ForEachValue([&](std::string_view name, DWORD type, const char* data, std::size_t size) {
        values.emplace_back(std::string(name), UndoValueState(type, std::string_view(data, size)));
        return true;
    });
    std::sort(values.begin(), values.end());
    for (const auto& v : values) {
        canon += "v " + v.first + "\t" + v.second + "\n";
        if (listing)
            listing->push_back({rel, v.first, v.second});
    }
    std::vector<std::string> keys = reg.GetKeyNames();
    std::sort(keys.begin(), keys.end());
    for (const std::string& k : keys) {
        canon += "k " + k + "\n{\n";
        DescribeTree(reg.CurrentKey(), k, Join(rel, k), canon, listing);
        canon += "}\n";
    }
}

}  // namespace

bool ReadWholeFile(const std::string& name, std::string& bytes) {
    FileHandle f(CreateFileW(WideFileName(name).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f)
        return false;
    bytes.clear();
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f.get(), buf, sizeof buf, &got, nullptr)) {
        if (got == 0)
            return true;
        bytes.append(buf, got);
    }
    return false;
}

std::string FileState(const std::string& name) {
    std::string bytes;
    if (ReadWholeFile(name, bytes))
        return UndoFileState(bytes.size(), Sha256Hex(bytes));
    return GetFileAttributesW(WideFileName(name).c_str()) == INVALID_FILE_ATTRIBUTES ? kUndoAbsent : "?";
}

bool SplitKeyPath(const std::string& full, KeyRef& ref) {
    const std::optional<TRegRoot> root = RootByFourthCharacter(full);
    if (!root)
        return false;
    ref.root = RootKeyOf(*root);
    ref.path = std::string(KeyPathWithinRoot(full));
    return true;
}

std::string Join(const std::string& path, const std::string& name) {
    return path.empty() ? name : path + "\\" + name;
}

std::string ValueState(const std::string& fullKey, const std::string& name) {
    KeyRef ref;
    if (!SplitKeyPath(fullKey, ref))
        return "?";
    TRegistry reg(KEY_READ);
    reg.SetRootKey(ref.root);
    if (!reg.OpenKey(ref.path, false) || !reg.ValueExists(name))
        return kUndoAbsent;
    try {
        const TRegRawValue v = reg.ReadRaw(name);
        return UndoValueState(v.Type, v.Bytes);
    } catch (const ERegistryException&) {
        return "?";
    }
}

std::string KeyState(const std::string& fullParent,
                     const std::string& name,
                     std::vector<TUndoEntry::TKeyValue>* listing) {
    KeyRef ref;
    if (!SplitKeyPath(fullParent, ref))
        return "?";
    const std::string path = Join(ref.path, name);
    TRegistry reg(KEY_READ);
    reg.SetRootKey(ref.root);
    if (!reg.KeyExists(path))
        return kUndoAbsent;
    std::string canon;
    DescribeTree(ref.root, path, "", canon, listing);
    return Sha256Hex(canon);
}

std::string ValueNameOf(const TReplaceHit& hit) {
    if (hit.ValueName)
        return *hit.ValueName;
    if (hit.SubType == 7)
        return hit.Text == "(default)" ? std::string() : hit.Text;
    const std::optional<TValueTextHit> split = SplitValueTextHit(hit.Text, std::nullopt);
    return split ? split->ValueName : std::string();
}

std::string TaskFieldsState(const std::string& taskPath, const std::vector<TUndoEntry::TKeyValue>& fields) {
    std::vector<std::optional<std::string>> texts;
    for (const TUndoEntry::TKeyValue& f : fields) {
        TReplaceHit numbered;
        numbered.ValueName = f.Path;
        const int action = TaskActionOf(numbered);
        texts.push_back(action > 0 ? ReadTaskField(taskPath, action, f.Name) : std::nullopt);
    }
    return FieldsState(texts);
}

}  // namespace movix
