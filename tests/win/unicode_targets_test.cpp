// Folder names in every script through every target: an Old address in
// Cyrillic, Greek, CJK, accented Latin and with a character outside the Basic
// Multilingual Plane is found where the target spells it in another letter
// case, and the replacement writes the New address over exactly that text;
// each target is read back through the wide functions afterwards. This test
// program has no UTF-8 code page of its own (no manifest asks for one), so
// it also shows that nothing depends on the process code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/found_items.h"
#include "core/kinds.h"
#include "core/strings.h"
#include "engine/replace_runner_win.h"
#include "engine/search_runner_win.h"
#include "platform/wide_text_win.h"
#include "plain_callback_win.h"
#include "registry_test_support_win.h"
#include "search_test_support_win.h"
#include "shortcut_files_win.h"
#include "targets/dde_conversation_win.h"
#include "targets/ini_encoding_win.h"
#include "targets/ini_files_win.h"
#include "targets/shortcuts_win.h"

using namespace movix;
using namespace movix_test;

namespace {

// One script: the folder as the user types it (Old), the same folder in
// another letter case as a target holds it, and a New folder in the script.
struct Script {
    const char* name;
    const char* old;
    const char* held;
    const char* now;
};

const Script kScripts[] = {
    {"Cyrillic", "Программы\\Редактор", "ПРОГРАММЫ\\редактор", "Новые программы"},
    {"Greek", "Προγράμματα\\Κειμενογράφος", "ΠΡΟΓΡΆΜΜΑΤΑ\\κειμενογράφος", "Νέες εφαρμογές"},
    {"CJK", "プログラム\\日本語 Tools", "プログラム\\日本語 tOOLS", "新しい場所\\日本"},
    {"AccentedLatin", "Ünïcødé Prøgrâm", "üNÏCØDÉ pRØGRÂM", "Nouveau dossier Été"},
    // U+1F3B5 has no case; Deseret U+10400 is the capital of U+10428.
    {"OutsideTheBmp", "Mus\xF0\x9F\x8E\xB5ic \xF0\x90\x90\x80", "MUS\xF0\x9F\x8E\xB5IC \xF0\x90\x90\xA8",
     "Neu \xF0\x9F\x8E\xB6"},
};

std::string OldOf(const Script& s) {
    return std::string("C:\\") + s.old;
}
std::string HeldOf(const Script& s) {
    return std::string("c:\\") + s.held;
}
std::string NewOf(const Script& s) {
    return std::string("D:\\") + s.now;
}

class UnicodeTargetsTest : public UiFixture {
  protected:
    std::vector<TReplaceGroup> GroupsFromHits() const {
        std::vector<TReplaceGroup> groups;
        for (const FoundHit& h : hits_) {
            const std::string key = h.path + "\\" + h.item;
            if (groups.empty() || groups.back().Key != key)
                groups.push_back({key, {}});
            groups.back().Hits.push_back({UpperAscii(h.context), h.subType});
        }
        return groups;
    }

