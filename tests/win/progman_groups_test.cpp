// Program Manager groups as a target under Wine: the group search thread and
// the group replacer against the substitute mxprogman.exe (started by the
// test or by the conversation), the replaced groups read back from it, and
// both against Wine's own Program Manager service.
#include <gtest/gtest.h>

#include <windows.h>

#include <ddeml.h>

#include <algorithm>
#include <string>
#include <cstdio>
#include <memory>
#include <vector>

#include "dde_test_support_win.h"
#include "search_test_support_win.h"
#include "platform/dde_handles_win.h"
#include "platform/handles.h"
#include "platform/wide_text_win.h"
#include "targets/dde_conversation_win.h"
#include "group_model.h"
#include "targets/progman_commands.h"
#include "targets/progman_groups_win.h"

using namespace movix;
using movix_dde_test::Pid;
using movix_dde_test::Pump;
using movix_dde_test::RemoveFolder;
using movix_dde_test::ServerWindow;
using movix_dde_test::Substitute;
using movix_dde_test::SubstituteCopy;
using movix_dde_test::TempFolder;
using movix_dde_test::WindowsFolder;
using movix_test::FoundHit;

namespace {

const char kOld[] = "C:\\MXOLD";

HDDEDATA CALLBACK IgnoreDdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

ProgManGroup Group(const std::string& name, const std::vector<std::string>& itemLines) {
    ProgManGroup g;
    g.Name = name;
    for (const std::string& line : itemLines)
        g.Items.push_back(ParseGroupItemLine(line));
    return g;
}

// Group files in the substitute's folder, as it keeps them: what it serves
// when it starts.
void PlantGroups(const std::string& folder, const std::vector<ProgManGroup>& groups) {
    ::CreateDirectoryA(folder.c_str(), nullptr);
    int n = 0;
    for (const ProgManGroup& g : groups) {
        char name[32];
        std::snprintf(name, sizeof name, "\\group%04d.txt", ++n);
        movix_test::WriteFileBytes(folder + name, FormatGroupFile(g));
    }
}

// The search's groups: one with only its first line, one with hits in
// several fields and two items of one name, one without hits.
std::vector<ProgManGroup> SearchGroups() {
    return {
        Group("Empty Group", {}),
        Group("Quill, (tools)",
              {
                  "\"Quill\",\"C:\\MXOLD\\QUILL.EXE /n\",c:\\mxold\\DOCS,C:\\MXOLD\\QUILL.ICO,16,40,2,1617,1,0",
                  "\"Notepad\",\"C:\\WINDOWS\\NOTEPAD.EXE\",C:\\WINDOWS,,91,40,0,0,0,0",
                  "\"Twin\",\"C:\\MXOLD\\TWIN.EXE\",C:\\TEMP,,166,40,0,0,0,0",
                  "\"Twin\",\"C:\\MXOLD\\TWIN.EXE /2\",C:\\MXOLD,,241,40,3,0,0,1",
                  "\"Odd\",\"\"C:\\MXOLD\\ODD.EXE\" /x\",C:\\MXOLD,,316,40,0,0,0,0",
              }),
        Group("Accessories", {"\"Clock\",\"C:\\WINDOWS\\CLOCK.EXE\",C:\\WINDOWS,,16,16,0,0,0,0"}),
    };
}

class ProgManGroups : public movix_test::UiFixture {
  protected:
    void SetUp() override {
        UiFixture::SetUp();
        ASSERT_NE(::GetFileAttributesA(movix_dde_test::SubstitutePath().c_str()), INVALID_FILE_ATTRIBUTES);
        service_ = "MxPG" + Pid() + "_" + std::to_string(++counter_);
        folder_ = TempFolder("mxpg-groups-" + std::to_string(counter_));
    }
    void TearDown() override {
        RemoveFolder(folder_);
        UiFixture::TearDown();
    }

