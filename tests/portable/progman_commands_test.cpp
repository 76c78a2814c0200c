#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "group_model.h"
#include "targets/progman_commands.h"

using namespace movix;

namespace {

std::vector<std::string> Lines(std::initializer_list<const char*> l) {
    return {l.begin(), l.end()};
}

// Everything the set holds, as text, to prove a refused execute changed nothing.
std::string Snapshot(const ProgManGroupSet& set) {
    std::string s;
    for (const ProgManGroup& g : set.Groups())
        s += FormatGroupFile(g) + (g.Dirty ? "dirty\n" : "clean\n");
    for (const std::string& f : set.RemovedFiles())
        s += "removed " + f + "\n";
    return s;
}

std::string ReplyOf(const ProgManGroupSet& set, const std::string& item) {
    std::optional<std::string> r = set.Reply(item, "C:\\groups");
    return r ? *r : "<none>";
}

}  // namespace

// ---------------------------------------------------------------- reply lines

TEST(ProgManReply, SplitLines_EveryLineEndKind) {
    EXPECT_EQ(SplitReplyLines("a\r\nb\rc\nd"), Lines({"a", "b", "c", "d"}));
    EXPECT_EQ(SplitReplyLines("a\r\n"), Lines({"a"}));
    EXPECT_EQ(SplitReplyLines("a\r\r\nb"), Lines({"a", "", "b"}));
    EXPECT_EQ(SplitReplyLines("\n\n"), Lines({"", ""}));
    EXPECT_EQ(SplitReplyLines("\n\r"), Lines({"", ""}));
    EXPECT_TRUE(SplitReplyLines("").empty());
}

TEST(ProgManReply, ItemLine_AllTenFields) {
    TGroupItemLine item = ParseGroupItemLine(
        "\"Quill, the editor\",\"\"C:\\QUILL\\QUILL.EXE\" /n\",C:\\QUILL\\DOCS,C:\\QUILL\\Q.ICO,"
        "16,-40,2,1601,1,0");
    EXPECT_EQ(item.ItemName, "Quill, the editor");
    EXPECT_EQ(item.CommandLine, "\"C:\\QUILL\\QUILL.EXE\" /n");
    EXPECT_EQ(item.DefaultDir, "C:\\QUILL\\DOCS");
    EXPECT_EQ(item.IconPath, "C:\\QUILL\\Q.ICO");
    EXPECT_EQ(item.XPos, 16);
    EXPECT_EQ(item.YPos, -40);
    EXPECT_EQ(item.IconIndex, 2);
    EXPECT_EQ(item.HotKey, 1601);
    EXPECT_EQ(item.Minimize, 1);
    EXPECT_EQ(item.SeparateMemory, 0);
}

TEST(ProgManReply, ItemLine_EmptyTextFieldsAndBadNumbersReadAsEmptyAndZero) {
    TGroupItemLine item = ParseGroupItemLine("\"\",\"\",,,x,,99999999999, 7 ,1e3,12abc");
    EXPECT_EQ(item.ItemName, "");
    EXPECT_EQ(item.CommandLine, "");
    EXPECT_EQ(item.DefaultDir, "");
    EXPECT_EQ(item.IconPath, "");
    EXPECT_EQ(item.XPos, 0);
    EXPECT_EQ(item.YPos, 0);
    EXPECT_EQ(item.IconIndex, 0);  // does not fit
    EXPECT_EQ(item.HotKey, 7);
    EXPECT_EQ(item.Minimize, 0);
    EXPECT_EQ(item.SeparateMemory, 0);
}

TEST(ProgManReply, ItemLine_LastFieldRunsToTheEndOfTheLine) {
    // An eleventh field makes the tenth "1,5", which is not an integer.
    TGroupItemLine item = ParseGroupItemLine("\"A\",\"a.exe\",d,i,1,2,3,4,5,1,5");
    EXPECT_EQ(item.Minimize, 5);
    EXPECT_EQ(item.SeparateMemory, 0);
    EXPECT_EQ(ParseGroupItemLine("\"A\",\"a.exe\",d,i,1,2,3,4,5,-2147483648").SeparateMemory, -2147483647 - 1);
}

