// Resource and control identifiers. Control identifiers carry the names of
// the window's components, so tests can find and drive every control.
#pragma once

#define IDI_MOVIX32 1
#define IDR_MANIFEST 1

// String table: the address check's messages are 10 + the check result.
#define IDS_CHECK_BASE 10

// Button bar (Cancel answers Esc as the dialog manager's IDCANCEL).
#define IDC_BtnCancel 2
#define IDC_BtnAbout 1001
#define IDC_BtnHelp 1002
#define IDC_BtnPrev 1003
#define IDC_BtnNext 1004
#define IDC_Panel1 1005
#define IDC_Image1 1006
#define IDC_Panel2 1007
#define IDC_Bevel1 1008
#define IDC_NotebookMain 1010
#define IDC_NotebookSub 1011
// Pages of NotebookMain are IDC_PageBase + index, of NotebookSub IDC_SubPageBase + index.
#define IDC_PageBase 1020
#define IDC_SubPageBase 1040
// Headings: IDC_HeadingBase + page index; the sub-pages' are IDC_SubHeadingBase + index.
#define IDC_HeadingBase 1050
#define IDC_SubHeadingBase 1070

// Page FromAndTo
#define IDC_EditOldAddress 1101
#define IDC_EditNewAddress 1102
#define IDC_btnBrowseDirFrom 1103
#define IDC_btnBrowseFileFrom 1104
#define IDC_btnBrowseDirTo 1105
#define IDC_btnBrowseFileTo 1106
#define IDC_btnInputOk 1107
#define IDC_btnInputHmm 1108
#define IDC_btnInputBad 1109
#define IDC_cbShowAll 1110
#define IDC_cbMoveFolder 1860
// The junction a move may leave at Old (page FinalPage), and the move's
// progress bar (page Replacing).
#define IDC_cbLeaveJunction 1861
#define IDC_pbMove 1862
// How the folder will be moved (page FinalPage).
#define IDC_lblMoveHow 1863

// Option pages. A radio group's item n has the identifier of the group + 1 + n.
#define IDC_rgIniFiles 1200
#define IDC_rgGroups 1210
#define IDC_rgShortcuts 1220
#define IDC_rgRegistry 1230
#define IDC_cbSkipIniFiles 1241
#define IDC_cbSkipGroups 1242
#define IDC_cbSkipShortcuts 1243
#define IDC_cbSkipRegistry 1244
#define IDC_cbSkipIgnoreKeys 1245
#define IDC_cbSkipConfigs 1246
#define IDC_rgConfigs 1260
#define IDC_cbSkipServicesTasks 1247
#define IDC_rgServices 1270
#define IDC_rgTasks 1280
#define IDC_lbIgnoreKey 1250

// Page Confirm
#define IDC_lblFrom 1301
#define IDC_lblTo 1302
#define IDC_lblReplace 1303
#define IDC_lblIni 1304
#define IDC_lblGroup 1305
#define IDC_lblShortcut 1306
#define IDC_lblRegistry 1307
#define IDC_lblConfigs 1308
#define IDC_lblServices 1309
#define IDC_lblTasks 1310
// The move, when the first page asks for it: "Move:" and how.
#define IDC_lblMoveHead 1311
#define IDC_lblMove 1312

// Page Search
#define IDC_lblSearchType 1401
#define IDC_lblSearchIn 1402
#define IDC_lblFoundINI 1403
#define IDC_lblFoundGroup 1404
#define IDC_lblFoundShortcut 1405
#define IDC_lblFoundReg 1406
#define IDC_BtnSaveList 1407
#define IDC_lvFound 1408
#define IDC_lblSearchNotes 1409
#define IDC_lblFoundHint 1410
#define IDC_lblFoundCfg 1411
#define IDC_lblFoundSvc 1412
#define IDC_lblFoundTsk 1413

// Pages FinalPage, Replacing, FinalFinal
#define IDC_pnlShowFromString 1501
#define IDC_EditNewAddressAgain 1502
#define IDC_lblRepType 1503
#define IDC_lblRepItem 1504
#define IDC_lbReport 1505
#define IDC_btnSaveLog 1506
#define IDC_btnRestore 1507
// The restore's own log on page FinalFinal, and the button that shows the other log.
#define IDC_lbRestoreLog 1700
#define IDC_btnShowLog 1701

// Popup menu items
#define IDM_WhatsThis1 1601
#define IDM_Toggle1 1602
#define IDM_Yes1 1603
#define IDM_No1 1604
#define IDM_WhatsThis2 1605
// "Sort by" of the list's menu: IDM_SortByBase + column index.
#define IDM_SortByBase 1610

// About box
#define IDD_ABOUT 2000
#define IDC_AboutImage1 2001
#define IDC_LabelICVersion 2002
#define IDC_LabelCopyOf 2003
#define IDC_LabelUserName 2004
#define IDC_LabelCompName 2005
#define IDC_LabelProductID 2006
#define IDC_PhysMemory 2007
#define IDC_LabelPlatform 2008
#define IDC_LabelCPU 2009
#define IDC_BitBtn1 IDOK