    // Runs the group search over `conv`, opened on this thread as the
    // search run does.
    // `fatal`: the error that is to end the search ("" for none).
    std::vector<FoundHit> Search(TDdeClientConv& conv, const std::string& service, const std::string& fatal = "") {
        hits_.clear();
        conv.SetLink(service, "ProgMan");
        conv.OpenLink();
        auto* thread = new TSearchGrpThread(2, kOld, label_, Collector(), &conv);
        RunToEnd(thread);
        EXPECT_EQ(fatal_, fatal);
        conv.CloseLink();
        return hits_;
    }

    // The replacer, then the commands sent as the replacement run sends
    // them; the log lines come back.
    std::vector<std::string> Replace(TDdeClientConv& conv,
                                     std::vector<TReplaceGroup> groups,
                                     const std::string& newAddr,
                                     const std::string& service,
                                     bool* accepted = nullptr) {
        std::vector<std::string> log;
        std::vector<std::string> commands;
        ReplaceProgManGroups(
            groups, kOld, newAddr, label_, [&](const std::string& l) { log.push_back(l); }, conv, commands, service);
        if (!commands.empty()) {
            conv.SetLink(service, "ProgMan");
            conv.OpenLink();
            if (conv.ExecuteMacroLines(commands)) {
                EXPECT_TRUE(Pump(10000, [&] { return !conv.Waiting(); }));
            }
            if (accepted)
                *accepted = conv.LastExecuteAccepted();
            conv.CloseLink();
        }
        return log;
    }

    std::vector<std::string> GroupLines(TDdeClientConv& conv, const std::string& service, const std::string& name) {
        conv.SetLink(service, "ProgMan");
        conv.OpenLink();
        std::vector<std::string> lines = SplitReplyLines(conv.RequestData(name).value_or(""));
        conv.CloseLink();
        return lines;
    }

    std::string service_;
    std::string folder_;
    static int counter_;
};

int ProgManGroups::counter_ = 0;

// The hits that the search of SearchGroups() gives, in order.
std::vector<FoundHit> ExpectedSearchHits() {
    const std::string g = "Quill, (tools)";
    return {
        {"Quill", g, "C:\\MXOLD\\QUILL.EXE /n", 2, 2}, {"Quill", g, "c:\\mxold\\DOCS", 2, 4},
        {"Quill", g, "C:\\MXOLD\\QUILL.ICO", 2, 3},    {"Twin", g, "C:\\MXOLD\\TWIN.EXE", 2, 2},
        {"Twin", g, "C:\\MXOLD\\TWIN.EXE /2", 2, 2},   {"Twin", g, "C:\\MXOLD", 2, 4},
        {"Odd", g, "\"C:\\MXOLD\\ODD.EXE\" /x", 2, 2}, {"Odd", g, "C:\\MXOLD", 2, 4},
    };
}

// What the replacement run hands over for those hits: sorted by item.
std::vector<TReplaceGroup> ReplaceInput(const std::vector<FoundHit>& hits) {
    std::vector<FoundHit> sorted = hits;
    std::stable_sort(sorted.begin(), sorted.end(), [](const FoundHit& a, const FoundHit& b) {
        return a.path != b.path ? a.path < b.path : a.item < b.item;
    });
    std::vector<TReplaceGroup> groups;
    for (const FoundHit& h : sorted) {
        if (groups.empty() || groups.back().Key != h.path)
            groups.push_back({h.path, {}});
        groups.back().Hits.push_back({h.item, h.subType});
    }
    return groups;
}

}  // namespace

