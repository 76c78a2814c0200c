#include "app/address_check.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/platform_code.h"
#include "app/ui_text.h"
#include "core/kinds.h"

using movix::CheckAddresses;
using movix::Indicator;
using movix::PathKind;

namespace {

// A disk of named files and folders; everything else does not exist.
struct FakeDisk {
    std::map<std::string, PathKind> entries;
    int probes = 0;
    movix::PathKindProbe Probe() {
        return [this](const std::string& name) {
            ++probes;
            auto it = entries.find(name);
            return it == entries.end() ? PathKind::Nothing : it->second;
        };
    }
};

int Check(FakeDisk& disk, const std::string& oldAddress, const std::string& newAddress) {
    return CheckAddresses(oldAddress, newAddress, disk.Probe());
}

}  // namespace

TEST(CheckAddresses, LengthRulesComeFirst) {
    FakeDisk disk;
    EXPECT_EQ(Check(disk, "", ""), 7);
    EXPECT_EQ(Check(disk, "", "D:\\NEW"), 7);
    EXPECT_EQ(Check(disk, "C", ""), 2);
    EXPECT_EQ(Check(disk, "C:\\", "D:\\ANYTHING"), 2);
    EXPECT_EQ(Check(disk, "C:\\OLD", ""), 1);
    EXPECT_EQ(Check(disk, "C:\\OLD", "D:\\"), 3);
    EXPECT_EQ(Check(disk, "C:\\OLD", "D"), 3);
    // No existence test is made before both lengths pass.
    EXPECT_EQ(disk.probes, 0);
}

TEST(CheckAddresses, ExistencePairs) {
    FakeDisk disk;
    disk.entries = {{"C:\\A.EXE", PathKind::File},
                    {"C:\\B.EXE", PathKind::File},
                    {"C:\\DIR1", PathKind::Folder},
                    {"C:\\DIR2", PathKind::Folder}};
    EXPECT_EQ(Check(disk, "C:\\X.EXE", "C:\\Y.EXE"), 4);
    EXPECT_EQ(Check(disk, "C:\\A.EXE", "C:\\B.EXE"), 5);
    EXPECT_EQ(Check(disk, "C:\\DIR1", "C:\\DIR2"), 6);
    EXPECT_EQ(Check(disk, "C:\\A.EXE", "C:\\DIR1"), 8);
    EXPECT_EQ(Check(disk, "C:\\DIR1", "C:\\A.EXE"), 9);
}

TEST(CheckAddresses, NeitherExistingSkipsTheFormTests) {
    FakeDisk disk;
    // Different drive forms, extensions, backslashes and periods: all 4.
    EXPECT_EQ(Check(disk, "C:\\APPS\\OLD\\", "\\\\SERVER\\NEW."), 4);
    EXPECT_EQ(Check(disk, "C:\\X.EXE", "D:\\FOLDER"), 4);
}

TEST(CheckAddresses, MovedFolderIsFine) {
    FakeDisk disk;
    disk.entries = {{"D:\\NEW\\APP", PathKind::Folder}};
    EXPECT_EQ(Check(disk, "C:\\OLD\\APP", "D:\\NEW\\APP"), 0);
}

TEST(CheckAddresses, DriveLetterStartMustAgree) {
    FakeDisk disk;
    disk.entries = {{"C:\\APPS", PathKind::Folder}};
    EXPECT_EQ(Check(disk, "C:\\APPS", "\\\\SERVER\\SHARE\\APPS"), 11);
    // "C:APPS" has no backslash after the colon: no drive-letter start.
    EXPECT_EQ(Check(disk, "C:\\APPS", "D:APPS"), 11);
    // The first character is not looked at.
    EXPECT_EQ(Check(disk, "C:\\APPS", "?:\\APPS"), 0);
}