TEST(ProgManReply, ItemLine_ShortLinesLeaveTheRestEmpty) {
    TGroupItemLine onlyName = ParseGroupItemLine("\"Name only\"");
    EXPECT_EQ(onlyName.ItemName, "Name only");
    EXPECT_EQ(onlyName.CommandLine, "");
    TGroupItemLine noDir = ParseGroupItemLine("\"N\",\"cmd\"");
    EXPECT_EQ(noDir.ItemName, "N");
    EXPECT_EQ(noDir.CommandLine, "cmd");
    EXPECT_EQ(noDir.DefaultDir, "");
    TGroupItemLine partial = ParseGroupItemLine("\"N\",\"cmd\",dir,icon,5");
    EXPECT_EQ(partial.IconPath, "icon");
    EXPECT_EQ(partial.XPos, 5);
    EXPECT_EQ(partial.YPos, 0);
    for (const char* odd : {"", "\"", "\"\"", "\",", "\",\"", "\",\",", "x", ",,,,,,,,,,,,"}) {
        TGroupItemLine i = ParseGroupItemLine(odd);
        EXPECT_EQ(i.XPos, 0) << odd;
    }
}

TEST(ProgManReply, ItemLine_FormatReadsBack) {
    TGroupItemLine item;
    item.ItemName = "Spell (check), \"beta\"";
    item.CommandLine = "\"C:\\Program Files (x86)\\spell.exe\" /a";
    item.DefaultDir = "C:\\Work Dir";
    item.IconPath = "";
    item.XPos = -3;
    item.YPos = 70;
    item.IconIndex = 1;
    item.HotKey = 0;
    item.Minimize = 1;
    item.SeparateMemory = 1;
    const std::string line = FormatGroupItemLine(item);
    EXPECT_EQ(line,
              "\"Spell (check), \"beta\"\",\"\"C:\\Program Files (x86)\\spell.exe\" /a\",C:\\Work Dir,,-3,70,1,0,1,1");
    EXPECT_EQ(ParseGroupItemLine(line), item);
    // A comma in the directory cannot be told apart from a field end: the
    // round trip shows the misreading.
    item.DefaultDir = "C:\\a,b";
    EXPECT_NE(ParseGroupItemLine(FormatGroupItemLine(item)), item);
}

TEST(ProgManReply, GroupReply_HeadAndItems) {
    std::optional<ProgManGroupReply> r = ParseGroupReply(
        "\"Main, old\",C:\\WINDOWS\\MAIN.GRP,2\r\n\"A\",\"a.exe\",,,1,2,0,0,0,0\r\n\r\n"
        "\"B\",\"b.exe /x\",C:\\B,b.ico,3,4,5,6,1,0\r\n");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Name, "Main, old");
    EXPECT_EQ(r->Path, "C:\\WINDOWS\\MAIN.GRP");
    EXPECT_EQ(r->ItemCount, 2);
    ASSERT_EQ(r->Items.size(), 2u);
    ASSERT_EQ(r->ItemLines.size(), 2u);
    EXPECT_EQ(r->ItemLines[1], "\"B\",\"b.exe /x\",C:\\B,b.ico,3,4,5,6,1,0");
    EXPECT_EQ(r->Items[1].CommandLine, "b.exe /x");
    EXPECT_EQ(r->Items[1].IconIndex, 5);

    std::optional<ProgManGroupReply> headOnly = ParseGroupReply("\"Empty\",C:\\E.GRP,0,1,2\r\n");
    ASSERT_TRUE(headOnly);
    EXPECT_EQ(headOnly->Name, "Empty");
    EXPECT_EQ(headOnly->ItemCount, 0);
    EXPECT_TRUE(headOnly->Items.empty());

    EXPECT_FALSE(ParseGroupReply(""));
    std::optional<ProgManGroupReply> bare = ParseGroupReply("Bare name");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->Name, "Bare name");
    EXPECT_EQ(bare->Path, "");
}

// ---------------------------------------------------------------- commands

