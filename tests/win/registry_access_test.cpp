// The Registry accessor against the real Registry under Wine: every
// operation, its path rules and each of its error messages, the failures
// made to happen for real where the Registry can be made to fail.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "registry_test_support_win.h"
#include "platform/registry_win.h"

using namespace movix;
using namespace movix_test;

namespace {

// The message of the ERegistryException that `f` raises, or "<none>".
template <typename F>
std::string RaisedMessage(F f) {
    try {
        f();
    } catch (const ERegistryException& e) {
        return e.what();
    }
    return "<none>";
}

class RegistryAccessTest : public ::testing::Test {
  protected:
    void TearDown() override { SetRegistryFaultHookForTest(nullptr); }
};

}  // namespace

TEST_F(RegistryAccessTest, Accessor_StartsOnCurrentUserWithNoKeyOpen) {
    TRegistry reg;
    EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
    EXPECT_EQ(reg.CurrentKey(), nullptr);
    EXPECT_EQ(reg.CurrentPath(), "");
}

TEST_F(RegistryAccessTest, Accessor_PathRulesCountFromRootOrFromOpenKey) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    SetSz(HKEY_CURRENT_USER, k / "A\\B", "where", "B");
    SetSz(HKEY_CURRENT_USER, k / "A", "where", "A");
    SetSz(HKEY_CURRENT_USER, k.Path(), "where", "top");

    TRegistry reg;
    // With no key open, a relative path counts from the root.
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    EXPECT_EQ(reg.CurrentPath(), k.Path());
    EXPECT_EQ(reg.ReadString("where"), "top");
    // Relative to the open key.
    ASSERT_TRUE(reg.OpenKey("A", false));
    EXPECT_EQ(reg.CurrentPath(), k / "A");
    EXPECT_EQ(reg.ReadString("where"), "A");
    // The empty path is the open key again.
    ASSERT_TRUE(reg.OpenKey("", false));
    EXPECT_EQ(reg.ReadString("where"), "A");
    // A leading backslash counts from the root, whatever is open.
    ASSERT_TRUE(reg.OpenKey("\\" + k.Path() + "\\A\\B", false));
    EXPECT_EQ(reg.CurrentPath(), k / "A\\B");
    EXPECT_EQ(reg.ReadString("where"), "B");
    // A failed open leaves the open key open.
    EXPECT_FALSE(reg.OpenKey("Missing", false));
    EXPECT_FALSE(reg.OpenKey("\\" + k.Path() + "\\Missing", false));
    EXPECT_EQ(reg.CurrentPath(), k / "A\\B");
    EXPECT_EQ(reg.ReadString("where"), "B");
    // Relative to the open key, the root's own path is not found.
    EXPECT_FALSE(reg.OpenKey(k.Path(), false));
    // The bare backslash is the root itself.
    ASSERT_TRUE(reg.OpenKey("\\", false));
    EXPECT_EQ(reg.CurrentPath(), "");
    EXPECT_TRUE(reg.KeyExists("Software"));
    // Switching roots closes the open key.
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(reg.CurrentKey(), nullptr);
    EXPECT_EQ(reg.RootKey(), HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(reg.KeyExists(k.Path()));  // not under HKLM
    EXPECT_TRUE(reg.KeyExists("Software"));
}

TEST_F(RegistryAccessTest, Accessor_FreshAccessorOpensTheRootForTheEmptyPath) {
    TRegistry reg;
    reg.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(reg.OpenKey("", false));
    EXPECT_NE(reg.CurrentKey(), nullptr);
    EXPECT_EQ(reg.CurrentPath(), "");
    EXPECT_FALSE(reg.GetKeyNames().empty());
    reg.CloseKey();
    EXPECT_EQ(reg.CurrentKey(), nullptr);
}

TEST_F(RegistryAccessTest, Accessor_OpenWithCreateMakesMissingKeys) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    ASSERT_TRUE(reg.OpenKey("New\\Deeper", true));
    EXPECT_EQ(reg.CurrentPath(), k / "New\\Deeper");
    EXPECT_TRUE(KeyPresent(HKEY_CURRENT_USER, k / "New\\Deeper"));
    // Without create a missing key stays missing.
    EXPECT_FALSE(reg.OpenKey("\\" + k.Path() + "\\Other", false));
    EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, k / "Other"));
}