TEST_F(ProgManGroups, SearchThenReplace_TheSubstituteHoldsTheRebuiltItems) {
    PlantGroups(folder_, SearchGroups());
    Substitute server(service_, "ProgMan", folder_);
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;

    const std::vector<FoundHit> hits = Search(conv, service_);
    EXPECT_EQ(hits, ExpectedSearchHits());
    // The progress label shows the last group asked for.
    EXPECT_EQ(LabelText(), "In Accessories");

    // A hit on an item the group no longer has, and a group that is gone.
    std::vector<TReplaceGroup> input = ReplaceInput(hits);
    input[0].Hits.push_back({"Vanished", 3});
    input.push_back({"Empty Group", {{"Ghost", 2}}});
    bool accepted = false;
    const std::string newAddr = "C:\\Program Files (x86)\\Quill";
    const std::vector<std::string> log = Replace(conv, input, newAddr, service_, &accepted);
    EXPECT_TRUE(accepted);
    const ProgManGroup planted = SearchGroups()[1];
    const std::vector<std::string> expectedLog = {
        "",
        "Updating ProgMan Group Quill, (tools)",
        "             item: " + FormatGroupItemLine(planted.Items[0]),
        "       changed to: \"C:\\Program Files (x86)\\Quill\\QUILL.EXE /n\",Quill,"
        "\"C:\\Program Files (x86)\\Quill\\QUILL.ICO\",2,16,40,\"C:\\Program Files (x86)\\Quill\\DOCS\",1617,1,0",
        "             item: " + FormatGroupItemLine(planted.Items[2]),
        "       changed to: \"C:\\Program Files (x86)\\Quill\\TWIN.EXE\",Twin,,0,166,40,C:\\TEMP,0,0,0",
        "***** Item left unchanged, its command line cannot be sent to Program Manager: " +
            FormatGroupItemLine(planted.Items[4]),
        "***** Updated Quill, (tools), but some items not found:",
        "    ico for Vanished",
        "",
        "Updating ProgMan Group Empty Group",
        "***** Updated Empty Group, but some items not found:",
        "    cmd for Ghost",
    };
    EXPECT_EQ(log, expectedLog);
    EXPECT_EQ(LabelText(), "Empty Group");

    // Asked afterwards, the substitute has every item in its place with its
    // fields: the first Twin took both Twin hits, the second is as it was,
    // and the item that could not be sent is unchanged, not lost.
    const std::vector<std::string> lines = GroupLines(conv, service_, "Quill, (tools)");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1],
              "\"Quill\",\"C:\\Program Files (x86)\\Quill\\QUILL.EXE /n\",C:\\Program Files (x86)\\Quill\\DOCS,"
              "C:\\Program Files (x86)\\Quill\\QUILL.ICO,16,40,2,1617,1,0");
    EXPECT_EQ(lines[2], FormatGroupItemLine(planted.Items[1]));
    EXPECT_EQ(lines[3], "\"Twin\",\"C:\\Program Files (x86)\\Quill\\TWIN.EXE\",C:\\TEMP,,166,40,0,0,0,0");
    EXPECT_EQ(lines[4], FormatGroupItemLine(planted.Items[3]));
    EXPECT_EQ(lines[5], FormatGroupItemLine(planted.Items[4]));
    EXPECT_EQ(GroupLines(conv, service_, "Empty Group").size(), 1u);
    EXPECT_EQ(GroupLines(conv, service_, "Accessories"),
              SplitReplyLines(FormatGroupReply(SearchGroups()[2], folder_ + "\\group0003.txt")));
}

// Requests that time out give empty replies: in the search no hits; in the
// update the hits are listed as not found after three attempts, and the
// group receives only its CreateGroup, so every item stays as it was.
class ProgManGroupsTimeOut : public ProgManGroups {
  protected:
    void SetUp() override {
        ProgManGroups::SetUp();
        PlantGroups(folder_, {SearchGroups()[1]});
        // Longer than a request waits (10 s); "Groups" is answered at once.
        server_ = std::make_unique<Substitute>(service_, "ProgMan", folder_, "/requestdelay:11000");
        ASSERT_TRUE(server_->Running());
    }
    void TearDown() override {
        server_.reset();
        ProgManGroups::TearDown();
    }
    std::unique_ptr<Substitute> server_;
};

TEST_F(ProgManGroupsTimeOut, Search_NoHits) {
    TDdeClientConv conv;
    const DWORD start = ::GetTickCount();
    EXPECT_TRUE(Search(conv, service_).empty());
    EXPECT_GE(::GetTickCount() - start, 9000u) << "the request waited for its time-out";
    EXPECT_EQ(LabelText(), "In Quill, (tools)");
}