TEST(ProgManCommands, Parse_SeveralCommandsWithAndWithoutSeparators) {
    ProgManCommandList l = ParseProgManCommands(
        " [CreateGroup(Tools)][ addItem ( a.exe , Title A ) ]\r\n\t[ExitProgman]\r\n[ShowGroup(Tools,1)]\r\n");
    ASSERT_TRUE(l.Ok) << l.Error;
    ASSERT_EQ(l.Commands.size(), 4u);
    EXPECT_EQ(l.Commands[0].Name, "CreateGroup");
    EXPECT_EQ(l.Commands[0].Args, Lines({"Tools"}));
    EXPECT_EQ(l.Commands[1].Name, "addItem");
    EXPECT_EQ(l.Commands[1].Args, Lines({"a.exe", "Title A"}));
    EXPECT_TRUE(l.Commands[2].Args.empty());
    EXPECT_EQ(l.Commands[3].Args, Lines({"Tools", "1"}));
    EXPECT_TRUE(ParseProgManCommands("").Ok);
    EXPECT_TRUE(ParseProgManCommands(" \r\n ").Ok);
}

TEST(ProgManCommands, Parse_QuotedArgumentsKeepCommasParenthesesBlanksAndQuotes) {
    ProgManCommandList l = ParseProgManCommands(
        "[AddItem(\"C:\\Program Files (x86)\\a.exe\" , \" x, y \",, \"say \"\"hi\"\"\",\"\",\"[b]\")]");
    ASSERT_TRUE(l.Ok) << l.Error;
    ASSERT_EQ(l.Commands.size(), 1u);
    EXPECT_EQ(l.Commands[0].Args, Lines({"C:\\Program Files (x86)\\a.exe", " x, y ", "", "say \"hi\"", "", "[b]"}));
    ProgManCommandList empty = ParseProgManCommands("[ExitProgman()][DeleteItem( )]");
    ASSERT_TRUE(empty.Ok);
    EXPECT_TRUE(empty.Commands[0].Args.empty());
    EXPECT_TRUE(empty.Commands[1].Args.empty());
}

TEST(ProgManCommands, Parse_MalformedTextIsRefusedWhole) {
    const char* bad[] = {
        "[CreateGroup(a)",          // no closing bracket
        "CreateGroup(a)]",          // no opening bracket
        "[CreateGroup(a]",          // no closing parenthesis
        "[CreateGroup(a))]",        // one too many
        "[CreateGroup((a)]",        // parenthesis in a bare argument
        "[CreateGroup(\"a)]",       // unterminated quote
        "[CreateGroup(\"a\"b)]",    // text after a quoted argument
        "[CreateGroup(a\"b\")]",    // quote inside a bare argument
        "[CreateGroup(a[b])]",      // bracket inside a bare argument
        "[CreateGroup(a\r\nb)]",    // line end inside an argument
        "[CreateGroup(\"a\nb\")]",  // also when quoted
        "[(a)]",                    // no name
        "[]",                       // no name
        "[Create Group(a)]",        // blank inside the name
        "[CreateGroup(a)] junk",    // text between commands
        "[CreateGroup(a)][",        // cut short
        "[CreateGroup(a,",          // cut short inside the arguments
        "[CreateGroup(a) x]",       // text before the bracket
    };
    for (const char* text : bad) {
        ProgManCommandList l = ParseProgManCommands(text);
        EXPECT_FALSE(l.Ok) << text;
        EXPECT_TRUE(l.Commands.empty()) << text;
        EXPECT_NE(l.Error.find("offset"), std::string::npos) << text;
    }
}

TEST(ProgManCommands, Parse_AbsurdSizesAreRefused) {
    const std::string longArg(kProgManMaxField + 1, 'x');
    EXPECT_FALSE(ParseProgManCommands("[AddItem(" + longArg + ")]").Ok);
    EXPECT_FALSE(ParseProgManCommands("[AddItem(\"" + longArg + "\")]").Ok);
    EXPECT_TRUE(ParseProgManCommands("[AddItem(" + longArg.substr(1) + ")]").Ok);
    std::string manyArgs = "[AddItem(a";
    for (std::size_t i = 0; i < kProgManMaxArgs; ++i)
        manyArgs += ",a";
    EXPECT_FALSE(ParseProgManCommands(manyArgs + ")]").Ok);
    EXPECT_FALSE(ParseProgManCommands("[" + std::string(kProgManMaxName + 1, 'N') + "]").Ok);
    // A long text of many commands is parsed in one pass.
    std::string many;
    for (int i = 0; i < 20000; ++i)
        many += "[DeleteItem(x)]";
    ProgManCommandList l = ParseProgManCommands(many);
    ASSERT_TRUE(l.Ok);
    EXPECT_EQ(l.Commands.size(), 20000u);
}

