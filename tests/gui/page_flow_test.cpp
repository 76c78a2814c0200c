// The wizard's page flow, driven through the real window.
#include <windows.h>

#include <gtest/gtest.h>

#include "gui_driver.h"
#include "resource.h"

using guitest::App;

namespace {

// ConfigFiles and ServicesTasks are shown after the Registry's pages, in
// this order, before Confirm.
enum {
    FromAndTo,
    IniFiles,
    Groups,
    Shortcuts,
    RegistryKeys,
    IgnoreKeys,
    Confirm,
    Search,
    FinalPage,
    ConfigFiles = 11,
    ServicesTasks = 12
};

const int kSkipBoxes[] = {IDC_cbSkipIniFiles, IDC_cbSkipGroups,  IDC_cbSkipShortcuts,
                          IDC_cbSkipRegistry, IDC_cbSkipConfigs, IDC_cbSkipServicesTasks};

void UncheckSkipBoxes(App& app) {
    for (int id : kSkipBoxes)
        app.SetChecked(id, false);
}

}  // namespace

TEST(PageFlow, OpensOnFromAndToWithRedLightAndButtonsDisabled) {
    App app;
    REQUIRE_APP(app);
    EXPECT_EQ(app.Page(), FromAndTo);
    EXPECT_FALSE(app.Enabled(IDC_BtnPrev));
    EXPECT_FALSE(app.Enabled(IDC_BtnNext));
    EXPECT_TRUE(app.Enabled(IDC_BtnCancel));
    EXPECT_TRUE(app.Visible(IDC_btnInputBad));
    EXPECT_FALSE(app.Visible(IDC_btnInputOk));
    EXPECT_FALSE(app.Visible(IDC_btnInputHmm));
    EXPECT_EQ(app.Text(IDC_BtnCancel), "Cancel");
    EXPECT_EQ(app.Text(IDC_BtnNext), "Ne&xt >");
    EXPECT_EQ(app.Text(IDC_BtnPrev), "< Bac&k");
    EXPECT_EQ(GetFocus() == nullptr, true);  // focus is the other process's business
    char caption[64] = {};
    GetWindowTextA(app.Main(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Movix 32");
    EXPECT_FALSE(app.Checked(IDC_cbShowAll));
    EXPECT_TRUE(app.Checked(IDC_cbSkipIgnoreKeys));
}

TEST(PageFlow, AllOptionPagesSkippedGoesStraightToConfirmAndBack) {
    App app;
    REQUIRE_APP(app);
    for (int id : kSkipBoxes)
        app.SetChecked(id, true);
    app.SetText(IDC_EditOldAddress, "C:\\OLDAPP");
    ASSERT_TRUE(app.Enabled(IDC_BtnNext));
    app.Click(IDC_BtnNext);
    EXPECT_EQ(app.Page(), Confirm);
    EXPECT_TRUE(app.Enabled(IDC_BtnPrev));
    app.Click(IDC_BtnPrev);
    EXPECT_EQ(app.Page(), FromAndTo);
    EXPECT_FALSE(app.Enabled(IDC_BtnPrev));
    EXPECT_TRUE(app.Enabled(IDC_BtnNext));
}

TEST(PageFlow, ShowAllVisitsEveryPageUntilUnchecked) {
    App app;
    REQUIRE_APP(app);
    for (int id : kSkipBoxes)
        app.SetChecked(id, true);
    app.SetText(IDC_EditOldAddress, "C:\\OLDAPP");
    app.SetChecked(IDC_cbShowAll, true);
    for (int expected : {IniFiles, Groups, Shortcuts, RegistryKeys, IgnoreKeys, ConfigFiles, ServicesTasks, Confirm}) {
        app.Click(IDC_BtnNext);
        EXPECT_EQ(app.Page(), expected);
        EXPECT_TRUE(app.Enabled(IDC_BtnPrev));
        EXPECT_TRUE(app.Enabled(IDC_BtnNext));
    }
    for (int expected :
         {ServicesTasks, ConfigFiles, IgnoreKeys, RegistryKeys, Shortcuts, Groups, IniFiles, FromAndTo}) {
        app.Click(IDC_BtnPrev);
        EXPECT_EQ(app.Page(), expected);
    }
    EXPECT_FALSE(app.Enabled(IDC_BtnPrev));
    // Unchecking restores skipping at the next press.
    app.SetChecked(IDC_cbShowAll, false);
    app.Click(IDC_BtnNext);
    EXPECT_EQ(app.Page(), Confirm);
}

TEST(PageFlow, IgnoreKeysPageIsSkippedAndItsBoxStaysChecked) {
    App app;
    REQUIRE_APP(app);
    UncheckSkipBoxes(app);
    app.SetText(IDC_EditOldAddress, "C:\\OLDAPP");
    for (int expected : {IniFiles, Groups, Shortcuts, RegistryKeys, ConfigFiles, ServicesTasks, Confirm}) {
        app.Click(IDC_BtnNext);
        EXPECT_EQ(app.Page(), expected);
    }
    app.SetChecked(IDC_cbShowAll, true);
    for (int i = 0; i < 3; ++i)
        app.Click(IDC_BtnPrev);
    EXPECT_EQ(app.Page(), IgnoreKeys);
    app.Click(IDC_cbSkipIgnoreKeys);
    EXPECT_TRUE(app.Checked(IDC_cbSkipIgnoreKeys));
    app.Click(IDC_cbSkipIgnoreKeys);
    EXPECT_TRUE(app.Checked(IDC_cbSkipIgnoreKeys));
}

TEST(PageFlow, SkipBoxOfTheShownPageTakesEffectOnTheNextPass) {
    App app;
    REQUIRE_APP(app);
    UncheckSkipBoxes(app);
    app.SetText(IDC_EditOldAddress, "C:\\OLDAPP");
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), IniFiles);
    // Choose an option on the page, then skip the page: the wizard stays.
    app.Click(IDC_rgIniFiles + 1 + 4);
    app.SetChecked(IDC_cbSkipIniFiles, true);
    EXPECT_EQ(app.Page(), IniFiles);
    app.Click(IDC_BtnPrev);
    EXPECT_EQ(app.Page(), FromAndTo);
    app.Click(IDC_BtnNext);
    EXPECT_EQ(app.Page(), Groups);
    // The skipped page's option still applies and Confirm shows it.
    for (int i = 0; i < 5; ++i)
        app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), Confirm);
    EXPECT_EQ(app.Text(IDC_lblIni), "All INI files in all folders");
}