TEST_F(RegistryAccessTest, Accessor_CreateKeyLeavesOpenKeyAndAcceptsExistingKeys) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    reg.CreateKey("Made\\Below");
    EXPECT_TRUE(KeyPresent(HKEY_CURRENT_USER, k / "Made\\Below"));
    EXPECT_EQ(reg.CurrentPath(), k.Path());
    reg.CreateKey("Made");  // exists: success
    reg.CreateKey("\\" + k.Path() + "\\Rooted");
    EXPECT_TRUE(KeyPresent(HKEY_CURRENT_USER, k / "Rooted"));
}

TEST_F(RegistryAccessTest, Accessor_CreateKeyFailureRaisesWithThePathAsGiven) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    k.Lock("Locked");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    // An existing key that does not open with full access cannot be created.
    EXPECT_EQ(RaisedMessage([&] { reg.CreateKey("Locked"); }), "Failed to create key Locked");
    EXPECT_EQ(reg.CurrentPath(), k.Path());
}

TEST_F(RegistryAccessTest, Accessor_KeyExistsOnlyWithFullAccess) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    k.Lock("Locked");
    CreateTestKey(HKEY_CURRENT_USER, k / "Open");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    EXPECT_TRUE(reg.KeyExists("Open"));
    EXPECT_TRUE(reg.KeyExists("\\" + k.Path() + "\\Open"));
    EXPECT_FALSE(reg.KeyExists("Missing"));
    EXPECT_FALSE(reg.KeyExists("Locked"));
    EXPECT_FALSE(reg.OpenKey("Locked", false));
    EXPECT_EQ(reg.CurrentPath(), k.Path());
}

TEST_F(RegistryAccessTest, Accessor_StringsRoundTripWithTheirTypeAndNul) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    reg.WriteString("s", "C:\\Old\\App.exe");
    reg.WriteExpandString("e", "%SystemRoot%\\x");
    reg.WriteString("", "default text");
    reg.WriteString("empty", "");
    EXPECT_EQ(reg.ReadString("s"), "C:\\Old\\App.exe");
    EXPECT_EQ(reg.ReadString("e"), "%SystemRoot%\\x");
    EXPECT_EQ(reg.ReadString(""), "default text");
    EXPECT_EQ(reg.ReadString("empty"), "");
    EXPECT_EQ(reg.GetDataType("s"), TRegDataType::String);
    EXPECT_EQ(reg.GetDataType("e"), TRegDataType::ExpandString);
    // Stored with the terminating NUL, as the wide functions see it too.
    EXPECT_EQ(GetRaw(HKEY_CURRENT_USER, k.Path(), "s"), std::make_pair(DWORD(REG_SZ), Utf16Sz("C:\\Old\\App.exe")));
    EXPECT_EQ(GetRaw(HKEY_CURRENT_USER, k.Path(), "e").first, DWORD(REG_EXPAND_SZ));
    EXPECT_EQ(GetRaw(HKEY_CURRENT_USER, k.Path(), "empty").second, Utf16Sz(""));
}

TEST_F(RegistryAccessTest, Accessor_ReadStringRules) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    SetSz(HKEY_CURRENT_USER, k.Path(), "nul", std::string("ab\0cd", 5));
    SetRaw(HKEY_CURRENT_USER, k.Path(), "zero", REG_SZ, "");
    SetDword(HKEY_CURRENT_USER, k.Path(), "dw", 7);
    SetRaw(HKEY_CURRENT_USER, k.Path(), "zerodw", REG_DWORD, "");
    SetRaw(HKEY_CURRENT_USER, k.Path(), "multi", REG_MULTI_SZ, Utf16Sz("a") + Utf16Sz(""));
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    EXPECT_EQ(reg.ReadString("nul"), "ab");    // up to the first NUL
    EXPECT_EQ(reg.ReadString("zero"), "");     // zero-sized
    EXPECT_EQ(reg.ReadString("zerodw"), "");   // zero-sized, whatever its type
    EXPECT_EQ(reg.ReadString("missing"), "");  // missing
    EXPECT_EQ(RaisedMessage([&] { reg.ReadString("dw"); }), "Invalid data type for 'dw'");
    EXPECT_EQ(RaisedMessage([&] { reg.ReadString("multi"); }), "Invalid data type for 'multi'");
}