TEST(ProgManCommands, Quote_OnlyWhatNeedsItAndReadsBack) {
    EXPECT_EQ(QuoteProgManArgument("C:\\QUILL\\QUILL.EXE"), "C:\\QUILL\\QUILL.EXE");
    EXPECT_EQ(QuoteProgManArgument("a b"), "a b");
    EXPECT_EQ(QuoteProgManArgument(""), "");
    EXPECT_EQ(QuoteProgManArgument("a,b"), "\"a,b\"");
    EXPECT_EQ(QuoteProgManArgument("x (y)"), "\"x (y)\"");
    EXPECT_EQ(QuoteProgManArgument("\"q\" /a"), "\"\"\"q\"\" /a\"");
    EXPECT_EQ(QuoteProgManArgument(" lead"), "\" lead\"");
    // Any text without a line end survives quoting and parsing.
    std::mt19937 rng(7);
    const std::string alphabet = "ab ,()[]\"\t\\:.%x";
    for (int round = 0; round < 3000; ++round) {
        std::string field;
        const int n = static_cast<int>(rng() % 12);
        for (int i = 0; i < n; ++i)
            field += alphabet[rng() % alphabet.size()];
        ProgManCommandList l = ParseProgManCommands("[AddItem(" + QuoteProgManArgument(field) + ",z)]");
        ASSERT_TRUE(l.Ok) << field << ": " << l.Error;
        ASSERT_EQ(l.Commands[0].Args.size(), 2u) << field;
        EXPECT_EQ(l.Commands[0].Args[0], field);
    }
}

// ---------------------------------------------------------------- group set

TEST(ProgManGroupSet, CreateAddAndReplyInTheReplyFormat) {
    ProgManGroupSet set;
    EXPECT_EQ(ReplyOf(set, "Groups"), "");
    auto o = set.Execute(
        "[CreateGroup(Quill Tools)]"
        "[AddItem(\"C:\\QUILL\\QUILL.EXE /n\",\"Quill, editor\",C:\\QUILL\\Q.ICO,2,10,20,C:\\QUILL\\DOCS,0,1)]"
        "[AddItem(C:\\QUILL\\SPELL.EXE)]");
    ASSERT_TRUE(o.Ok) << o.Error;
    EXPECT_FALSE(o.Quit);
    EXPECT_EQ(ReplyOf(set, "Groups"), "Quill Tools\r\n");
    EXPECT_EQ(ReplyOf(set, "groups"), "Quill Tools\r\n");
    set.Groups()[0].FileName = "group0001.txt";
    EXPECT_EQ(ReplyOf(set, "QUILL TOOLS"),
              "\"Quill Tools\",C:\\groups\\group0001.txt,2\r\n"
              "\"Quill, editor\",\"C:\\QUILL\\QUILL.EXE /n\",C:\\QUILL\\DOCS,C:\\QUILL\\Q.ICO,10,20,2,0,1,0\r\n"
              "\"SPELL\",\"C:\\QUILL\\SPELL.EXE\",,,91,16,0,0,0,0\r\n");
    EXPECT_EQ(ReplyOf(set, "No such group"), "<none>");
    EXPECT_TRUE(set.Groups()[0].Dirty);
}

TEST(ProgManGroupSet, CreateGroupOfAnExistingGroupMakesItCurrent) {
    ProgManGroupSet set;
    ASSERT_TRUE(set.Execute("[CreateGroup(A,C:\\A.GRP)][CreateGroup(B)][AddItem(b.exe)]").Ok);
    ASSERT_TRUE(set.Execute("[CreateGroup(a)][AddItem(a.exe)]").Ok);
    ASSERT_EQ(set.Groups().size(), 2u);
    EXPECT_EQ(set.Groups()[0].Items.size(), 1u);
    EXPECT_EQ(set.Groups()[0].Items[0].CommandLine, "a.exe");
    EXPECT_EQ(set.Groups()[1].Items.size(), 1u);
    EXPECT_EQ(ReplyOf(set, "A").substr(0, 19), "\"A\",C:\\A.GRP,1\r\n\"a\"");
    ASSERT_TRUE(set.Execute("[ShowGroup(b,1)][AddItem(c.exe,C)]").Ok);
    EXPECT_EQ(set.Groups()[1].Items.size(), 2u);
}