TEST_F(ProgManGroupsTimeOut, Replace_HitsNotFoundAndTheGroupKept) {
    TDdeClientConv conv;
    const std::vector<std::string> log = Replace(conv, {{"Quill, (tools)", {{"Quill", 2}}}}, "D:\\NEW", service_);
    EXPECT_EQ(log, (std::vector<std::string>{
                       "", "Updating ProgMan Group Quill, (tools)",
                       "***** Updated Quill, (tools), but some items not found:", "    cmd for Quill"}));
    server_->End();
    std::optional<ProgManGroup> saved = ParseGroupFile(movix_test::ReadFileBytes(folder_ + "\\group0001.txt"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->Items, SearchGroups()[1].Items);
}

// No server runs: the conversation that the search run opens starts the
// server program from the Windows folder, and the search finds what it
// serves. Where no program is there either, the search ends by an error and the update
// lists its hits as not found.
TEST_F(ProgManGroups, ServerNotRunning_StartedByTheConversation) {
    TDdeClientConv conv;
    conv.StartWaitMs = 500;
    // Program Manager not answering is an error, never "0 matches".
    EXPECT_TRUE(Search(conv, service_, "Program Manager did not answer").empty());
    EXPECT_EQ(
        Replace(conv, {{"Quill, (tools)", {{"Quill", 2}}}}, "D:\\NEW", service_),
        (std::vector<std::string>{"", "Updating ProgMan Group Quill, (tools)",
                                  "***** Updated Quill, (tools), but some items not found:", "    cmd for Quill"}));

    // The started server keeps its groups under %APPDATA%.
    const std::string appData = TempFolder("mxpg-appdata");
    ::CreateDirectoryA(appData.c_str(), nullptr);
    PlantGroups(appData + "\\mxprogman-groups", SearchGroups());
    char saved[MAX_PATH * 2] = {};
    const DWORD n = ::GetEnvironmentVariableA("APPDATA", saved, sizeof saved);
    ::SetEnvironmentVariableA("APPDATA", appData.c_str());
    ScopeExit restore([&] {
        ::SetEnvironmentVariableA("APPDATA", n ? saved : nullptr);
        RemoveFolder(appData + "\\mxprogman-groups");
        RemoveFolder(appData);
    });
    SubstituteCopy program(WindowsFolder() + "\\" + service_ + ".exe");
    ASSERT_TRUE(program.Copied());
    ASSERT_EQ(ServerWindow(service_, "ProgMan"), nullptr);

    conv.StartWaitMs = 5000;
    EXPECT_EQ(Search(conv, service_), ExpectedSearchHits());
    HWND window = ServerWindow(service_, "ProgMan");
    ASSERT_NE(window, nullptr) << "the conversation started the server";
    EXPECT_TRUE(movix_dde_test::EndServer(window));
}

// Mended: the server is started only by its full path in the Windows or
// system folder. A program of the service's name in the current folder or
// in a PATH folder is never run.
TEST_F(ProgManGroups, PlantedServerProgramInTheCurrentFolderOrPathIsNotRun) {
    // Wine, like Windows NT, keeps Program Manager in the system folder.
    char system[MAX_PATH];
    ::GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(TDdeClientConv::ServerProgram("ProgMan"), std::string(system) + "\\ProgMan.exe");
    EXPECT_EQ(TDdeClientConv::ServerProgram("notepad"), WindowsFolder() + "\\notepad.exe");
    EXPECT_EQ(TDdeClientConv::ServerProgram("..\\ProgMan"), "");
    EXPECT_EQ(TDdeClientConv::ServerProgram("C:ProgMan"), "");

    char cwd[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, cwd);
    const std::string pathFolder = TempFolder("mxpg-path");
    ::CreateDirectoryA(pathFolder.c_str(), nullptr);
    const std::string inCwd = "MxPlantCwd" + Pid();
    const std::string inPath = "MxPlantPath" + Pid();
    SubstituteCopy planted1(std::string(cwd) + "\\" + inCwd + ".exe");
    SubstituteCopy planted2(pathFolder + "\\" + inPath + ".exe");
    ASSERT_TRUE(planted1.Copied() && planted2.Copied());
    char oldPath[32768];
    const DWORD n = ::GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
    const std::string saved = n < sizeof oldPath ? std::string(oldPath, n) : std::string();
    ::SetEnvironmentVariableA("PATH", (pathFolder + ";" + saved).c_str());
    ScopeExit restore([&] {
        ::SetEnvironmentVariableA("PATH", saved.c_str());
        RemoveFolder(pathFolder);
    });

    for (const std::string& service : {inCwd, inPath}) {
        TDdeClientConv conv;
        conv.StartWaitMs = 2000;
        conv.SetLink(service, "ProgMan");
        EXPECT_FALSE(conv.OpenLink()) << service << " was started";
        ::Sleep(500);
        HWND window = ServerWindow(service, "ProgMan");
        EXPECT_EQ(window, nullptr) << service << " was started";
        if (window)
            movix_dde_test::EndServer(window);
    }
}

// Wine's own Program Manager service answers "Groups" and carries out
// CreateGroup, but gives no group's items: the search finds nothing there
// without failing, and the update lists its hits as not found.
TEST_F(ProgManGroups, WineProgManService_EmptyGroupReplyGivesNoHits) {
    // A substitute registered for "ProgMan" by another test would answer in
    // its place; wait until none is running.
    ASSERT_TRUE(movix_dde_test::WaitFor([] { return ServerWindow("ProgMan", "ProgMan") == nullptr; }, 30000));
    {
        // Without a server the start command would open a Program Manager
        // window: look first, without it.
        DdeInstance dde;
        ASSERT_EQ(dde.Initialize(&IgnoreDdeCallback, APPCMD_CLIENTONLY), static_cast<UINT>(DMLERR_NO_ERROR));
        DdeString name(dde.Id(), "ProgMan");
        DdeConversation c(::DdeConnect(dde.Id(), name.get(), name.get(), nullptr));
        if (!c)
            GTEST_SKIP() << "no Program Manager service answers on this system";
    }
    const std::string group = "MxGrpSearch" + Pid();
    TDdeClientConv conv;
    conv.SetLink("ProgMan", "ProgMan");
    ASSERT_TRUE(conv.OpenLink());
    ASSERT_TRUE(conv.ExecuteMacroLines({CreateGroupCommand(group)}));
    ASSERT_TRUE(Pump(10000, [&] { return !conv.Waiting(); }));
    EXPECT_TRUE(conv.LastExecuteAccepted());
    ScopeExit cleanup([&] {
        conv.SetLink("ProgMan", "ProgMan");
        if (conv.OpenLink() && conv.ExecuteMacroLines({"[DeleteGroup(" + group + ")]"}))
            Pump(10000, [&] { return !conv.Waiting(); });
        conv.CloseLink();
    });

    // The search asks for every group, the new one among them.
    conv.SetLink("ProgMan", "ProgMan");
    ASSERT_TRUE(conv.OpenLink());
    std::vector<std::string> names = SplitReplyLines(conv.RequestData("Groups").value_or(""));
    EXPECT_NE(std::find(names.begin(), names.end(), group), names.end());
    conv.CloseLink();
    EXPECT_TRUE(Search(conv, "ProgMan").empty());

    EXPECT_EQ(
        Replace(conv, {{group, {{"Quill", 2}}}}, "D:\\NEW", "ProgMan"),
        (std::vector<std::string>{"", "Updating ProgMan Group " + group,
                                  "***** Updated " + group + ", but some items not found:", "    cmd for Quill"}));
}

// Program Manager keeps its text in the legacy ANSI code page, the program in
// UTF-8: accented items are found in another letter case and replaced, and
// a New address the code page cannot hold is never sent as question marks.
TEST_F(ProgManGroups, AccentedItemsInTheCodePageFoundReplacedAndNeverSentAsQuestionMarks) {
    const std::string oldAddr = "C:\\Ünïcødé Prøgrâm";
    const std::string held = "c:\\üNÏCØDÉ PRØGRÂM";
    const ProgManGroup planted =
        Group("Outils été", {"\"Édition\",\"" + held + "\\ÉDIT.EXE\"," + held + ",,16,40,0,0,0,0"});
    std::string bytes;
    ASSERT_TRUE(Utf8ToCodePage(LegacyAnsiCodePage(), FormatGroupFile(planted), bytes));
    ASSERT_NE(bytes, FormatGroupFile(planted)) << "the file is in the code page, not UTF-8";
    ::CreateDirectoryA(folder_.c_str(), nullptr);
    movix_test::WriteFileBytes(folder_ + "\\group0001.txt", bytes);
    Substitute server(service_, "ProgMan", folder_);
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;

    hits_.clear();
    conv.SetLink(service_, "ProgMan");
    conv.OpenLink();
    RunToEnd(new TSearchGrpThread(2, oldAddr, label_, Collector(), &conv));
    conv.CloseLink();
    const std::vector<FoundHit> expected = {{"Édition", "Outils été", held + "\\ÉDIT.EXE", 2, 2},
                                            {"Édition", "Outils été", held, 2, 4}};
    EXPECT_EQ(hits_, expected);

    auto replace = [&](const std::string& newAddr) {
        std::vector<TReplaceGroup> groups = ReplaceInput(hits_);
        std::vector<std::string> log, commands;
        ReplaceProgManGroups(
            groups, oldAddr, newAddr, label_, [&](const std::string& l) { log.push_back(l); }, conv, commands,
            service_);
        if (!commands.empty()) {
            conv.SetLink(service_, "ProgMan");
            conv.OpenLink();
            EXPECT_TRUE(conv.ExecuteMacroLines(commands));
            EXPECT_TRUE(Pump(10000, [&] { return !conv.Waiting(); }));
            conv.CloseLink();
        }
        return log;
    };
    const std::vector<std::string> refused = replace("D:\\Новое место");
    EXPECT_EQ(refused, (std::vector<std::string>{"",
                                                 "***** The New address has characters Program Manager's code page "
                                                 "cannot hold; groups left as they are:",
                                                 "    Outils été"}));
    EXPECT_EQ(GroupLines(conv, service_, "Outils été").at(1), FormatGroupItemLine(planted.Items[0]));

    replace("D:\\Nouveau dossier Été");
    EXPECT_EQ(GroupLines(conv, service_, "Outils été").at(1),
              "\"Édition\",\"D:\\Nouveau dossier Été\\ÉDIT.EXE\",D:\\Nouveau dossier Été,,16,40,0,0,0,0");
}

// Program Manager finds the item that ReplaceItem names without regard to
// letter case in any script of its code page: an item after one whose name
// differs only so would take the other's place, and the other would be lost.
// Both stay as they are, and the log says why.
TEST_F(ProgManGroups, ItemNamedLikeAnEarlierOneInAnotherLetterCaseIsLeftUnchanged) {
    const ProgManGroup planted =
        Group("Outils", {
                            "\"Édition\",\"C:\\WINDOWS\\WRITE.EXE\",C:\\WINDOWS,,16,40,0,0,0,0",
                            "\"édition\",\"C:\\MXOLD\\EDIT.EXE\",C:\\MXOLD,,91,40,0,0,0,0",
                            "\"ŒUVRE\",\"C:\\WINDOWS\\OEUVRE.EXE\",C:\\WINDOWS,,166,40,0,0,0,0",
                            "\"œuvre\",\"C:\\MXOLD\\OEUVRE.EXE\",C:\\WINDOWS,,241,40,0,0,0,0",
                        });
    std::string bytes;
    ASSERT_TRUE(Utf8ToCodePage(LegacyAnsiCodePage(), FormatGroupFile(planted), bytes));
    ::CreateDirectoryA(folder_.c_str(), nullptr);
    movix_test::WriteFileBytes(folder_ + "\\group0001.txt", bytes);
    Substitute server(service_, "ProgMan", folder_);
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;

    const std::vector<std::string> log =
        Replace(conv, {{"Outils", {{"édition", 2}, {"édition", 4}, {"œuvre", 2}}}}, "D:\\NEW", service_);
    const std::vector<std::string> lines = GroupLines(conv, service_, "Outils");
    EXPECT_EQ(log, (std::vector<std::string>{
                       "",
                       "Updating ProgMan Group Outils",
                       "***** Item left unchanged, the item \"Édition\" before it would be replaced instead: " +
                           FormatGroupItemLine(planted.Items[1]),
                       "***** Item left unchanged, the item \"ŒUVRE\" before it would be replaced instead: " +
                           FormatGroupItemLine(planted.Items[3]),
                       "***** Updated Outils, but some items left unchanged",
                   }));
    ASSERT_EQ(lines.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(lines[i + 1], FormatGroupItemLine(planted.Items[i]));
}

// The pass of a replacement run holds its log until the execute has been
// answered: refused, every group that had items in it gets a "*****" line,
// in place of "Successfully updated" or after its own error lines; a group
// without changed items, and the run's own lines, stay as they were.
TEST_F(ProgManGroups, PassLogsEveryGroupOfARefusedExecute) {
    const std::vector<ProgManGroup> planted = {
        Group("Accessories", {"\"Clock\",\"C:\\MXOLD\\CLOCK.EXE\",C:\\WINDOWS,,16,16,0,0,0,0"}),
        Group("Quill", {"\"Quill\",\"C:\\MXOLD\\QUILL.EXE\",C:\\WINDOWS,,16,16,0,0,0,0"}),
        Group("Empty", {}),
    };
    PlantGroups(folder_, planted);
    Substitute server(service_, "ProgMan", folder_, "/refuseexecute");
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;
    TProgManPass pass(conv, service_);
    std::vector<TReplaceGroup> groups[] = {
        {{"Accessories", {{"Clock", 2}}}}, {{"Quill", {{"Quill", 2}, {"Ghost", 3}}}}, {{"Empty", {{"Ghost", 2}}}}};
    for (std::vector<TReplaceGroup>& one : groups) {
        pass.Replace(one, kOld, "D:\\NEW", label_);
        if (one[0].Key == "Accessories")
            pass.Log()("***** the run's own line");
    }
    std::vector<std::string> log;
    pass.Finish([&](const std::string& l) { log.push_back(l); }, [] { Pump(0); });
    const std::string why = ": Program Manager did not carry out the changes";
    EXPECT_EQ(log, (std::vector<std::string>{
                       "",
                       "Updating ProgMan Group Accessories",
                       "             item: " + FormatGroupItemLine(planted[0].Items[0]),
                       "       changed to: D:\\NEW\\CLOCK.EXE,Clock,,0,16,16,C:\\WINDOWS,0,0,0",
                       "***** Not updated Accessories" + why,
                       "***** the run's own line",
                       "",
                       "Updating ProgMan Group Quill",
                       "             item: " + FormatGroupItemLine(planted[1].Items[0]),
                       "       changed to: D:\\NEW\\QUILL.EXE,Quill,,0,16,16,C:\\WINDOWS,0,0,0",
                       "***** Updated Quill, but some items not found:",
                       "    ico for Ghost",
                       "***** Not updated Quill" + why,
                       "",
                       "Updating ProgMan Group Empty",
                       "***** Updated Empty, but some items not found:",
                       "    cmd for Ghost",
                   }));
    EXPECT_EQ(GroupLines(conv, service_, "Accessories").at(1), FormatGroupItemLine(planted[0].Items[0]));
}