TEST(PageFlow, ConfirmSummarisesWithoutAccessKeys) {
    App app;
    REQUIRE_APP(app);
    UncheckSkipBoxes(app);
    app.SetText(IDC_EditOldAddress, "C:\\OLDAPP");
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), RegistryKeys);
    app.Click(IDC_rgRegistry + 1 + 1);  // "HKC&R and HKCU"
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), ConfigFiles);
    app.Click(IDC_BtnNext);
    app.Click(IDC_rgTasks + 1 + 0);  // "N&o scheduled tasks"
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), Confirm);
    EXPECT_EQ(app.Text(IDC_lblFrom), "C:\\OLDAPP");
    EXPECT_EQ(app.Text(IDC_lblTo), "");
    EXPECT_FALSE(app.Visible(IDC_lblReplace));
    EXPECT_EQ(app.Text(IDC_lblRegistry), "HKCR and HKCU");
    EXPECT_EQ(app.Text(IDC_lblIni), "All INI files in the Windows folder");
    EXPECT_EQ(app.Text(IDC_lblConfigs), "In the New folder and your data folders");
    EXPECT_EQ(app.Text(IDC_lblServices), "All services and drivers");
    EXPECT_EQ(app.Text(IDC_lblTasks), "No scheduled tasks");

    for (int i = 0; i < 7; ++i)
        app.Click(IDC_BtnPrev);
    ASSERT_EQ(app.Page(), FromAndTo);
    app.SetText(IDC_EditNewAddress, "D:\\NEWAPP");
    for (int i = 0; i < 7; ++i)
        app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), Confirm);
    EXPECT_TRUE(app.Visible(IDC_lblReplace));
    EXPECT_EQ(app.Text(IDC_lblTo), "D:\\NEWAPP");
}

TEST(PageFlow, SearchWithNothingSelectedEndsOnResultsWithOnlyCancel) {
    App app;
    REQUIRE_APP(app);
    for (int id : kSkipBoxes)
        app.SetChecked(id, true);
    for (int group : {IDC_rgIniFiles, IDC_rgGroups, IDC_rgShortcuts, IDC_rgRegistry, IDC_rgConfigs, IDC_rgServices,
                      IDC_rgTasks})
        app.Click(group + 1 + 0);
    app.SetText(IDC_EditOldAddress, "C:\\OLDAPP");
    app.SetText(IDC_EditNewAddress, "D:\\NEWAPP");
    app.Click(IDC_BtnNext);
    ASSERT_EQ(app.Page(), Confirm);
    app.Click(IDC_BtnNext);
    EXPECT_EQ(app.Page(), Search);
    ASSERT_TRUE(guitest::WaitFor([&] { return app.SubPage() == 1; }));
    EXPECT_EQ(app.Text(IDC_lblFoundINI), "No INI files searched");
    EXPECT_EQ(app.Text(IDC_lblFoundGroup), "No Groups searched");
    EXPECT_EQ(app.Text(IDC_lblFoundShortcut), "No Shortcuts searched");
    EXPECT_EQ(app.Text(IDC_lblFoundReg), "No Registry entries searched");
    EXPECT_EQ(app.Text(IDC_lblFoundCfg), "No configuration files searched");
    EXPECT_EQ(app.Text(IDC_lblFoundSvc), "No services searched");
    EXPECT_EQ(app.Text(IDC_lblFoundTsk), "No scheduled tasks searched");
    EXPECT_FALSE(app.Enabled(IDC_BtnNext));
    EXPECT_FALSE(app.Enabled(IDC_BtnPrev));
    EXPECT_TRUE(app.Enabled(IDC_BtnCancel));
    EXPECT_TRUE(app.Enabled(IDC_BtnHelp));
    EXPECT_TRUE(app.Enabled(IDC_BtnAbout));
    // The addresses were copied onto page FinalPage when the search began.
    EXPECT_EQ(app.Text(IDC_pnlShowFromString), "C:\\OLDAPP");
    EXPECT_EQ(app.Text(IDC_EditNewAddressAgain), "D:\\NEWAPP");
}

