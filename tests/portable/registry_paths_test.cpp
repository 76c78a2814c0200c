#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/replace_groups.h"
#include "core/strings.h"
#include "targets/registry_paths.h"

using namespace movix;

TEST(RegistryPaths, RootsAreToldByTheirFourthLetter) {
    EXPECT_EQ(RootByFourthCharacter("HKCR"), TRegRoot::ClassesRoot);
    EXPECT_EQ(RootByFourthCharacter("HKCU\\Software"), TRegRoot::CurrentUser);
    EXPECT_EQ(RootByFourthCharacter("HKLM\\SOFTWARE\\CLASSES"), TRegRoot::LocalMachine);
    EXPECT_EQ(RootByFourthCharacter("HKUS\\.DEFAULT"), TRegRoot::Users);
    EXPECT_EQ(RootByFourthCharacter("HKCC"), TRegRoot::CurrentConfig);
    EXPECT_EQ(RootByFourthCharacter("HKC"), std::nullopt);
    EXPECT_EQ(RootByFourthCharacter("HKCX\\A"), std::nullopt);
    for (TRegRoot r : {TRegRoot::ClassesRoot, TRegRoot::CurrentUser, TRegRoot::LocalMachine, TRegRoot::Users,
                       TRegRoot::CurrentConfig})
        EXPECT_EQ(RootByFourthCharacter(RootAbbreviation(r)), r) << RootAbbreviation(r);
}

TEST(RegistryPaths, KeyPathWithinRootKeepsItsLeadingBackslash) {
    EXPECT_EQ(KeyPathWithinRoot("HKCU\\Software\\Acme"), "\\Software\\Acme");
    EXPECT_EQ(KeyPathWithinRoot("HKCU"), "");
    EXPECT_EQ(KeyPathWithinRoot("HK"), "");
}

TEST(RegistryPaths, LeadingBackslashCountsFromTheRootAnythingElseFromTheOpenKey) {
    EXPECT_EQ(ResolveKeyPath("", "Software"), "Software");
    EXPECT_EQ(ResolveKeyPath("Software", "Acme\\App"), "Software\\Acme\\App");
    EXPECT_EQ(ResolveKeyPath("Software\\Acme", "\\System"), "System");
    EXPECT_EQ(ResolveKeyPath("Software\\Acme", ""), "Software\\Acme");  // the open key again
    EXPECT_EQ(ResolveKeyPath("Software\\Acme", "\\"), "");              // the root itself
    EXPECT_EQ(ResolveKeyPath("", ""), "");
}

TEST(RegistryPaths, ValuesWindowsStartsProgramsByAreCommandLines) {
    const struct {
        const char* key;
        const char* value;
        bool commandLine;
    } cases[] = {
        {"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Quill", true},
        {"HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce", "", true},
        {"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", "1", true},
        {"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Sub", "Quill", false},
        {"HKCU\\Software\\Quill\\Run", "Quill", false},
        {"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quill", "UninstallString", true},
        {"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quill", "QuietUninstallString",
         true},
        {"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quill", "InstallLocation", false},
        {"HKCR\\QuillFile\\shell\\open\\command", "", true},
        {"HKCU\\Software\\Classes\\Directory\\Background\\shell\\Quill\\command", "", true},
        {"HKCR\\QuillFile\\shell\\open\\command", "DelegateExecute", false},
        {"HKCR\\QuillFile\\DefaultIcon", "", false},
        {"HKLM\\SYSTEM\\ControlSet001\\Services\\QuillSvc", "ImagePath", true},
        {"HKLM\\SYSTEM\\CurrentControlSet\\Services\\QuillSvc", "imagepath", true},
        {"HKLM\\SYSTEM\\ControlSet001\\Services\\QuillSvc\\Parameters", "ImagePath", false},
        {"HKLM\\SYSTEM\\ControlSet001\\Services\\QuillSvc", "Description", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsCommandLineValue(c.key, c.value), c.commandLine) << c.key << " " << c.value;
}

TEST(RegistryIgnoreList, MatchesWholePathsWithoutRegardToAsciiCase) {
    const TIgnoreList ignore({"HKLM\\Hardware", "HKCU", "hklm\\software\\classes"});
    EXPECT_TRUE(ignore.Contains("HKLM\\HARDWARE"));
    EXPECT_TRUE(ignore.Contains("hklm\\hardware"));
    EXPECT_TRUE(ignore.Contains("HKCU"));
    EXPECT_TRUE(ignore.Contains("HKLM\\SOFTWARE\\Classes"));
    // An entry names one key, not a prefix of names or of paths.
    EXPECT_FALSE(ignore.Contains("HKLM\\HARDWARE2"));
    EXPECT_FALSE(ignore.Contains("HKLM\\HARDWARE\\DESCRIPTION"));
    EXPECT_FALSE(ignore.Contains("HKLM"));
    EXPECT_FALSE(ignore.Contains("HKCU\\Software"));
    EXPECT_FALSE(TIgnoreList().Contains("HKCU"));
    EXPECT_TRUE(TIgnoreList().Empty());
}

TEST(RegistryIgnoreList, OnlyAsciiLettersFoldCase) {
    const TIgnoreList ignore({"HKCU\\caf\xC3\xA9"});
    EXPECT_TRUE(ignore.Contains("HKCU\\CAF\xC3\xA9"));
    EXPECT_FALSE(ignore.Contains("HKCU\\CAF\xC3\x89"));
    // An entry without a name after its last backslash matches no key.
    EXPECT_FALSE(TIgnoreList({"HKUS\\"}).Contains("HKUS"));
}

TEST(RegistryHitText, DefaultValueShowsAsDefaultInItsContext) {
    EXPECT_EQ(ValueDisplayName(""), "(default)");
    EXPECT_EQ(ValueTextContext("", "C:\\OLD\\A.EXE"), "(default)=C:\\OLD\\A.EXE");
    EXPECT_EQ(ValueTextContext("Path", "C:\\OLD"), "Path=C:\\OLD");
    EXPECT_EQ(ValueTextContext("a=b", "c"), "a=b=c");
}

TEST(RegistryHitText, TextEndsAtItsFirstNul) {
    const char data[] = {'a', 'b', '\0', 'c', '\0'};
    EXPECT_EQ(TextUpToNul(data, sizeof data), "ab");
    EXPECT_EQ(TextUpToNul(data, 2), "ab");  // no NUL at all
    EXPECT_EQ(TextUpToNul(data + 2, 3), "");
    EXPECT_EQ(TextUpToNul(nullptr, 0), "");
}

TEST(RegistryHitText, SplitWithoutCarriedNameReadsNameBeforeFirstEquals) {
    auto hit = SplitValueTextHit("Path=C:\\OLD=x", std::nullopt);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->ValueName, "Path");
    EXPECT_EQ(hit->OldText, "C:\\OLD=x");

    hit = SplitValueTextHit("(default)=C:\\OLD", std::nullopt);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->ValueName, "");
    EXPECT_EQ(hit->OldText, "C:\\OLD");

    EXPECT_FALSE(SplitValueTextHit("no equals sign", std::nullopt));
}

