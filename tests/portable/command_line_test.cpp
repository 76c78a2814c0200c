#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using movix::ParseCommandLine;
using movix::TCommandLine;
using Mode = movix::TCommandLine::Mode;

TEST(CommandLine, NoArgumentsOrCleanRegistryOpenTheWindow) {
    EXPECT_EQ(ParseCommandLine({}).RunMode, Mode::Wizard);
    EXPECT_EQ(ParseCommandLine({"cleanREGISTRY"}).RunMode, Mode::Wizard);
}

TEST(CommandLine, EverySwitchIsTaken) {
    const TCommandLine line =
        ParseCommandLine({"/OLD:C:\\Program Files\\Quill", "/new:D:\\Apps\\Quill", "/ini:4", "/Groups:1",
                          "/shortcuts:0", "/registry:3", "/list:C:\\out\\f.rtf", "/log:C:\\out\\log.txt", "/APPLY"});
    ASSERT_EQ(line.RunMode, Mode::Search) << line.Error;
    EXPECT_EQ(line.OldAddress, "C:\\Program Files\\Quill");
    EXPECT_EQ(line.NewAddress, "D:\\Apps\\Quill");
    EXPECT_EQ(line.Ini, 4);
    EXPECT_EQ(line.Groups, 1);
    EXPECT_EQ(line.Shortcuts, 0);
    EXPECT_EQ(line.Registry, 3);
    EXPECT_EQ(line.ListFile, "C:\\out\\f.rtf");
    EXPECT_EQ(line.LogFile, "C:\\out\\log.txt");
    EXPECT_TRUE(line.Apply);

    const TCommandLine dry = ParseCommandLine({"/old:C:\\A", "/new:C:\\B"});
    ASSERT_EQ(dry.RunMode, Mode::Search);
    EXPECT_FALSE(dry.Apply);
    EXPECT_FALSE(dry.Flagged) << "flagged hits start as N";
    EXPECT_TRUE(ParseCommandLine({"/old:C:\\A", "/new:C:\\B", "/apply", "/FLAGGED"}).Flagged);
    EXPECT_FALSE(dry.IgnoreCheck);
    EXPECT_TRUE(ParseCommandLine({"/old:C:\\A", "/new:c:\\a", "/IgnoreCheck"}).IgnoreCheck);
    EXPECT_FALSE(dry.Move || dry.Junction);
    const TCommandLine move = ParseCommandLine({"/old:C:\\A", "/new:D:\\A", "/Move", "/JUNCTION", "/apply"});
    EXPECT_TRUE(move.Move && move.Junction) << move.Error;
    EXPECT_EQ(dry.Ini, -1) << "the saved setting";
    EXPECT_EQ(dry.Registry, -1);

    EXPECT_EQ(ParseCommandLine({"/old:C:\\A", "/?"}).RunMode, Mode::Help);
    const TCommandLine restore = ParseCommandLine({"/restore:C:\\J\\MOVIX32UNDO-1.TXT", "/log:C:\\r.txt"});
    ASSERT_EQ(restore.RunMode, Mode::Restore);
    EXPECT_EQ(restore.RestoreFile, "C:\\J\\MOVIX32UNDO-1.TXT");
    EXPECT_EQ(restore.LogFile, "C:\\r.txt");
}