TEST_F(RegistryAccessTest, Accessor_TypesSizesAndExistence) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    SetDword(HKEY_CURRENT_USER, k.Path(), "dw", 7);
    SetRaw(HKEY_CURRENT_USER, k.Path(), "bin", REG_BINARY, std::string("\x01\x02\x03", 3));
    SetRaw(HKEY_CURRENT_USER, k.Path(), "multi", REG_MULTI_SZ, Utf16Sz("a") + Utf16Sz(""));
    SetRaw(HKEY_CURRENT_USER, k.Path(), "none", REG_NONE, "");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    EXPECT_EQ(reg.GetDataType("dw"), TRegDataType::Integer);
    EXPECT_EQ(reg.GetDataType("bin"), TRegDataType::Binary);
    EXPECT_EQ(reg.GetDataType("multi"), TRegDataType::Unknown);
    EXPECT_EQ(reg.GetDataType("missing"), TRegDataType::Unknown);
    EXPECT_EQ(reg.GetDataSize("dw"), 4);
    EXPECT_EQ(reg.GetDataSize("bin"), 3);
    EXPECT_EQ(reg.GetDataSize("none"), 0);
    EXPECT_EQ(reg.GetDataSize("missing"), -1);
    EXPECT_TRUE(reg.ValueExists("none"));
    EXPECT_FALSE(reg.ValueExists("missing"));
    EXPECT_TRUE(reg.DeleteValue("dw"));
    EXPECT_FALSE(reg.ValueExists("dw"));
    EXPECT_FALSE(reg.DeleteValue("dw"));
}

TEST_F(RegistryAccessTest, Accessor_ValueOperationsWithNoKeyOpenWorkOnTheRoot) {
    const std::string name = UniqueToken("MovixRootValue");
    struct Cleanup {
        std::string name;
        ~Cleanup() { ::RegDeleteValueW(HKEY_CURRENT_USER, Wide(name).c_str()); }
    } cleanup{name};
    TRegistry reg;
    reg.WriteString(name, "at the root");
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, "", name), "at the root");
    EXPECT_TRUE(reg.ValueExists(name));
    ASSERT_TRUE(reg.OpenKey("Software", false));
    EXPECT_FALSE(reg.ValueExists(name));
    reg.CloseKey();
    EXPECT_EQ(reg.ReadString(name), "at the root");
    EXPECT_TRUE(reg.DeleteValue(name));
    EXPECT_FALSE(ValuePresent(HKEY_CURRENT_USER, "", name));
}

TEST_F(RegistryAccessTest, Accessor_RawDataKeepsTypeAndBytesExactly) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    const std::string odd("a\0b\0c", 5);  // string data of odd length, no NUL at its end
    const std::vector<std::pair<DWORD, std::string>> values = {
        {REG_SZ, odd},
        {REG_SZ, ""},
        {REG_EXPAND_SZ, Utf16Sz("%A%")},
        {REG_BINARY, std::string("\x00\xFF\x10", 3)},
        {REG_BINARY, ""},
        {REG_DWORD, std::string("\x01\x00\x00\x80", 4)},
        {REG_DWORD_BIG_ENDIAN, std::string("\x80\x00\x00\x01", 4)},
        {REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {REG_MULTI_SZ, Utf16Sz("one") + Utf16Sz("two") + Utf16Sz("")},
        {REG_NONE, "xyz"},
        {REG_RESOURCE_LIST, std::string("\x01\x00", 2)},
    };
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string name = "v" + std::to_string(i);
        reg.WriteRaw(name, {values[i].first, values[i].second});
        EXPECT_EQ(GetRaw(HKEY_CURRENT_USER, k.Path(), name), values[i]) << name;
        const TRegRawValue back = reg.ReadRaw(name);
        EXPECT_EQ(back.Type, values[i].first) << name;
        EXPECT_EQ(back.Bytes, values[i].second) << name;
    }
    reg.WriteRaw("", {REG_BINARY, ""});
    EXPECT_EQ(GetRaw(HKEY_CURRENT_USER, k.Path(), ""), std::make_pair(DWORD(REG_BINARY), std::string()));
    EXPECT_EQ(RaisedMessage([&] { reg.ReadRaw("missing"); }), "Failed to get data for 'missing'");
}