TEST(RegistryHitText, SplitWithCarriedNameKeepsNamesThatLookLikeOthers) {
    // A value named "(default)" is not the default value.
    auto hit = SplitValueTextHit("(default)=C:\\OLD", std::string("(default)"));
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->ValueName, "(default)");
    EXPECT_EQ(hit->OldText, "C:\\OLD");

    // The real default value, carried as the empty name.
    hit = SplitValueTextHit("(default)=C:\\OLD", std::string());
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->ValueName, "");

    // A name that holds "=".
    hit = SplitValueTextHit("a=b=C:\\OLD", std::string("a=b"));
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->ValueName, "a=b");
    EXPECT_EQ(hit->OldText, "C:\\OLD");

    // A name that does not fit the Text is not guessed at.
    EXPECT_FALSE(SplitValueTextHit("x=C:\\OLD", std::string("y")));
    EXPECT_FALSE(SplitValueTextHit("x", std::string("x")));
}

TEST(RegistryHitOrder, ValueTextsComeBeforeRenamesEachInListOrder) {
    std::vector<TReplaceHit> hits = {
        {"C:\\OLD", kSubTypeValueName},        // 0
        {"C:\\OLD x", kSubTypeKey},            // 1
        {"C:\\OLD=C:\\OLD\\a", kSubTypeData},  // 2
        {"p=C:\\OLD", kSubTypeExpandData},     // 3
        {"other", 0},                          // 4
    };
    EXPECT_EQ(RegistryHitOrder(hits), (std::vector<std::size_t>{2, 3, 0, 1, 4}));
    EXPECT_TRUE(RegistryHitOrder({}).empty());
}

TEST(RegistryPaths, KernelNamesUnderTheMachineAndUsersHivesBecomeFullKeyPaths) {
    const struct {
        const char* kernel;
        std::optional<std::string> full;
    } cases[] = {
        {"\\REGISTRY\\MACHINE\\SOFTWARE\\Classes", "HKLM\\SOFTWARE\\Classes"},
        {"\\Registry\\Machine\\System\\CurrentControlSet\\Hardware Profiles\\Current",
         "HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current"},
        {"\\REGISTRY\\USER\\S-1-5-21-1-2-3-1000_Classes", "HKUS\\S-1-5-21-1-2-3-1000_Classes"},
        {"\\registry\\user\\.DEFAULT", "HKUS\\.DEFAULT"},
        // The roots themselves, other hives, and look-alikes name nothing.
        {"\\REGISTRY\\MACHINE", std::nullopt},
        {"\\REGISTRY\\USER\\", std::nullopt},
        {"\\REGISTRY\\A\\{1234}", std::nullopt},
        {"\\REGISTRY\\MACHINEX\\SOFTWARE", std::nullopt},
        {"\\REGISTRY\\USERS\\X", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FullPathOfKernelName(c.kernel), c.full) << c.kernel;
}