TEST(CommandLine, EveryBadArgumentGetsOneClearLine) {
    const struct {
        std::vector<std::string> arguments;
        const char* error;
    } cases[] = {
        {{"/old:C:\\A", "/new:C:\\B", "/frobnicate"}, "Unknown switch \"/frobnicate\"; movix32 /? lists the switches."},
        {{"/old:C:\\A", "/new:C:\\B", "extra"},
         "Unexpected argument \"extra\": every argument is a switch such as /old:PATH."},
        {{"/"}, "Unexpected argument \"/\": every argument is a switch such as /old:PATH."},
        {{"/old", "/new:C:\\B"}, "The switch /old needs a value: /old:PATH."},
        {{"/old:C:\\A", "/new:"}, "The switch /new needs a value: /new:PATH."},
        {{"/old:C:\\A", "/new:C:\\B", "/list"}, "The switch /list needs a value: /list:FILE."},
        {{"/old:C:\\A", "/new:C:\\B", "/log:"}, "The switch /log needs a value: /log:FILE."},
        {{"/restore"}, "The switch /restore needs a value: /restore:FILE."},
        {{"/old:C:\\A", "/new:C:\\B", "/ini"}, "The switch /ini needs a number: /ini:N, N from 0 to 4."},
        {{"/old:C:\\A", "/new:C:\\B", "/ini:5"}, "The number of /ini must be from 0 to 4, not \"5\"."},
        {{"/old:C:\\A", "/new:C:\\B", "/ini:-1"}, "The number of /ini must be from 0 to 4, not \"-1\"."},
        {{"/old:C:\\A", "/new:C:\\B", "/groups:2"}, "The number of /groups must be from 0 to 1, not \"2\"."},
        {{"/old:C:\\A", "/new:C:\\B", "/shortcuts:4"}, "The number of /shortcuts must be from 0 to 3, not \"4\"."},
        {{"/old:C:\\A", "/new:C:\\B", "/registry:x"}, "The number of /registry must be from 0 to 3, not \"x\"."},
        {{"/old:C:\\A", "/new:C:\\B", "/registry: 1"}, "The number of /registry must be from 0 to 3, not \" 1\"."},
        {{"/old:C:\\A", "/new:C:\\B", "/registry:0001"}, "The number of /registry must be from 0 to 3, not \"0001\"."},
        {{"/old:C:\\A", "/new:C:\\B", "/apply:yes"}, "The switch /apply takes no value."},
        {{"/old:C:\\A", "/new:C:\\B", "/flagged:1"}, "The switch /flagged takes no value."},
        {{"/restore:C:\\J.TXT", "/flagged"}, "The switch /restore can only be given with /log, not with /flagged."},
        {{"/?:x"}, "The switch /? takes no value."},
        {{"/old:C:\\A", "/new:C:\\B", "/move:yes"}, "The switch /move takes no value."},
        {{"/old:C:\\A", "/new:C:\\B", "/junction"}, "The switch /junction can only be given with /move."},
        {{"/restore:C:\\J.TXT", "/move"}, "The switch /restore can only be given with /log, not with /move."},
        {{"/old:C:\\A", "/new:C:\\B", "/ignorecheck:yes"}, "The switch /ignorecheck takes no value."},
        {{"/restore:C:\\J.TXT", "/ignorecheck"}, "The switch /restore can only be given with /log, not with /ignorecheck."},
        {{"/old:C:\\A", "/new:C:\\B", "/OLD:C:\\C"}, "The switch /old is given twice."},
        {{"/old:C:\\A", "/new:C:\\B", "/apply", "/apply"}, "The switch /apply is given twice."},
        {{"/new:C:\\B"}, "The Old address is missing: give it as /old:PATH."},
        {{"/old:C:\\A", "/apply"}, "The New address is missing: give it as /new:PATH."},
        {{"/ini:1"}, "The Old address is missing: give it as /old:PATH."},
        {{"/old:C:\\A", "/new:C:\\B", "/list:C:\\Out.TXT", "/log:c:\\out.txt"},
         "The list and the log cannot be saved in the same file C:\\Out.TXT."},
        {{"/restore:C:\\J.TXT", "/apply"}, "The switch /restore can only be given with /log, not with /apply."},
        {{"/old:C:\\A", "/restore:C:\\J.TXT"}, "The switch /restore can only be given with /log, not with /old."},
    };
    for (const auto& c : cases) {
        const TCommandLine line = ParseCommandLine(c.arguments);
        std::string shown;
        for (const std::string& a : c.arguments)
            shown += a + " ";
        EXPECT_EQ(line.RunMode, Mode::BadArguments) << shown;
        EXPECT_EQ(line.Error, c.error) << shown;
        EXPECT_EQ(line.Error.find('\n'), std::string::npos) << shown;
    }
}