TEST_F(RegistryAccessTest, Accessor_ReadsAndWritesOfADeletedKeyRaise) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    SetSz(HKEY_CURRENT_USER, k / "Gone", "v", "text");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k / "Gone", false));
    // Another program deletes the key while the accessor holds it open.
    ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, Wide(k / "Gone").c_str()), ERROR_SUCCESS);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, Wide(k / "Gone").c_str());
    ASSERT_FALSE(KeyPresent(HKEY_CURRENT_USER, k / "Gone"));
    EXPECT_EQ(RaisedMessage([&] { reg.WriteString("v", "x"); }), "Failed to set data for 'v'");
    EXPECT_EQ(RaisedMessage([&] { reg.WriteExpandString("w", "x"); }), "Failed to set data for 'w'");
    EXPECT_EQ(RaisedMessage([&] { reg.WriteRaw("r", {REG_BINARY, "x"}); }), "Failed to set data for 'r'");
    EXPECT_EQ(RaisedMessage([&] { reg.ReadRaw("v"); }), "Failed to get data for 'v'");
    EXPECT_TRUE(reg.GetValueNames().empty());
}

TEST_F(RegistryAccessTest, Accessor_FailedReadRaisesGetDataMessage) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    SetSz(HKEY_CURRENT_USER, k.Path(), "v", "text");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    // A read error of an existing value (a failing disk, say) cannot be
    // caused from outside: the seam injects it.
    SetRegistryFaultHookForTest([](RegOp op, const std::string& name) -> LONG {
        return (op == RegOp::QueryValue && name == "v") ? ERROR_READ_FAULT : 0;
    });
    EXPECT_EQ(RaisedMessage([&] { reg.ReadString("v"); }), "Failed to get data for 'v'");
    SetRegistryFaultHookForTest(nullptr);
    EXPECT_EQ(reg.ReadString("v"), "text");
}

TEST_F(RegistryAccessTest, Accessor_ErrorsAreOneClassWithTheFourMessages) {
    const ERegistryException e("Failed to create key X");
    const std::runtime_error& base = e;
    EXPECT_STREQ(base.what(), "Failed to create key X");
}

TEST_F(RegistryAccessTest, Accessor_NamesComeInEnumerationOrderWithDefaultUnderEmptyName) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    for (const char* name : {"zeta", "Alpha", "mid"}) {
        SetSz(HKEY_CURRENT_USER, k.Path(), name, "x");
        CreateTestKey(HKEY_CURRENT_USER, k / (std::string("K") + name));
    }
    SetSz(HKEY_CURRENT_USER, k.Path(), "", "default");
    // The Registry's own order, as its wide listing gives it.
    std::vector<std::string> values, keys;
    HKEY key = CreateTestKey(HKEY_CURRENT_USER, k.Path());
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD n = 256;
        if (::RegEnumValueW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        values.push_back(Narrow(std::wstring(name, n)));
    }
    for (DWORD i = 0;; ++i) {
        DWORD n = 256;
        if (::RegEnumKeyExW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        keys.push_back(Narrow(std::wstring(name, n)));
    }
    ::RegCloseKey(key);

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    EXPECT_EQ(reg.GetValueNames(), values);
    EXPECT_EQ(reg.GetKeyNames(), keys);
    EXPECT_EQ(values.size(), 4u);
    EXPECT_NE(std::find(values.begin(), values.end(), ""), values.end());
    EXPECT_EQ(keys.size(), 3u);

    // The one-call listing sees the same values with their data.
    std::vector<std::string> seen;
    reg.ForEachValue([&](std::string_view n, DWORD type, const char* data, std::size_t size) {
        seen.emplace_back(n);
        EXPECT_EQ(type, DWORD(REG_SZ));
        EXPECT_EQ(std::string(TextUpToNul(data, size)), n.empty() ? "default" : "x");
        return true;
    });
    EXPECT_EQ(seen, values);
}

