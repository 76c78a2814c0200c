// The group replacer's rewriting of one group, natively: which commands and
// log lines an item's hits give, and that the commands, carried out by the
// substitute's group set, rebuild every item as meant and lose none.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "group_model.h"
#include "targets/progman_commands.h"

using namespace movix;

namespace {

struct UpdateRun {
    std::vector<std::string> commands;
    std::vector<std::string> log;
    std::vector<TReplaceHit> left;
};

UpdateRun Update(const std::string& groupName,
                 const std::vector<std::string>& reply,
                 std::vector<TReplaceHit> hits,
                 const std::string& oldAddr = "C:\\QUILL",
                 const std::string& newAddr = "D:\\Apps\\Quill") {
    UpdateRun run;
    TReplaceGroup group{groupName, std::move(hits)};
    UpdateProgManGroup(group, reply, oldAddr, newAddr, run.commands,
                       [&](const std::string& line) { run.log.push_back(line); });
    run.left = group.Hits;
    return run;
}

// A set holding the group as its reply lines describe it.
ProgManGroupSet SetFromReply(const std::string& name, const std::vector<std::string>& reply) {
    ProgManGroupSet set;
    ProgManGroup g;
    g.Name = name;
    for (std::size_t i = 1; i < reply.size(); ++i)
        g.Items.push_back(ParseGroupItemLine(reply[i]));
    EXPECT_TRUE(set.Load(g));
    return set;
}

std::string Joined(const std::vector<std::string>& commands) {
    std::string text;
    for (const std::string& c : commands)
        text += c + "\r\n";
    return text;
}

const std::string kHead = "\"Quill\",C:\\WINDOWS\\QUILL.GRP,3";

}  // namespace

