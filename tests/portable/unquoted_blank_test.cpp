// A Registry value that may be a command line the replacer does not know
// holds Old unquoted before more text: with a blank in New its row is
// flagged for review. And what HKLM and other users' keys keep is read with
// the machine's variables only.
#include <gtest/gtest.h>

#include <string>

#include "core/found_items.h"
#include "core/strings.h"
#include "engine/rtf_report.h"
#include "targets/registry_paths.h"
#include "targets/registry_spellings.h"

using namespace movix;

namespace {

TEST(UnquotedBlankRow, RegistryValuesWithOldBeforeMoreTextAreFlaggedForANewWithABlank) {
    SetCommandLineValues(&IsCommandLineValue);
    const std::string run = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string other = "HKCU\\Software\\Quill";
    const std::string blank = "C:\\Program Files\\Quill";
    const struct {
        int kind, subType;
        std::string path, valueName, context, newAddr;
        bool flagged;
    } cases[] = {
        {KindReg, kSubTypeData, other, "Cmd", "Cmd=C:\\QUILL\\quill.exe -x", blank, true},
        {KindReg, kSubTypeExpandData, other, "", "(default)=C:\\QUILL\\quill.exe -x", blank, true},
        {KindReg, kSubTypeMultiString, other, "L", "L=C:\\QUILL\\q.exe /a", blank, true},
        {KindReg, kSubTypeData, other, "Cmd", "Cmd=C:\\QUILL\\quill.exe -x", "D:\\Apps\\Quill", false},
        {KindReg, kSubTypeData, other, "Cmd", "Cmd=\"C:\\QUILL\\quill.exe\" -x", blank, false},
        {KindReg, kSubTypeData, other, "Dir", "Dir=C:\\QUILL\\data", blank, false},
        {KindReg, kSubTypeData, other, "My Cmd \"x", "My Cmd \"x=C:\\QUILL", blank, false},
        // The replacer quotes a Run value; not what it rewrites through variables.
        {KindReg, kSubTypeData, run, "Quill", "Quill=C:\\QUILL\\quill.exe -tray", blank, false},
        {KindReg, kSubTypeEnvData, run, "Quill", "Quill=C:\\QUILL\\quill.exe -tray", blank, true},
        // Other kinds have rules of their own.
        {KindIni, kSubTypeKey, "C:\\W\\A.INI", "", "[S]k=C:\\QUILL\\q.exe -x", blank, false},
    };
    for (const auto& c : cases) {
        const TFoundItem row =
            MakeFoundItem("i", c.path, c.context, c.kind, c.subType, c.valueName, UpperAscii("C:\\QUILL"), c.newAddr);
        EXPECT_EQ(row.UnquotedBlank, c.flagged) << c.context << " -> " << c.newAddr;
        EXPECT_EQ(IsFlagged(row), c.flagged) << c.context;
        EXPECT_EQ(row.Mark, MarkY);
        if (c.flagged)
            EXPECT_EQ(HelpContextOfRow(row), UnquotedBlankHelpContext) << c.context;
    }
    // A row flagged for both reasons explains the longer name first.
    TFoundItem both = MakeFoundItem("i", other, "v=C:\\QUILL 2\\q.exe -x", KindReg, kSubTypeData, "v",
                                    UpperAscii("C:\\QUILL"), blank);
    EXPECT_TRUE(both.MaybeLonger && both.UnquotedBlank);
    EXPECT_EQ(HelpContextOfRow(both), LongerNameHelpContext);
    SetCommandLineValues(nullptr);
}

TEST(UnquotedBlankRow, ReportNotesTheRowInItsContextCell) {
    TFoundItem row = MakeFoundItem("i", "HKCU\\Q", "v=C:\\QUILL\\q.exe -x", KindReg, kSubTypeData, "v",
                                   UpperAscii("C:\\QUILL"), "C:\\A B");
    ASSERT_TRUE(row.UnquotedBlank);
    const std::string rtf = FoundListRtf("C:\\QUILL", {row});
    const std::size_t context = rtf.find("v=C:\\\\QUILL\\\\q.exe -x");
    ASSERT_NE(context, std::string::npos);
    EXPECT_EQ(rtf.find(UnquotedBlankNote), context + std::string("v=C:\\\\QUILL\\\\q.exe -x").size());
    int depth = 0;
    for (const char* c = UnquotedBlankNote; *c != '\0'; ++c)
        depth += *c == '{' ? 1 : (*c == '}' ? -1 : 0);
    EXPECT_EQ(depth, 0);
}

// A per-user variable in what HKLM or another user keeps names each
// reader's own folder: never this user's, so never a hit on it, and never
// rewritten to a literal path.
TEST(MachineVariables, KeysOfTheMachineAndOtherUsersAreReadWithTheMachinesVariablesOnly) {
    TEnvironment user;
    user.Set("ProgramFiles", "C:\\Program Files");
    user.Set("SystemDrive", "C:");
    user.Set("windir", "C:\\Windows");
    user.Set("USERPROFILE", "C:\\Users\\Me");
    user.Set("APPDATA", "C:\\Users\\Me\\AppData\\Roaming");
    const TEnvironment machine = MachineEnvironment(user);
    EXPECT_NE(machine.Find("programfiles"), nullptr);
    EXPECT_NE(machine.Find("SystemDrive"), nullptr);
    EXPECT_NE(machine.Find("WINDIR"), nullptr);
    EXPECT_EQ(machine.Find("USERPROFILE"), nullptr);
    EXPECT_EQ(machine.Find("APPDATA"), nullptr);

    const struct {
        const char* key;
        bool machineOnly;
    } keys[] = {{"HKLM\\SOFTWARE\\Quill", true},
                {"HKUS\\S-1-5-21-1-2-3-1001\\Software\\Quill", true},
                {"HKUS\\.DEFAULT\\Software\\Quill", true},
                {"HKCU\\Software\\Quill", false},
                {"HKCR\\QuillFile", false}};
    for (const auto& k : keys)
        EXPECT_EQ(ReadWithMachineVariables(k.key), k.machineOnly) << k.key;

    const std::string perUser = "%USERPROFILE%\\Quill\\q.exe";
    const std::string oldUser = "C:\\Users\\Me\\Quill";
    EXPECT_FALSE(FindInExpandText(perUser, oldUser, user).empty());
    EXPECT_TRUE(FindInExpandText(perUser, oldUser, machine).empty());
    const TExpandRewrite kept = RewriteExpandText(perUser, oldUser, "D:\\Quill", machine, true, true);
    EXPECT_EQ(kept.Text, perUser);
    EXPECT_TRUE(kept.Applied.empty());
    // The machine's own variables still name the folder there.
    const TExpandRewrite moved =
        RewriteExpandText("%ProgramFiles%\\Quill\\q.exe", "C:\\Program Files\\Quill", "D:\\Quill", machine, true, true);
    EXPECT_EQ(moved.Text, "D:\\Quill\\q.exe");
}

}  // namespace