TEST(ProgManGroupSet, ReplaceItemGivesItsPlaceAndPositionToTheNextAddItem) {
    ProgManGroupSet set;
    ASSERT_TRUE(
        set.Execute("[CreateGroup(G)][AddItem(a.exe,A,,,1,1)][AddItem(b.exe,B,,,2,2)][AddItem(c.exe,C,,,3,3)]").Ok);
    ASSERT_TRUE(set.Execute("[CreateGroup(G)][ReplaceItem(b)][AddItem(d:\\b.exe,B,,,,,d:\\)]").Ok);
    // (An execute replaces the groups as a whole: look them up afresh.)
    auto items = set.Groups()[0].Items;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].ItemName, "B");
    EXPECT_EQ(items[1].CommandLine, "d:\\b.exe");
    EXPECT_EQ(items[1].DefaultDir, "d:\\");
    EXPECT_EQ(items[1].XPos, 2);
    EXPECT_EQ(items[1].YPos, 2);
    // A position given to AddItem wins; the place in the list stays.
    ASSERT_TRUE(set.Execute("[ReplaceItem(A)][AddItem(a2.exe,A,,,50,60)]").Ok);
    items = set.Groups()[0].Items;
    EXPECT_EQ(items[0].CommandLine, "a2.exe");
    EXPECT_EQ(items[0].XPos, 50);
    // The place is used once; the next AddItem goes to the end.
    ASSERT_TRUE(set.Execute("[AddItem(e.exe,E)]").Ok);
    items = set.Groups()[0].Items;
    EXPECT_EQ(items.back().ItemName, "E");
}

TEST(ProgManGroupSet, DeleteItemDeleteGroupAndRemovedFiles) {
    ProgManGroupSet set;
    ASSERT_TRUE(set.Execute("[CreateGroup(G)][AddItem(a.exe,A)][AddItem(b.exe,B)][DeleteItem(a)]").Ok);
    ASSERT_EQ(set.Groups()[0].Items.size(), 1u);
    EXPECT_EQ(set.Groups()[0].Items[0].ItemName, "B");
    set.Groups()[0].FileName = "group0003.txt";
    ASSERT_TRUE(set.Execute("[DeleteGroup(g)]").Ok);
    EXPECT_TRUE(set.Groups().empty());
    EXPECT_EQ(set.RemovedFiles(), Lines({"group0003.txt"}));
    // The deleted group was current: item commands now have no group.
    EXPECT_FALSE(set.Execute("[AddItem(x.exe)]").Ok);
}

TEST(ProgManGroupSet, FailingCommandLeavesEverythingAsItWas) {
    ProgManGroupSet set;
    ASSERT_TRUE(set.Execute("[CreateGroup(G)][AddItem(a.exe,A)]").Ok);
    set.Groups()[0].Dirty = false;
    const std::string before = Snapshot(set);
    const char* failing[] = {
        "[ReplaceItem(A)][AddItem(x.exe,A,,notanumber)]",  // the replaced item must not be lost
        "[ReplaceItem(A)][AddItem(x.exe,A,,,5)]",          // x without y
        "[ReplaceItem(A)][AddItem()]",                     // no command line
        "[ReplaceItem(A)][AddItem(,A)]",
        "[DeleteItem(A)][DeleteItem(A)]",  // second one finds nothing
        "[CreateGroup(New)][ShowGroup(Missing,1)]",
        "[CreateGroup(New)][DeleteGroup(Missing)]",
        "[CreateGroup()]",
        "[CreateGroup(G,p,extra)]",
        "[ShowGroup(G,x)]",
        "[ReplaceItem(A)][NoSuchCommand(1)]",
        "[ReplaceItem(A,B)]",
        "[ReplaceItem(A)][AddItem(x.exe)",  // malformed: nothing runs
        "[ExitProgman(1,2)]",
    };
    for (const char* text : failing) {
        ProgManGroupSet::Outcome o = set.Execute(text);
        EXPECT_FALSE(o.Ok) << text;
        EXPECT_FALSE(o.Error.empty()) << text;
        EXPECT_FALSE(o.Quit) << text;
        EXPECT_EQ(Snapshot(set), before) << text;
    }
    // Without a current group at the start, item commands fail.
    ProgManGroupSet fresh;
    EXPECT_FALSE(fresh.Execute("[AddItem(a.exe)]").Ok);
    EXPECT_FALSE(fresh.Execute("[ReplaceItem(a)]").Ok);
}