TEST(PageFlow, CancelEndsTheProgram) {
    App app;
    REQUIRE_APP(app);
    app.Click(IDC_BtnCancel);
    EXPECT_TRUE(app.WaitExit());
}

TEST(PageFlow, EscapePressesCancel) {
    App app;
    REQUIRE_APP(app);
    app.PressKey(app.Control(IDC_EditOldAddress), VK_ESCAPE);
    EXPECT_TRUE(app.WaitExit());
}

TEST(WindowSize, MinimumIsTheDesignSizeWhereEveryControlStandsAtItsPlace) {
    App app;
    REQUIRE_APP(app);
    app.Resize(300, 200);
    SIZE size = app.OuterSize();
    EXPECT_GE(size.cx, 540);
    EXPECT_GE(size.cy, 312);

    app.Resize(540, 312);
    size = app.OuterSize();
    ASSERT_EQ(size.cx, 540);
    ASSERT_EQ(size.cy, 312);
    EXPECT_EQ(app.RectInParent(IDC_BtnPrev).left, 286);
    EXPECT_EQ(app.RectInParent(IDC_BtnNext).left, 359);
    EXPECT_EQ(app.RectInParent(IDC_BtnCancel).left, 456);
    EXPECT_EQ(app.RectInParent(IDC_BtnAbout).left, 4);
    EXPECT_EQ(app.RectInParent(IDC_BtnHelp).left, 77);
    RECT old = app.RectInParent(IDC_EditOldAddress);
    EXPECT_EQ(old.left, 88);
    EXPECT_EQ(old.top, 161);
    EXPECT_EQ(old.right - old.left, 386);
    EXPECT_EQ(app.RectInParent(IDC_btnBrowseDirFrom).left, 476);
    EXPECT_EQ(app.RectInParent(IDC_btnBrowseFileFrom).left, 501);
    EXPECT_EQ(app.RectInParent(IDC_btnBrowseDirTo).top, 189);
    EXPECT_EQ(app.RectInParent(IDC_cbShowAll).top, 224);
    EXPECT_EQ(app.RectInParent(IDC_cbSkipRegistry).top, 224);
    RECT list = app.RectInParent(IDC_lvFound);
    EXPECT_EQ(list.right - list.left, 528);
    // Below the counts of every kind, the results' sub-page three lines high.
    EXPECT_EQ(list.bottom - list.top, 146);
    RECT log = app.RectInParent(IDC_lbReport);
    EXPECT_EQ(log.right - log.left, 437);
    EXPECT_EQ(app.RectInParent(IDC_btnSaveLog).left, 427);
    EXPECT_EQ(app.RectInParent(IDC_BtnSaveList).left, 336);
    RECT ignore = app.RectInParent(IDC_lbIgnoreKey);
    EXPECT_EQ(ignore.right - ignore.left, 436);

    // Widening by 100 moves the right-hand buttons and widens the fields.
    app.Resize(640, 412);
    EXPECT_EQ(app.RectInParent(IDC_BtnPrev).left, 386);
    EXPECT_EQ(app.RectInParent(IDC_BtnNext).left, 459);
    EXPECT_EQ(app.RectInParent(IDC_BtnCancel).left, 556);
    EXPECT_EQ(app.RectInParent(IDC_BtnAbout).left, 4);
    old = app.RectInParent(IDC_EditOldAddress);
    EXPECT_EQ(old.right - old.left, 486);
    RECT newField = app.RectInParent(IDC_EditNewAddress);
    EXPECT_EQ(newField.right - newField.left, 486);
    list = app.RectInParent(IDC_lvFound);
    EXPECT_EQ(list.right - list.left, 628);
    EXPECT_EQ(list.bottom - list.top, 246);
    log = app.RectInParent(IDC_lbReport);
    EXPECT_EQ(log.right - log.left, 537);
    EXPECT_EQ(app.RectInParent(IDC_cbShowAll).top, 324);
    EXPECT_EQ(app.RectInParent(IDC_BtnSaveList).left, 436);
    app.Screenshot("resized_640x412");
}