TEST(CheckAddresses, ExtensionTestOnlyAgainstAnExistingFile) {
    FakeDisk disk;
    disk.entries = {{"C:\\OLD\\RUN.EXE", PathKind::File}, {"C:\\OLD\\DIR.V2", PathKind::Folder}};
    // Existing file with an extension, New without one: mismatch.
    EXPECT_EQ(Check(disk, "C:\\OLD\\RUN.EXE", "D:\\NEW\\RUN"), 10);
    // New is the existing file and has the extension.
    EXPECT_EQ(Check(disk, "D:\\NEW\\RUN", "C:\\OLD\\RUN.EXE"), 10);
    // Both have one, even a different one: a rename while moving is fine.
    EXPECT_EQ(Check(disk, "C:\\OLD\\RUN.EXE", "D:\\NEW\\RUN.BIN"), 0);
    // A period in a folder name is not an extension of the file.
    EXPECT_EQ(Check(disk, "C:\\OLD\\RUN.EXE", "D:\\V1.2\\RUN"), 10);
    // A folder is not put through the extension test.
    EXPECT_EQ(Check(disk, "C:\\OLD\\DIR.V2", "D:\\NEW\\DIR"), 0);
}

TEST(CheckAddresses, TrailingBackslashAndPeriod) {
    FakeDisk disk;
    disk.entries = {{"D:\\NEW", PathKind::Folder}, {"D:\\NEW\\", PathKind::Folder}, {"D:\\NEW.", PathKind::Folder}};
    EXPECT_EQ(Check(disk, "C:\\APPS\\OLD\\", "D:\\NEW"), 12);
    EXPECT_EQ(Check(disk, "C:\\APPS\\OLD", "D:\\NEW\\"), 12);
    EXPECT_EQ(Check(disk, "C:\\APPS\\OLD.", "D:\\NEW"), 13);
    EXPECT_EQ(Check(disk, "C:\\APPS\\OLD", "D:\\NEW."), 13);
}

TEST(CheckAddresses, SamePlaceTwiceIsRed) {
    FakeDisk disk;
    disk.entries = {{"C:\\Apps\\Quill", PathKind::Folder}, {"C:\\apps\\quill\\", PathKind::Folder},
                    {"C:\\APPS\\QUILL", PathKind::Folder}, {"C:\\Q\\RUN.EXE", PathKind::File}};
    const struct {
        const char* oldAddress;
        const char* newAddress;
        int result;
    } cases[] = {
        {"C:\\Apps\\Quill", "C:\\Apps\\Quill", 14},     // the very same text
        {"C:\\Apps\\Quill", "C:\\APPS\\QUILL", 14},     // another letter case
        {"C:\\Apps\\Quill", "c:\\apps\\quill\\", 14},  // and a trailing backslash
        {"C:\\Gone\\\\", "c:\\gone", 14},            // neither exists: still the same
        {"C:\\Q\\RUN.EXE", "C:\\q\\run.exe", 14},       // one file, not a folder
        {"C:\\Apps\\Quill", "C:\\Apps\\Quill2", 0},     // a name that goes on is another place
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Check(disk, c.oldAddress, c.newAddress), c.result) << c.oldAddress << " / " << c.newAddress;
        if (c.result == 14)
            EXPECT_EQ(movix::IndicatorForResult(c.result), Indicator::Red);
    }
}

// With the folder to be moved: Old must be a folder and New must hold
// nothing; what was typed is judged first.
TEST(CheckAddresses, MovingTheFolderNeedsOldAndRoomAtNew) {
    FakeDisk disk;
    disk.entries = {{"C:\\APP", PathKind::Folder}, {"D:\\EMPTY", PathKind::Folder},
                    {"D:\\FULL", PathKind::Folder},  {"D:\\F.TXT", PathKind::File},
                    {"C:\\A.EXE", PathKind::File}};
    const auto empty = [](const std::string& name) { return name == "D:\\EMPTY"; };
    const struct {
        const char *oldAddress, *newAddress;
        int result;
    } cases[] = {
        {"C:\\APP", "D:\\APP", 0},
        {"C:\\APP", "D:\\EMPTY", 6},
        {"C:\\APP", "D:\\FULL", movix::kCheckMoveNewNotEmpty},
        {"C:\\APP", "D:\\F.TXT", movix::kCheckMoveNewNotEmpty},
        {"C:\\GONE", "D:\\APP", movix::kCheckMoveNoOldFolder},
        {"C:\\A.EXE", "D:\\A.EXE", movix::kCheckMoveNoOldFolder},
        {"", "D:\\APP", 7},
        {"C:\\APP", "", 1},
        {"C:\\APP", "c:\\app\\", movix::kCheckSamePlace},
    };
    for (const auto& c : cases) {
        const int result = movix::CheckAddressesForMove(c.oldAddress, c.newAddress, disk.Probe(), empty);
        EXPECT_EQ(result, c.result) << c.oldAddress << " -> " << c.newAddress;
    }
    EXPECT_EQ(movix::IndicatorForResult(movix::kCheckMoveNoOldFolder), Indicator::Red);
    EXPECT_EQ(movix::IndicatorForResult(movix::kCheckMoveNewNotEmpty), Indicator::Red);
}

