// The DDE client conversation against real DDE servers: the Program Manager
// substitute mxprogman.exe of the build (started by the tests, or by the
// conversation itself through its start command), and Wine's own Program
// Manager service where it answers.
#include <gtest/gtest.h>

#include <windows.h>

#include <ddeml.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/handles.h"
#include "targets/dde_conversation_win.h"
#include "targets/progman_commands.h"
#include "dde_test_support_win.h"

using namespace movix;
using namespace movix_dde_test;

namespace {

HDDEDATA CALLBACK IgnoreDdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

class DdeConv : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(::GetFileAttributesA(SubstitutePath().c_str()), INVALID_FILE_ATTRIBUTES) << SubstitutePath();
        service_ = "MxPM" + Pid();
        folder_ = TempFolder("mxpm-groups");
    }
    void TearDown() override { RemoveFolder(folder_); }

    // Sends `lines` and lets messages be processed until the execute has
    // completed.
    void ExecuteAndWait(TDdeClientConv& conv, const std::vector<std::string>& lines) {
        ASSERT_TRUE(conv.ExecuteMacroLines(lines));
        ASSERT_TRUE(Pump(10000, [&] { return !conv.Waiting(); })) << "no completion";
    }

    std::string service_;
    std::string folder_;
};

}  // namespace

TEST_F(DdeConv, OpenLink_ConnectsOnceAndRequestsTheGroups) {
    Substitute server(service_, "ProgMan", folder_);
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;
    conv.SetLink(service_, "ProgMan");
    EXPECT_FALSE(conv.Connected());
    ASSERT_TRUE(conv.OpenLink());
    EXPECT_TRUE(conv.Connected());
    // A second open while open does nothing and says so.
    EXPECT_FALSE(conv.OpenLink());
    EXPECT_TRUE(conv.Connected());

    std::optional<std::string> groups = conv.RequestData("Groups");
    ASSERT_TRUE(groups);
    EXPECT_EQ(*groups, "");
    // An item the server does not know gives no text, and the conversation
    // goes on.
    EXPECT_FALSE(conv.RequestData("No such group"));
    EXPECT_TRUE(conv.RequestData("groups"));

    conv.CloseLink();
    EXPECT_FALSE(conv.Connected());
    EXPECT_FALSE(conv.RequestData("Groups"));
    EXPECT_FALSE(conv.ExecuteMacroLines({"[CreateGroup(X)]"}));
    // Open again after closing.
    ASSERT_TRUE(conv.OpenLink());
    EXPECT_TRUE(conv.RequestData("Groups"));
}

TEST_F(DdeConv, OtherThreads_CannotUseTheConversation) {
    Substitute server(service_, "ProgMan", folder_);
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;
    conv.SetLink(service_, "ProgMan");
    ASSERT_TRUE(conv.OpenLink());
    bool opened = true;
    bool executed = true;
    std::optional<std::string> reply = std::string("untouched");
    std::thread worker([&] {
        reply = conv.RequestData("Groups");
        executed = conv.ExecuteMacroLines({"[CreateGroup(FromWorker)]"});
        conv.CloseLink();  // ignored: only the owner closes
        conv.SetLink("Other", "Other");
        opened = conv.OpenLink();
    });
    worker.join();
    EXPECT_FALSE(reply);
    EXPECT_FALSE(executed);
    EXPECT_FALSE(opened);
    // The owner's conversation is as it was.
    EXPECT_TRUE(conv.Connected());
    EXPECT_EQ(conv.Service(), service_);
    EXPECT_FALSE(conv.Waiting());
    EXPECT_EQ(conv.RequestData("Groups").value_or("<none>"), "");
}

TEST_F(DdeConv, OpenLink_OtherTopicOrUnknownServiceIsRefused) {
    Substitute server(service_, "ProgMan", folder_);
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;
    conv.StartWaitMs = 500;
    // No program is named like this service, so the start command fails too.
    conv.SetLink(service_, "OtherTopic");
    EXPECT_FALSE(conv.OpenLink());
    EXPECT_FALSE(conv.Connected());
    EXPECT_FALSE(conv.RequestData("Groups"));
    EXPECT_FALSE(conv.ExecuteMacroLines({"[CreateGroup(X)]"}));
    // Empty names would connect to any server: refused outright.
    conv.SetLink("", "ProgMan");
    EXPECT_FALSE(conv.OpenLink());
    conv.SetLink(service_, "");
    EXPECT_FALSE(conv.OpenLink());
}