TEST(ProgManGroupSet, LimitsOnGroupsNamesAndItems) {
    ProgManGroupSet set;
    EXPECT_FALSE(set.Execute("[CreateGroup(" + std::string(ProgManGroupSet::kMaxGroupName + 1, 'n') + ")]").Ok);
    std::string many;
    for (std::size_t i = 0; i <= ProgManGroupSet::kMaxGroups; ++i)
        many += "[CreateGroup(g" + std::to_string(i) + ")]";
    EXPECT_FALSE(set.Execute(many).Ok);
    EXPECT_TRUE(set.Groups().empty());
    std::string items = "[CreateGroup(G)]";
    for (std::size_t i = 0; i <= ProgManGroupSet::kMaxItems; ++i)
        items += "[AddItem(a.exe)]";
    EXPECT_FALSE(set.Execute(items).Ok);
    EXPECT_TRUE(set.Groups().empty());
}

TEST(ProgManGroupSet, ExitAndDefaultTitles) {
    ProgManGroupSet set;
    ProgManGroupSet::Outcome o = set.Execute(
        "[CreateGroup(G)][AddItem(\"\"\"C:\\Program Files\\My App.exe\"\" "
        "/x\")][AddItem(c:notepad)][AddItem(tool.v2.exe "
        "a.b)][exitprogman(1)]");
    ASSERT_TRUE(o.Ok) << o.Error;
    EXPECT_TRUE(o.Quit);
    const auto& items = set.Groups()[0].Items;
    EXPECT_EQ(items[0].ItemName, "My App");
    EXPECT_EQ(items[1].ItemName, "notepad");
    EXPECT_EQ(items[2].ItemName, "tool.v2");
}

TEST(ProgManGroupSet, LoadRefusesDuplicateNames) {
    ProgManGroupSet set;
    ProgManGroup g;
    g.Name = "Main";
    g.Dirty = true;
    EXPECT_TRUE(set.Load(g));
    EXPECT_FALSE(set.Load(g));
    g.Name = "MAIN";
    EXPECT_FALSE(set.Load(g));
    EXPECT_FALSE(set.Groups()[0].Dirty);
}

// ---------------------------------------------------------------- group files

TEST(ProgManGroupFile, RoundTripKeepsEveryField) {
    ProgManGroup g;
    g.Name = "100% tools\twith tab";
    g.Path = "C:\\x,y.grp";
    TGroupItemLine a;
    a.ItemName = "A \"quoted\", (x)";
    a.CommandLine = "%windir%\\a.exe\t/b";
    a.DefaultDir = "C:\\";
    a.IconPath = "C:\\a.ico";
    a.XPos = -5;
    a.YPos = 2147483647;
    a.IconIndex = 3;
    a.HotKey = 1601;
    a.Minimize = 1;
    a.SeparateMemory = -1;
    g.Items.push_back(a);
    g.Items.push_back(TGroupItemLine{});
    const std::string text = FormatGroupFile(g);
    std::optional<ProgManGroup> back = ParseGroupFile(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Name, g.Name);
    EXPECT_EQ(back->Path, g.Path);
    ASSERT_EQ(back->Items.size(), 2u);
    EXPECT_EQ(back->Items[0], a);
    EXPECT_EQ(back->Items[1], TGroupItemLine{});
    EXPECT_EQ(FormatGroupFile(*back), text);
    // Plain LF line ends read as well.
    std::string lf;
    for (char c : text)
        if (c != '\r')
            lf += c;
    EXPECT_TRUE(ParseGroupFile(lf));
}