TEST(CheckAddresses, IndicatorFollowsTheResult) {
    const Indicator expected[15] = {Indicator::Green,  Indicator::Green,  Indicator::Yellow, Indicator::Yellow,
                                    Indicator::Yellow, Indicator::Yellow, Indicator::Yellow, Indicator::Red,
                                    Indicator::Red,    Indicator::Red,    Indicator::Red,    Indicator::Red,
                                    Indicator::Red,    Indicator::Red,    Indicator::Red};
    for (int r = 0; r < 15; ++r)
        EXPECT_EQ(movix::IndicatorForResult(r), expected[r]) << "result " << r;
}

TEST(AddressExtension, FromTheLastPeriodOfTheLastComponent) {
    EXPECT_EQ(movix::AddressExtension("C:\\APP\\RUN.EXE"), ".EXE");
    EXPECT_EQ(movix::AddressExtension("C:\\APP.V2\\README"), "");
    EXPECT_EQ(movix::AddressExtension("C:FILE.TXT"), ".TXT");
    EXPECT_EQ(movix::AddressExtension("A:.INI"), ".INI");
    EXPECT_EQ(movix::AddressExtension("C:\\DIR."), ".");
    EXPECT_EQ(movix::AddressExtension(""), "");
}

TEST(StripAmpersands, RemovesEveryAmpersand) {
    EXPECT_EQ(movix::StripAmpersands("HKC&R and HKCU"), "HKCR and HKCU");
    EXPECT_EQ(movix::StripAmpersands("All INI files in &all folders"), "All INI files in all folders");
    EXPECT_EQ(movix::StripAmpersands("Tom && Jerry"), "Tom  Jerry");
    EXPECT_EQ(movix::StripAmpersands(""), "");
}

TEST(ChangeExtension, ReplacesOnlyTheLastComponentsExtension) {
    EXPECT_EQ(movix::ChangeExtension("C:\\PROGS\\MOVIX32.EXE", ".HLP"), "C:\\PROGS\\MOVIX32.HLP");
    EXPECT_EQ(movix::ChangeExtension("C:\\V1.2\\MOVIX32", ".HLP"), "C:\\V1.2\\MOVIX32.HLP");
}

TEST(PlatformCode, FromPlatformAndMajorVersion) {
    EXPECT_EQ(movix::PlatformCodeFor(1, 4), 0);   // Windows 95
    EXPECT_EQ(movix::PlatformCodeFor(0, 3), 0);   // Win32s and the like
    EXPECT_EQ(movix::PlatformCodeFor(2, 3), 1);   // NT 3.51
    EXPECT_EQ(movix::PlatformCodeFor(2, 4), 2);   // NT 4
    EXPECT_EQ(movix::PlatformCodeFor(2, 10), 2);  // later NT
}

// Count words agree with their number, in every count the pages and the
// console print.
TEST(CountTexts, TheWordAgreesWithTheNumber) {
    const struct {
        int count;
        const char* counted;
        const char* expected;
    } cases[] = {
        {0, " matches in services", "0 matches in services"},
        {1, " matches in services", "1 match in services"},
        {2, " matches in the Registry", "2 matches in the Registry"},
        {1, " matches in INI files", "1 match in INI files"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(movix::MatchCountText(c.count, c.counted), c.expected);
    // A kind left out, one an error ended before any hit, one it cut short.
    const movix::TKindNames& services = *movix::KindNamesOf(movix::KindSvc);
    const struct {
        int count;
        bool failed;
        const char* expected;
    } results[] = {{-1, false, "No services searched"},
                   {0, false, "0 matches in services"},
                   {0, true, "Services: not searched"},
                   {1, true, "1 match in services (incomplete)"}};
    for (const auto& r : results)
        EXPECT_EQ(movix::KindResultText(services, r.count, r.failed), r.expected);
    EXPECT_EQ(movix::CountText(1, "file", "files"), "1 file");
    EXPECT_EQ(movix::CountText(0, "link", "links"), "0 links");
    EXPECT_EQ(movix::CountText(12, "folder", "folders"), "12 folders");
}