TEST_F(DdeConv, Execute_BuildsGroupAndTheReplyHasProgramManagersFormat) {
    Substitute server(service_, "ProgMan", folder_);
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;
    conv.SetLink(service_, "ProgMan");
    ASSERT_TRUE(conv.OpenLink());

    const std::string oddCommand = "\"C:\\Program Files (x86)\\Quill\\QUILL.EXE\" /n";
    const std::string oddTitle = "Quill, (beta)";
    ASSERT_TRUE(conv.ExecuteMacroLines(
        {"[CreateGroup(Quill Tools)]",
         "[AddItem(C:\\QUILL\\QUILL.EXE,Quill,C:\\QUILL\\QUILL.ICO,1,10,20,C:\\QUILL\\DOCS,0,1,0)]",
         "[AddItem(" + QuoteProgManArgument(oddCommand) + "," + QuoteProgManArgument(oddTitle) +
             ",,,30,40,\"C:\\Work, Files\")]"}));
    // The completion comes only through message processing on this thread.
    EXPECT_TRUE(conv.Waiting());
    ::Sleep(300);
    EXPECT_TRUE(conv.Waiting());
    // While waiting: no request, no second execute.
    EXPECT_FALSE(conv.RequestData("Groups"));
    EXPECT_FALSE(conv.ExecuteMacroLines({"[CreateGroup(Other)]"}));
    ASSERT_TRUE(Pump(10000, [&] { return !conv.Waiting(); }));
    EXPECT_TRUE(conv.LastExecuteAccepted());
    EXPECT_TRUE(conv.Connected());

    EXPECT_EQ(conv.RequestData("Groups").value_or("<none>"), "Quill Tools\r\n");
    const std::string expected =
        "\"Quill Tools\"," + folder_ +
        "\\group0001.txt,2\r\n"
        "\"Quill\",\"C:\\QUILL\\QUILL.EXE\",C:\\QUILL\\DOCS,C:\\QUILL\\QUILL.ICO,10,20,1,0,1,0\r\n"
        "\"Quill, (beta)\",\"\"C:\\Program Files (x86)\\Quill\\QUILL.EXE\" /n\",C:\\Work, "
        "Files,,30,40,0,0,0,0\r\n";
    std::optional<std::string> reply = conv.RequestData("quill tools");
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, expected);

    std::optional<ProgManGroupReply> parsed = ParseGroupReply(*reply);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Name, "Quill Tools");
    EXPECT_EQ(parsed->ItemCount, 2);
    ASSERT_EQ(parsed->Items.size(), 2u);
    EXPECT_EQ(parsed->Items[0].IconPath, "C:\\QUILL\\QUILL.ICO");
    EXPECT_EQ(parsed->Items[1].ItemName, oddTitle);
    EXPECT_EQ(parsed->Items[1].CommandLine, oddCommand);

    // Saved to the group's own file at once.
    const std::string file = ReadFileText(folder_ + "\\group0001.txt");
    EXPECT_NE(file.find("Name=Quill Tools\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("C:\\Work, Files"), std::string::npos) << file;
}

TEST_F(DdeConv, ReplaceItem_NextAddItemTakesItsPlace_AndGroupsSurviveARestart) {
    {
        Substitute server(service_, "ProgMan", folder_);
        ASSERT_TRUE(server.Running());
        TDdeClientConv conv;
        conv.SetLink(service_, "ProgMan");
        ASSERT_TRUE(conv.OpenLink());
        ExecuteAndWait(conv, {"[CreateGroup(Main)]", "[AddItem(a.exe,A,,,1,1)]", "[AddItem(C:\\OLD\\b.exe,B,,,2,2)]",
                              "[AddItem(c.exe,C,,,3,3)]"});
        ExecuteAndWait(conv,
                       {"[CreateGroup(Main)]", "[ReplaceItem(B)]", "[AddItem(D:\\NEW\\b.exe,B,,0,2,2,D:\\NEW,0,0,0)]"});
        EXPECT_TRUE(conv.LastExecuteAccepted());
    }
    // A new server reads the groups back from its files.
    Substitute server(service_, "ProgMan", folder_);
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;
    conv.SetLink(service_, "ProgMan");
    ASSERT_TRUE(conv.OpenLink());
    std::optional<ProgManGroupReply> group = ParseGroupReply(conv.RequestData("Main").value_or(""));
    ASSERT_TRUE(group);
    ASSERT_EQ(group->ItemLines.size(), 3u);
    EXPECT_EQ(group->ItemLines[0], "\"A\",\"a.exe\",,,1,1,0,0,0,0");
    EXPECT_EQ(group->ItemLines[1], "\"B\",\"D:\\NEW\\b.exe\",D:\\NEW,,2,2,0,0,0,0");
    EXPECT_EQ(group->ItemLines[2], "\"C\",\"c.exe\",,,3,3,0,0,0,0");
}

TEST_F(DdeConv, RefusedExecute_CompletesUnaccepted_AndTheItemIsKept) {
    Substitute server(service_, "ProgMan", folder_);
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;
    conv.SetLink(service_, "ProgMan");
    ASSERT_TRUE(conv.OpenLink());
    ExecuteAndWait(conv, {"[CreateGroup(G)]", "[AddItem(a.exe,A)]"});
    ASSERT_TRUE(conv.LastExecuteAccepted());
    const std::string before = conv.RequestData("G").value_or("<none>");
    const std::string fileBefore = ReadFileText(folder_ + "\\group0001.txt");

    // An unquoted parenthesis in the AddItem after a ReplaceItem: the whole
    // execute is refused, so the item is not lost.
    ExecuteAndWait(conv, {"[CreateGroup(G)]", "[ReplaceItem(A)]", "[AddItem(C:\\Program Files (x86)\\a.exe,A)]"});
    EXPECT_FALSE(conv.LastExecuteAccepted());
    // A command that fails half-way is undone as a whole as well.
    ExecuteAndWait(conv, {"[CreateGroup(G)]", "[ReplaceItem(A)]", "[DeleteItem(Missing)]"});
    EXPECT_FALSE(conv.LastExecuteAccepted());

    EXPECT_EQ(conv.RequestData("G").value_or("<none>"), before);
    EXPECT_EQ(ReadFileText(folder_ + "\\group0001.txt"), fileBefore);
    // The conversation is still usable.
    ExecuteAndWait(conv, {"[CreateGroup(G)]", "[DeleteItem(A)]"});
    EXPECT_TRUE(conv.LastExecuteAccepted());
}

TEST_F(DdeConv, SetLink_EndsTheConversationAndAWaitingExecute) {
    // The server holds each execute for a while, so it is still waiting.
    Substitute server(service_, "ProgMan", folder_, "/execdelay:1500");
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;
    conv.SetLink(service_, "ProgMan");
    ASSERT_TRUE(conv.OpenLink());
    ASSERT_TRUE(conv.ExecuteMacroLines({"[CreateGroup(Slow)]"}));
    Pump(300);
    ASSERT_TRUE(conv.Waiting());

    conv.SetLink(service_, "ProgMan");
    EXPECT_FALSE(conv.Connected());
    EXPECT_FALSE(conv.Waiting());
    EXPECT_EQ(conv.Service(), service_);
    EXPECT_EQ(conv.Topic(), "ProgMan");

    // A fresh conversation works at once; the abandoned execute still ran.
    ASSERT_TRUE(conv.OpenLink());
    EXPECT_TRUE(WaitFor([&] { return conv.RequestData("Groups").value_or("") == "Slow\r\n"; }, 10000));
}

TEST_F(DdeConv, ServerEnding_EndsTheConversation) {
    Substitute server(service_, "ProgMan", folder_);
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;
    conv.SetLink(service_, "ProgMan");
    ASSERT_TRUE(conv.OpenLink());
    ExecuteAndWait(conv, {"[ExitProgman]"});
    EXPECT_TRUE(Pump(10000, [&] { return !conv.Connected(); }));
    // The server acknowledged before it went; once it is gone the waiting
    // ends either way, and the acknowledgement is taken in when messages are
    // processed once more.
    Pump(100);
    EXPECT_TRUE(conv.LastExecuteAccepted());
    EXPECT_TRUE(WaitFor([&] { return server.Exited(); }));
    EXPECT_EQ(server.ExitCode(), 0u);
    EXPECT_FALSE(conv.RequestData("Groups"));
    EXPECT_FALSE(conv.ExecuteMacroLines({"[CreateGroup(X)]"}));

    // A server started again is reached by the next open.
    Substitute again(service_, "ProgMan", folder_);
    ASSERT_TRUE(again.Running());
    ASSERT_TRUE(conv.OpenLink());
    EXPECT_TRUE(conv.RequestData("Groups"));
}

TEST_F(DdeConv, ServerKilledWhileAnExecuteWaits_NothingWaitsAnyMore) {
    Substitute server(service_, "ProgMan", folder_, "/execdelay:5000");
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;
    conv.SetLink(service_, "ProgMan");
    ASSERT_TRUE(conv.OpenLink());
    ASSERT_TRUE(conv.ExecuteMacroLines({"[CreateGroup(Never)]"}));
    ASSERT_TRUE(conv.Waiting());
    server.Kill();
    EXPECT_TRUE(Pump(10000, [&] { return !conv.Waiting(); }));
    EXPECT_FALSE(conv.Connected());
    EXPECT_FALSE(conv.RequestData("Groups"));
    // Nothing of the killed execute was saved.
    EXPECT_EQ(ReadFileText(folder_ + "\\group0001.txt"), "<missing>");
}

TEST_F(DdeConv, LargeGroupReplyArrivesWhole) {
    Substitute server(service_, "ProgMan", folder_);
    ASSERT_TRUE(server.Running());
    TDdeClientConv conv;
    conv.SetLink(service_, "ProgMan");
    ASSERT_TRUE(conv.OpenLink());
    std::vector<std::string> lines = {"[CreateGroup(Big)]"};
    for (int i = 0; i < 400; ++i)
        lines.push_back("[AddItem(C:\\Programs\\Tool" + std::to_string(i) + "\\TOOL.EXE,Tool " + std::to_string(i) +
                        ",C:\\Programs\\Tool" + std::to_string(i) + "\\TOOL.ICO,0,,,C:\\Programs\\Tool" +
                        std::to_string(i) + ")]");
    ExecuteAndWait(conv, lines);
    ASSERT_TRUE(conv.LastExecuteAccepted());
    std::optional<std::string> reply = conv.RequestData("Big");
    ASSERT_TRUE(reply);
    EXPECT_GT(reply->size(), 30000u);
    std::optional<ProgManGroupReply> group = ParseGroupReply(*reply);
    ASSERT_TRUE(group);
    ASSERT_EQ(group->Items.size(), 400u);
    EXPECT_EQ(group->ItemCount, 400);
    EXPECT_EQ(group->Items[399].ItemName, "Tool 399");
    EXPECT_EQ(group->Items[399].DefaultDir, "C:\\Programs\\Tool399");
    // Requests keep working one after another on the same conversation.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(conv.RequestData("Big").value_or(""), *reply);
}

TEST_F(DdeConv, SecondSubstituteForTheSamePairEndsAtOnce) {
    Substitute first(service_, "ProgMan", folder_);
    ASSERT_TRUE(first.Running());
    Substitute second(service_, "ProgMan", folder_ + "-other");
    EXPECT_TRUE(WaitFor([&] { return second.Exited(); }, 15000));
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_TRUE(first.Running());
    RemoveFolder(folder_ + "-other");
}

// No server answers: the conversation starts "<service>.exe <topic>" from
// the Windows folder (here a copy of the substitute named like the service)
// and connects to it.
TEST_F(DdeConv, OpenLink_WithoutServer_StartsOneWithTheStartCommand) {
    const std::string service = "MxPMStart" + Pid();
    const std::string topic = "MxFallback" + Pid();
    ASSERT_EQ(ServerWindow(service, topic), nullptr);
    SubstituteCopy program(WindowsFolder() + "\\" + service + ".exe");
    ASSERT_TRUE(program.Copied()) << program.Path();
    EXPECT_EQ(TDdeClientConv::ServerProgram(service), program.Path());

    TDdeClientConv conv;
    conv.SetLink(service, topic);
    const DWORD start = ::GetTickCount();
    ASSERT_TRUE(conv.OpenLink()) << "the started substitute did not answer";
    EXPECT_LT(::GetTickCount() - start, 8000u);
    HWND window = ServerWindow(service, topic);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(conv.RequestData("Groups"));

    // With a server up, the next open needs no start.
    conv.CloseLink();
    ASSERT_TRUE(conv.OpenLink());
    conv.CloseLink();
    EXPECT_TRUE(EndServer(window));
}

TEST_F(DdeConv, OpenLink_WithoutServerOrProgram_FailsWithoutWaiting) {
    TDdeClientConv conv;
    conv.SetLink("MxNoSuchProgram" + Pid(), "ProgMan");
    const DWORD start = ::GetTickCount();
    EXPECT_FALSE(conv.OpenLink());
    // The start command failed, so there was nothing to wait for.
    EXPECT_LT(::GetTickCount() - start, 4000u);
    EXPECT_FALSE(conv.Connected());
    EXPECT_FALSE(conv.RequestData("Groups"));
}

// Wine's own Program Manager service (its desktop serves "ProgMan") answers
// "Groups" and carries out CreateGroup; it does not answer a group's items.
TEST(DdeConvWine, ProgManService_GroupsAndCreateGroup) {
    // Look without the start command first: where nothing answers, the start
    // command would open the system's Program Manager window.
    {
        DdeInstance probe;
        ASSERT_EQ(probe.Initialize(&IgnoreDdeCallback, APPCMD_CLIENTONLY), static_cast<UINT>(DMLERR_NO_ERROR));
        DdeString name(probe.Id(), "ProgMan");
        DdeConversation c(::DdeConnect(probe.Id(), name.get(), name.get(), nullptr));
        if (!c)
            GTEST_SKIP() << "no Program Manager service answers on this system";
    }
    const std::string group = "MxMovixTest" + Pid();
    TDdeClientConv conv;
    conv.SetLink("ProgMan", "ProgMan");
    ASSERT_TRUE(conv.OpenLink());
    std::optional<std::string> before = conv.RequestData("Groups");
    ASSERT_TRUE(before);
    EXPECT_EQ(before->find(group), std::string::npos);

    ASSERT_TRUE(conv.ExecuteMacroLines({"[CreateGroup(" + group + ")]"}));
    ASSERT_TRUE(Pump(10000, [&] { return !conv.Waiting(); }));
    EXPECT_TRUE(conv.LastExecuteAccepted());

    // Every use sets the link again, which starts a fresh conversation.
    conv.SetLink("ProgMan", "ProgMan");
    ASSERT_TRUE(conv.OpenLink());
    std::vector<std::string> names = SplitReplyLines(conv.RequestData("Groups").value_or(""));
    EXPECT_NE(std::find(names.begin(), names.end(), group), names.end());

    ASSERT_TRUE(conv.ExecuteMacroLines({"[DeleteGroup(" + group + ")]"}));
    ASSERT_TRUE(Pump(10000, [&] { return !conv.Waiting(); }));
    conv.SetLink("ProgMan", "ProgMan");
    ASSERT_TRUE(conv.OpenLink());
    names = SplitReplyLines(conv.RequestData("Groups").value_or(""));
    EXPECT_EQ(std::find(names.begin(), names.end(), group), names.end());
}

// The demo relies on this: a substitute started for "ProgMan" answers in
// place of the desktop's own service (a conversation goes to the server that
// registered last).
TEST(DdeConvWine, SubstituteForProgManAnswersInsteadOfTheDesktop) {
    const std::string folder = TempFolder("mxpm-progman");
    ScopeExit cleanup([&] { RemoveFolder(folder); });
    {
        Substitute server("ProgMan", "ProgMan", folder);
        ASSERT_TRUE(server.Running());
        TDdeClientConv conv;
        conv.SetLink("ProgMan", "ProgMan");
        ASSERT_TRUE(conv.OpenLink());
        ASSERT_TRUE(
            conv.ExecuteMacroLines({"[CreateGroup(Only In The Substitute)]", "[AddItem(C:\\QUILL\\QUILL.EXE)]"}));
        ASSERT_TRUE(Pump(10000, [&] { return !conv.Waiting(); }));
        conv.SetLink("ProgMan", "ProgMan");
        ASSERT_TRUE(conv.OpenLink());
        std::optional<ProgManGroupReply> group =
            ParseGroupReply(conv.RequestData("Only In The Substitute").value_or(""));
        ASSERT_TRUE(group) << "the group request was not answered by the substitute";
        ASSERT_EQ(group->Items.size(), 1u);
        EXPECT_EQ(group->Items[0].ItemName, "QUILL");
    }
}