TEST_F(RegistryAccessTest, Accessor_OneCallListingPassesOverValuesThatCannotBeRead) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    SetSz(HKEY_CURRENT_USER, k.Path(), "a", "1");
    SetSz(HKEY_CURRENT_USER, k.Path(), "b", "2");
    SetSz(HKEY_CURRENT_USER, k.Path(), "c", std::string(100000, 'x'));  // larger than most
    SetRegistryFaultHookForTest([](RegOp op, const std::string& name) -> LONG {
        return (op == RegOp::QueryValue && name == "b") ? ERROR_KEY_DELETED : 0;
    });
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    std::vector<std::string> seen;
    reg.ForEachValue([&](std::string_view n, DWORD, const char*, std::size_t size) {
        seen.emplace_back(std::string(n) + ":" + std::to_string(size));
        return true;
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"a:2", "c:100001"}));
}

TEST_F(RegistryAccessTest, Accessor_DeleteKeyRemovesTheWholeTreeDepthFirst) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    SetSz(HKEY_CURRENT_USER, k / "T\\A\\B\\C", "v", "x");
    SetSz(HKEY_CURRENT_USER, k / "T\\A", "v", "x");
    SetSz(HKEY_CURRENT_USER, k / "T\\D", "v", "x");
    SetSz(HKEY_CURRENT_USER, k / "Keep", "v", "x");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    // A key with subkeys cannot be deleted itself: the whole tree going
    // proves the subkeys went first.
    EXPECT_TRUE(reg.DeleteKey("T"));
    EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, k / "T"));
    EXPECT_TRUE(KeyPresent(HKEY_CURRENT_USER, k / "Keep"));
    EXPECT_FALSE(reg.DeleteKey("T"));
    // From the root.
    SetSz(HKEY_CURRENT_USER, k / "R\\S", "v", "x");
    EXPECT_TRUE(reg.DeleteKey("\\" + k.Path() + "\\R"));
    EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, k / "R"));
}

TEST_F(RegistryAccessTest, Accessor_DeleteKeyStopsShortOfWhatCannotBeDeleted) {
    PlantedKey k(HKEY_CURRENT_USER, "Software", "MovixAcc");
    SetSz(HKEY_CURRENT_USER, k / "T\\A", "v", "x");
    SetSz(HKEY_CURRENT_USER, k / "T\\Z", "v", "x");
    SetSz(HKEY_CURRENT_USER, k / "T\\M", "kept", "x");
    SetSz(HKEY_CURRENT_USER, k / "T\\M\\S", "kept", "x");
    // Its subkeys cannot be listed, so it cannot be emptied; its values can
    // still be read.
    k.Lock("T\\M", "D:P(A;;0x20001;;;WD)");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(k.Path(), false));
    EXPECT_FALSE(reg.DeleteKey("T"));
    // What could go went; the locked key and its parent stay.
    EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, k / "T\\A"));
    EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, k / "T\\Z"));
    EXPECT_TRUE(KeyPresent(HKEY_CURRENT_USER, k / "T\\M"));
    HKEY m = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(k / "T\\M").c_str(), 0, KEY_QUERY_VALUE, &m), ERROR_SUCCESS);
    wchar_t kept[8] = {};
    DWORD size = sizeof kept;
    EXPECT_EQ(::RegQueryValueExW(m, L"kept", nullptr, nullptr, reinterpret_cast<BYTE*>(kept), &size), ERROR_SUCCESS);
    ::RegCloseKey(m);
    EXPECT_EQ(std::wstring(kept), L"x");
    EXPECT_EQ(GetSz(HKEY_CURRENT_USER, k / "T\\M\\S", "kept"), "x");
}