TEST(ProgManGroupFile, MalformedFilesAreRefusedWhole) {
    const std::string head = "MxProgMan group file 1\r\n";
    const std::string item = "Item=a\tb\tc\td\t1\t2\t3\t4\t5\t6\r\n";
    ASSERT_TRUE(ParseGroupFile(head + "Name=G\r\n" + item));
    const std::string bad[] = {
        "",
        "Name=G\r\n",                                           // no header
        "MxProgMan group file 2\r\nName=G\r\n",                 // other version
        head,                                                   // no name
        head + "Name=\r\n",                                     // empty name
        head + "Name=G\r\nName=H\r\n",                          // two names
        head + "Name=G\r\nColour=red\r\n",                      // unknown key
        head + "Name=G\r\njunk\r\n",                            // no '='
        head + "Name=G%\r\n",                                   // cut escape
        head + "Name=G%4\r\n",                                  // cut escape
        head + "Name=G%41\r\n",                                 // unknown escape
        head + "Name=G%0D\r\n",                                 // line end in a name
        head + "Name=G\r\nItem=a\tb\tc\td\t1\t2\t3\t4\t5\r\n",  // nine fields
        head + "Name=G\r\nItem=a\tb\tc\td\t1\t2\t3\t4\t5\t6\t7\r\n",
        head + "Name=G\r\nItem=a\tb\tc\td\tx\t2\t3\t4\t5\t6\r\n",   // not a number
        head + "Name=G\r\nItem=a\tb\tc\td\t 1\t2\t3\t4\t5\t6\r\n",  // blank before a number
        head + "Name=G\r\nItem=a\tb\tc\td\t1\t2\t3\t4\t5\t99999999999\r\n",
        head + "Name=G\r\nItem=a%0A\tb\tc\td\t1\t2\t3\t4\t5\t6\r\n",
        head + "Name=" + std::string(ProgManGroupSet::kMaxGroupName + 1, 'n') + "\r\n",
    };
    for (const std::string& text : bad)
        EXPECT_FALSE(ParseGroupFile(text)) << text;
}

// ---------------------------------------------------------------- fuzz

// Random and mutated input never crashes a parser, and a refused execute
// never changes the groups.
TEST(ProgManFuzz, RandomInputToEveryParser) {
    std::mt19937 rng(20240611);
    const std::string alphabet = "[]()\",\r\n\t %09AaGgIiRr0123456789-=\\:";
    const std::string seeds[] = {
        "[CreateGroup(G)][AddItem(\"a,b\",T,i,1,2,3,d,4,5,6)][ReplaceItem(T)][AddItem(x,T)]",
        "\"Name\",\"cmd\",dir,icon,1,2,3,4,5,6",
        "MxProgMan group file 1\r\nName=G\r\nPath=p\r\nItem=a\tb\tc\td\t1\t2\t3\t4\t5\t6\r\n",
        "\"G\",C:\\g.grp,1\r\n\"A\",\"a.exe\",,,1,2,0,0,0,0\r\n",
    };
    ProgManGroupSet set;
    ASSERT_TRUE(set.Execute("[CreateGroup(G)][AddItem(a.exe,T)][AddItem(b.exe,U)]").Ok);
    for (int round = 0; round < 10000; ++round) {
        std::string text;
        if (round % 2 == 0) {
            const int n = static_cast<int>(rng() % 64);
            for (int i = 0; i < n; ++i)
                text += alphabet[rng() % alphabet.size()];
        } else {
            text = seeds[rng() % 4];
            const int edits = 1 + static_cast<int>(rng() % 4);
            for (int e = 0; e < edits && !text.empty(); ++e) {
                const std::size_t at = rng() % text.size();
                switch (rng() % 3) {
                    case 0:
                        text.erase(at, 1);
                        break;
                    case 1:
                        text.insert(at, 1, alphabet[rng() % alphabet.size()]);
                        break;
                    default:
                        text[at] = static_cast<char>(rng() % 256);
                        break;
                }
            }
        }
        (void)ParseGroupItemLine(text);
        (void)ParseGroupReply(text);
        (void)SplitReplyLines(text);
        std::optional<ProgManGroup> g = ParseGroupFile(text);
        if (g) {
            std::optional<ProgManGroup> again = ParseGroupFile(FormatGroupFile(*g));
            ASSERT_TRUE(again) << text;
            EXPECT_EQ(again->Items.size(), g->Items.size());
        }
        const std::string before = Snapshot(set);
        ProgManGroupSet::Outcome o = set.Execute(text);
        if (!o.Ok) {
            ASSERT_EQ(Snapshot(set), before) << text;
        }
        if (set.Groups().size() > 50 || o.Quit) {
            set = ProgManGroupSet();
            ASSERT_TRUE(set.Execute("[CreateGroup(G)][AddItem(a.exe,T)][AddItem(b.exe,U)]").Ok);
        }
    }
}