TEST(ProgManUpdate, TenFields_CountedAsTheReplyIsRead) {
    const struct {
        const char* line;
        bool ten;
    } cases[] = {
        {"\"A\",\"a.exe\",C:\\A,C:\\A\\A.ICO,1,2,3,4,5,6", true},
        {"\"A, (b)\",\"\",,,,,,,,", true},
        {"\"A\",\"a.exe\",C:\\A,C:\\A\\A.ICO,1,2,3,4,5", false},      // nine
        {"\"A\",\"a.exe\",C:\\A,B,C:\\A\\A.ICO,1,2,3,4,5,6", false},  // a comma in the directory
        {"\"A\",\"a.exe\"", false},
        {"\"A\",a.exe,C:\\A,,1,2,3,4,5,6", false},  // command line not in quotes
        {"A\",\"a.exe\",C:\\A,,1,2,3,4,5,6", false},
        {"\"A", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GroupItemLineHasTenFields(c.line), c.ten) << c.line;
}

TEST(ProgManUpdate, ChangedItemsGiveReplaceAndAddInReplyOrder) {
    const std::vector<std::string> reply = {
        kHead,
        "\"Quill\",\"C:\\QUILL\\QUILL.EXE /n\",c:\\quill\\docs,C:\\QUILL\\QUILL.EXE,16,40,2,1617,1,0",
        "\"Other\",\"C:\\WINDOWS\\NOTEPAD.EXE\",C:\\WINDOWS,,91,40,0,0,0,0",
        "\"Read Me\",\"NOTEPAD.EXE C:\\QUILL\\README.TXT\",C:\\QUILL,,166,40,0,0,0,x7",
    };
    // Hits in list order (as the run sorted them), all three sub-types.
    UpdateRun run = Update("Quill", reply, {{"Quill", 2}, {"Quill", 3}, {"Quill", 4}, {"Read Me", 2}});
    EXPECT_TRUE(run.left.empty());
    EXPECT_EQ(run.commands, (std::vector<std::string>{
                                "[ReplaceItem(Quill)]",
                                "[AddItem(D:\\Apps\\Quill\\QUILL.EXE /n,Quill,D:\\Apps\\Quill\\QUILL.EXE,2,16,40,"
                                "D:\\Apps\\Quill\\docs,1617,1,0)]",
                                "[ReplaceItem(Read Me)]",
                                "[AddItem(NOTEPAD.EXE D:\\Apps\\Quill\\README.TXT,Read Me,,0,166,40,C:\\QUILL,0,0,0)]",
                            }));
    EXPECT_EQ(run.log,
              (std::vector<std::string>{
                  "             item: " + reply[1],
                  "       changed to: D:\\Apps\\Quill\\QUILL.EXE /n,Quill,D:\\Apps\\Quill\\QUILL.EXE,2,16,40,"
                  "D:\\Apps\\Quill\\docs,1617,1,0",
                  "             item: " + reply[3],
                  "       changed to: NOTEPAD.EXE D:\\Apps\\Quill\\README.TXT,Read Me,,0,166,40,C:\\QUILL,0,0,0",
                  "Successfully updated Quill",
              }));

    // Carried out by the substitute's set, with the group's CreateGroup in
    // front: the items keep their places and every other field.
    ProgManGroupSet set = SetFromReply("Quill", reply);
    std::vector<std::string> all = {CreateGroupCommand("Quill")};
    all.insert(all.end(), run.commands.begin(), run.commands.end());
    ASSERT_TRUE(set.Execute(Joined(all)).Ok);
    const std::vector<TGroupItemLine>& items = set.Find("Quill")->Items;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(FormatGroupItemLine(items[0]),
              "\"Quill\",\"D:\\Apps\\Quill\\QUILL.EXE /n\",D:\\Apps\\Quill\\docs,D:\\Apps\\Quill\\QUILL.EXE,16,40,2,"
              "1617,1,0");
    EXPECT_EQ(FormatGroupItemLine(items[1]), reply[2]);
    // The separate-memory flag that did not read as a number went as 0.
    EXPECT_EQ(FormatGroupItemLine(items[2]),
              "\"Read Me\",\"NOTEPAD.EXE D:\\Apps\\Quill\\README.TXT\",C:\\QUILL,,166,40,0,0,0,0");
}

TEST(ProgManUpdate, GroupWithOnlyItsFirstLineOrNoReplyListsEveryHitAsNotFound) {
    for (const std::vector<std::string>& reply : {std::vector<std::string>{kHead}, std::vector<std::string>{}}) {
        UpdateRun run = Update("Quill", reply, {{"Quill", 2}, {"Read Me", 4}, {"Quill", 3}});
        EXPECT_TRUE(run.commands.empty());
        EXPECT_EQ(run.log, (std::vector<std::string>{"***** Updated Quill, but some items not found:",
                                                     "    cmd for Quill", "    dir for Read Me", "    ico for Quill"}));
        EXPECT_EQ(run.left.size(), 3u);
    }
}

TEST(ProgManUpdate, FirstItemOfANameTakesEveryHitOfThatName) {
    const std::vector<std::string> reply = {
        kHead,
        "\"Quill\",\"C:\\QUILL\\QUILL.EXE\",C:\\QUILL,,16,16,0,0,0,0",
        "\"Quill\",\"C:\\QUILL\\QUILL.EXE /safe\",C:\\QUILL,,91,16,0,0,0,0",
        // Not read: no hits are left by then.
        "\"Quill\",\"broken",
    };
    UpdateRun run = Update("Quill", reply, {{"Quill", 2}, {"Quill", 2}, {"Quill", 4}, {"Quill", 4}});
    ASSERT_EQ(run.commands.size(), 2u);
    EXPECT_EQ(run.commands[1], "[AddItem(D:\\Apps\\Quill\\QUILL.EXE,Quill,,0,16,16,D:\\Apps\\Quill,0,0,0)]");
    EXPECT_EQ(run.log.back(), "Successfully updated Quill");
}

// Mended: fields holding commas or parentheses are quoted, so that AddItem
// is never misread after ReplaceItem has removed the item; items that could
// still be misread are left alone and logged, never lost.
TEST(ProgManUpdate, FieldsThatWouldBeMisreadAreQuotedOrTheItemIsLeftAlone) {
    const std::vector<std::string> reply = {
        "\"Tools, (old)\",C:\\WINDOWS\\TOOLS.GRP,6",
        "\"Quill (safe), 2\",\"C:\\QUILL\\QUILL.EXE /safe\",C:\\QUILL,C:\\QUILL\\Q.ICO,16,16,1,0,0,0",
        "\"Quoted\",\"\"C:\\QUILL\\QUILL.EXE\" /n\",C:\\QUILL,,91,16,0,0,0,0",
        "\"Short\",\"C:\\QUILL\\S.EXE\",C:\\QUILL,,166,16,0,0,0",
        "\"Wide\",\"C:\\QUILL\\W.EXE\",C:\\QUILL\\A,B,,241,16,0,0,0,0",
        "\"case\",\"C:\\OTHER\\C.EXE\",,,316,16,0,0,0,0",
        "\"CASE\",\"C:\\QUILL\\C.EXE\",,,16,76,0,0,0,0",
        "\"Kept\",\"C:\\QUILL\\K.EXE\",C:\\QUILL,,91,76,0,0,0,0",
    };
    const std::string newAddr = "C:\\Program Files (x86)\\Quill";
    UpdateRun run = Update("Tools, (old)", reply,
                           {{"Quill (safe), 2", 2},
                            {"Quill (safe), 2", 3},
                            {"Quoted", 2},
                            {"Short", 2},
                            {"Wide", 4},
                            {"CASE", 2},
                            {"Kept", 4}},
                           "C:\\QUILL", newAddr);
    EXPECT_TRUE(run.left.empty());
    EXPECT_EQ(run.commands, (std::vector<std::string>{
                                "[ReplaceItem(\"Quill (safe), 2\")]",
                                "[AddItem(\"C:\\Program Files (x86)\\Quill\\QUILL.EXE /safe\",\"Quill (safe), 2\","
                                "\"C:\\Program Files (x86)\\Quill\\Q.ICO\",1,16,16,C:\\QUILL,0,0,0)]",
                                "[ReplaceItem(Kept)]",
                                "[AddItem(C:\\QUILL\\K.EXE,Kept,,0,91,76,\"C:\\Program Files (x86)\\Quill\",0,0,0)]",
                            }));
    const std::vector<std::string> expectedLog = {
        "             item: " + reply[1],
        "       changed to: \"C:\\Program Files (x86)\\Quill\\QUILL.EXE /safe\",\"Quill (safe), 2\","
        "\"C:\\Program Files (x86)\\Quill\\Q.ICO\",1,16,16,C:\\QUILL,0,0,0",
        "***** Item left unchanged, its command line cannot be sent to Program Manager: " + reply[2],
        "***** Item left unchanged, its line does not have ten fields: " + reply[3],
        "***** Item left unchanged, its line does not have ten fields: " + reply[4],
        "***** Item left unchanged, the item \"case\" before it would be replaced instead: " + reply[6],
        "             item: " + reply[7],
        "       changed to: C:\\QUILL\\K.EXE,Kept,,0,91,76,\"C:\\Program Files (x86)\\Quill\",0,0,0",
        "***** Updated Tools, (old), but some items left unchanged",
    };
    EXPECT_EQ(run.log, expectedLog);

    // The substitute's set reads every command as meant: the changed items
    // in their places, every other item as it was.
    ProgManGroupSet set = SetFromReply("Tools, (old)", reply);
    std::vector<std::string> all = {CreateGroupCommand("Tools, (old)")};
    EXPECT_EQ(all[0], "[CreateGroup(\"Tools, (old)\")]");
    all.insert(all.end(), run.commands.begin(), run.commands.end());
    ASSERT_TRUE(set.Execute(Joined(all)).Ok);
    const std::vector<TGroupItemLine>& items = set.Find("Tools, (old)")->Items;
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[0].ItemName, "Quill (safe), 2");
    EXPECT_EQ(items[0].CommandLine, newAddr + "\\QUILL.EXE /safe");
    EXPECT_EQ(items[0].IconPath, newAddr + "\\Q.ICO");
    EXPECT_EQ(items[0].DefaultDir, "C:\\QUILL");
    EXPECT_EQ(items[0].IconIndex, 1);
    for (std::size_t i = 1; i < 6; ++i)
        EXPECT_EQ(items[i], ParseGroupItemLine(reply[i + 1])) << i;
    EXPECT_EQ(items[6].ItemName, "Kept");
    EXPECT_EQ(items[6].DefaultDir, newAddr);
}

TEST(ProgManUpdate, SafeArguments) {
    EXPECT_TRUE(ProgManArgumentSafe("C:\\Program Files (x86)\\A, B [1]"));
    EXPECT_TRUE(ProgManArgumentSafe(""));
    EXPECT_FALSE(ProgManArgumentSafe("\"C:\\A.EXE\""));
    EXPECT_FALSE(ProgManArgumentSafe(std::string("a\0b", 3)));
    EXPECT_FALSE(ProgManArgumentSafe("a\r\nb"));
    EXPECT_FALSE(ProgManArgumentSafe(std::string(kProgManMaxField + 1, 'x')));
}
