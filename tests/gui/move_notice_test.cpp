// With "Move the folder from Old to New for me" checked, the summary page
// and the Search Complete page say that the folder will be moved, and how,
// before anything happens.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "../win/second_drive_win.h"
#include "gui_driver.h"
#include "resource.h"

using guitest::App;

TEST(MoveNotice, SummaryAndSearchCompleteSayHowTheFolderWillBeMoved) {
    const std::string scratch = guitest::ScratchDir("move_notice");
    const std::string oldFolder = scratch + "\\OLD", newFolder = scratch + "\\NEW";
    CreateDirectoryA(oldFolder.c_str(), nullptr);
    {
        App app;
        REQUIRE_APP(app);
        for (int id : {IDC_cbSkipIniFiles, IDC_cbSkipGroups, IDC_cbSkipShortcuts, IDC_cbSkipRegistry,
                       IDC_cbSkipConfigs, IDC_cbSkipServicesTasks})
            app.SetChecked(id, true);
        for (int id : {IDC_rgIniFiles + 1 + 1, IDC_rgShortcuts + 1, IDC_rgRegistry + 1, IDC_rgConfigs + 1,
                       IDC_rgServices + 1, IDC_rgTasks + 1})
            app.Click(id);
        app.SetText(IDC_EditOldAddress, oldFolder);
        app.SetText(IDC_EditNewAddress, newFolder);

        // Without the box the summary says nothing of a move.
        app.Click(IDC_BtnNext);
        ASSERT_EQ(app.Page(), 6);
        EXPECT_FALSE(app.Visible(IDC_lblMoveHead));
        EXPECT_EQ(app.Text(IDC_lblMove), "");
        app.Click(IDC_BtnPrev);
        app.Click(IDC_cbMoveFolder);
        ASSERT_TRUE(app.Checked(IDC_cbMoveFolder));
        app.Click(IDC_BtnNext);
        ASSERT_EQ(app.Page(), 6);
        EXPECT_TRUE(app.Visible(IDC_lblMoveHead));
        // Old and New on one drive: a rename.
        EXPECT_EQ(app.Text(IDC_lblMove), "the folder, renamed from Old to New (one drive)");
        app.Screenshot("move_summary");

        app.Click(IDC_BtnNext);
        ASSERT_TRUE(guitest::WaitFor([&] { return app.SubPage() == 1; }, 60000));
        app.Click(IDC_BtnNext);
        app.Click(IDC_BtnNext);
        ASSERT_EQ(app.Page(), 8);
        const std::string notice = app.Text(IDC_lblMoveHow);
        EXPECT_EQ(notice.rfind("Before anything is replaced, Movix 32 will move the folder from Old to New: it is "
                               "renamed",
                               0),
                  0u)
            << notice;
        app.Screenshot("move_search_complete");
        // No New address, no move to tell of; typed again, it is told again.
        app.SetText(IDC_EditNewAddressAgain, "");
        EXPECT_EQ(app.Text(IDC_lblMoveHow), "");
        app.SetText(IDC_EditNewAddressAgain, newFolder);
        EXPECT_EQ(app.Text(IDC_lblMoveHow), notice);
        // New on another drive: a copy, verified, then removed at Old.
        const std::string other = scratch + "\\OTHER";
        CreateDirectoryA(other.c_str(), nullptr);
        movix_test::SecondDrive drive(other);
        if (drive.Letter() != 0) {
            app.SetText(IDC_EditNewAddressAgain, drive.Root() + "NEW");
            EXPECT_EQ(app.Text(IDC_lblMoveHow),
                      "Before anything is replaced, Movix 32 will move the folder from Old to New: it is copied to the "
                      "other drive, every file is verified, and only then is the folder removed at Old.");
            app.Screenshot("move_search_complete_other_drive");
        }
        app.Click(IDC_BtnCancel);
        EXPECT_TRUE(app.WaitExit());
    }
    EXPECT_TRUE(guitest::Exists(oldFolder)) << "the folder moved before the replacement was asked for";
    guitest::RemoveTree(scratch);
}