    template <class Thread>
    void Search(int kind, const std::string& folder, const std::string& oldAddress) {
        hits_.clear();
        auto* thread = new Thread(kind, oldAddress, label_, Collector(), 2);
        thread->SetWindowsDirForTest(folder);
        RunToEnd(thread);
        EXPECT_EQ(fatal_, "");
    }
};

// Every script in every encoding an INI file comes in; the file is written
// back in its own encoding, mark and line ends. The legacy code page holds
// only the scripts it has letters for.
TEST_F(UnicodeTargetsTest, IniFilesOfEveryScriptInEveryEncoding) {
    const IniEncoding encodings[] = {IniEncoding::Utf8, IniEncoding::Utf8Bom, IniEncoding::Utf16, IniEncoding::Ansi};
    int ansiCases = 0;
    for (const Script& s : kScripts) {
        for (const IniEncoding encoding : encodings) {
            SCOPED_TRACE(std::string(s.name) + " in encoding " + std::to_string(static_cast<int>(encoding)));
            const std::string section = s.now;
            const std::string text = ";" + section + "\r\n[" + section + "]\r\nexe=" + HeldOf(s) +
                                     "\\run.exe\nother=C:\\" + s.held + "x\\run.exe\r\n\x1A" + s.held;
            const std::string expected = ";" + section + "\r\n[" + section + "]\r\nexe=" + NewOf(s) +
                                         "\\run.exe\nother=C:\\" + s.held + "x\\run.exe\r\n\x1A" + s.held;
            std::string bytes, expectedBytes;
            if (!EncodeIniText(encoding, text, bytes) || !EncodeIniText(encoding, expected, expectedBytes))
                continue;  // letters the code page lacks
            ansiCases += encoding == IniEncoding::Ansi;
            TempTree tree("uini");
            // The file lies in a folder named in the script, under a name in it.
            const std::string folder = tree.Dir(std::string(s.now) + " " + s.name);
            const std::string file = folder + "\\" + s.name + " Настройки.ini";
            WriteFileBytes(file, bytes);

            Search<TSearchINIThread>(KindIni, tree.Root(), OldOf(s));
            ASSERT_EQ(hits_.size(), 1u);
            EXPECT_EQ(hits_[0].path, folder);
            EXPECT_EQ(hits_[0].item, std::string(s.name) + " Настройки.ini");
            EXPECT_EQ(hits_[0].context, "[" + section + "]exe=" + HeldOf(s) + "\\run.exe");

            std::vector<TReplaceGroup> groups = GroupsFromHits();
            std::vector<std::string> log;
            ReplaceIniFiles(groups, OldOf(s), NewOf(s), label_, [&log](const std::string& l) { log.push_back(l); });
            ASSERT_GE(log.size(), 4u);
            EXPECT_EQ(log[2], "          INI key: exe=" + HeldOf(s) + "\\run.exe");
            EXPECT_EQ(log[3], "       changed to: exe=" + NewOf(s) + "\\run.exe");
            EXPECT_EQ(ReadFileBytes(file), expectedBytes);
            EXPECT_EQ(ReadFileBytes(folder + "\\" + s.name + " Настройки.BAK"), bytes);
        }
    }
    EXPECT_GE(ansiCases, 1);
}

// A New address with letters the file's code page lacks is never written as
// question marks: the file stays as it is, and the log says why.
TEST_F(UnicodeTargetsTest, AnsiIniFileNeverTakesLettersItsCodePageLacks) {
    const std::string text = "[Setup]\r\nexe=C:\\Caf\xC3\xA9\\run.exe\r\n";  // é
    std::string bytes;
    ASSERT_TRUE(EncodeIniText(IniEncoding::Ansi, text, bytes));
    ASSERT_NE(bytes, text);
    TempTree tree("uansi");
    const std::string file = tree.File("CAFE.INI", bytes);
    Search<TSearchINIThread>(KindIni, tree.Root(), "C:\\CAF\xC3\x89");
    ASSERT_EQ(hits_.size(), 1u);
    std::vector<TReplaceGroup> groups = GroupsFromHits();
    std::vector<std::string> log;
    ReplaceIniFiles(groups, "C:\\Caf\xC3\xA9", "D:\\Новое", label_, [&log](const std::string& l) { log.push_back(l); });
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "***** The new text has characters the file's code page cannot hold; left as it is: " + file);
    EXPECT_EQ(ReadFileBytes(file), bytes);
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(Utf8ToWide(tree.Root() + "\\*").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do {
        const std::string name = WideToUtf8(data.cFileName);
        if (name != "." && name != "..")
            names.push_back(name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    EXPECT_EQ(names, std::vector<std::string>{"CAFE.INI"});
}

// A folder whose full name runs past MAX_PATH (and past 260 bytes many times
// over in UTF-8) is walked, its file found, rewritten and backed up.
TEST_F(UnicodeTargetsTest, IniFileBelowAFolderNameLongerThanMaxPath) {
    TempTree tree("ulong");
    std::string part;
    // 80 characters, 240 bytes: within the 255 bytes a Unix name may take.
    for (int i = 0; i < 10; ++i)
        part += "日本語のフォルダ";
    const std::string folder = tree.Dir(part + "\\" + part + "\\" + part + "\\" + part + "\\Программы");
    ASSERT_GT(Utf8ToWide(folder).size(), static_cast<std::size_t>(MAX_PATH));
    const std::string file = folder + "\\長い.ini";
    WriteFileBytes(file, "exe=c:\\ПРОГРАММЫ\\run.exe\r\n");
    ASSERT_EQ(ReadFileBytes(file), "exe=c:\\ПРОГРАММЫ\\run.exe\r\n");

    Search<TSearchINIThread>(KindIni, tree.Root(), "C:\\Программы");
    ASSERT_EQ(hits_.size(), 1u);
    EXPECT_EQ(hits_[0].path, folder);
    std::vector<TReplaceGroup> groups = GroupsFromHits();
    std::vector<std::string> log;
    ReplaceIniFiles(groups, "C:\\Программы", "D:\\Новое", label_, [&log](const std::string& l) { log.push_back(l); });
    EXPECT_EQ(ReadFileBytes(file), "exe=D:\\Новое\\run.exe\r\n");
    EXPECT_EQ(ReadFileBytes(folder + "\\長い.BAK"), "exe=c:\\ПРОГРАММЫ\\run.exe\r\n");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Backup stored as " + folder + "\\長い.BAK");
}

TEST_F(UnicodeTargetsTest, ShortcutsInFoldersOfEveryScript) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (const Script& s : kScripts) {
        SCOPED_TRACE(s.name);
        TempTree tree("ulnk");
        const std::string folder = tree.Dir(std::string(s.now) + " ярлыки");
        const std::string file = folder + "\\" + s.name + " 日本.lnk";
        // Wine's link object keeps the target's name in the process code page
        // (which loses the letters here), so the target is a plain one and
        // the other three fields carry the script.
        Fields before;
        before.target = "C:\\windows\\notepad.exe";
        before.icon = HeldOf(s) + "\\run.exe";
        before.iconIndex = 2;
        before.args = "/data=\"" + HeldOf(s) + "\\Данные\"";
        before.dir = HeldOf(s);
        MakeShortcut(file, before);

        Search<TSearchLNKThread>(KindLnk, tree.Root(), OldOf(s));
        ASSERT_EQ(hits_.size(), 3u);
        EXPECT_EQ(hits_[0].path, folder);
        EXPECT_EQ(hits_[0].item, std::string(s.name) + " 日本.lnk");

        std::vector<TReplaceGroup> groups = GroupsFromHits();
        std::vector<std::string> log;
        ReplaceShortcuts(groups, OldOf(s), NewOf(s), label_, [&log](const std::string& l) { log.push_back(l); });
        const Fields after = ShellFields(file);
        EXPECT_EQ(after.icon, NewOf(s) + "\\run.exe");
        EXPECT_EQ(after.iconIndex, 2);
        EXPECT_EQ(after.args, "/data=\"" + NewOf(s) + "\\Данные\"");
        EXPECT_EQ(after.dir, NewOf(s));
    }
    ::CoUninitialize();
}

// Key names, value names and string data; the search walks HKCU as the
// wizard's does, and the rows go through the replacement run.
TEST_F(UnicodeTargetsTest, RegistryKeysValuesAndDataOfEveryScript) {
    for (const Script& s : kScripts) {
        SCOPED_TRACE(s.name);
        PlantedKey k(HKEY_CURRENT_USER, "Software", std::string("MovixUnicode ") + s.name + " Ключ");
        // The Old address without its drive, so that a key's own name (which
        // holds no backslash) can carry it: its last folder only.
        const std::string held = s.held;
        const std::string heldLeaf = held.substr(held.rfind('\\') + 1);
        const std::string oldText = std::string(s.old);
        const std::string oldLeaf = oldText.substr(oldText.rfind('\\') + 1);
        const std::string nowLeaf = "Новое " + std::string(s.name);
        HKEY sub = CreateTestKey(k.Root(), k / heldLeaf);
        ASSERT_NE(sub, nullptr);
        ::RegCloseKey(sub);
        SetSz(k.Root(), k.Path(), "exe", "C:\\" + heldLeaf + "\\run.exe");
        SetDword(k.Root(), k.Path(), "C:\\" + heldLeaf + "\\lib.dll", 1);

        TDdeClientConv progMan;
        movix_test::PlainCallback callback;
        TSearchRunner search(callback, progMan);
        TSearchSettings settings;
        settings.OldAddress = oldLeaf;
        settings.Modes[KindReg] = 5;
        search.Start(settings);
        ASSERT_TRUE(PumpUntil([&] { return callback.runsEnded == 1; }, 300000));

        const std::string keyPath = "HKCU\\" + k.Path();
        std::vector<TFoundItem> rows;
        for (const TFoundItem& row : callback.rows)
            if (row.Path.compare(0, keyPath.size(), keyPath) == 0)
                rows.push_back(row);
        ASSERT_EQ(rows.size(), 3u);

        TReplaceRunner(callback, progMan, nullptr).Run(rows, oldLeaf, nowLeaf);
        EXPECT_EQ(GetSz(k.Root(), k.Path(), "exe"), "C:\\" + nowLeaf + "\\run.exe");
        EXPECT_NE(GetRaw(k.Root(), k.Path(), "C:\\" + nowLeaf + "\\lib.dll").first, ~0u);
        EXPECT_EQ(GetRaw(k.Root(), k.Path(), "C:\\" + heldLeaf + "\\lib.dll").first, ~0u);
        EXPECT_TRUE(KeyPresent(k.Root(), k / nowLeaf));
        EXPECT_FALSE(KeyPresent(k.Root(), k / heldLeaf));
        for (const std::string& line : callback.log)
            EXPECT_EQ(line.find("*****"), std::string::npos) << line;
    }
}

}  // namespace
