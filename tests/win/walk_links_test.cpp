// Folder walks over links and places that do not open: links are never
// followed, no folder is walked twice, what could not be opened is counted,
// and under Wine the drive of the Unix root is left out of "all fixed drives".
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/search_thread_win.h"
#include "core/strings.h"
#include "platform/handles.h"
#include "search_test_support_win.h"

using namespace movix;
using namespace movix_test;

namespace {

// Records every file handed to ProcessFile as folder\name. The own list
// (mode 4) walks the given trees one after another.
class LinkWalk : public TMovixFileThread {
  public:
    LinkWalk(int mode, std::vector<std::string>* seen, const std::string& search = "x")
        : TMovixFileThread(KindIni, search, nullptr, nullptr, mode), seen_(seen) {}
    std::vector<std::string> ownTrees;
    bool stopAtFirstFile = false;

  protected:
    void ProcessFile(const std::string& name) override {
        seen_->push_back(Path + "\\" + name);
        if (stopAtFirstFile)
            Terminate();
    }
    void SearchOwnList() override {
        for (const std::string& tree : ownTrees)
            SearchTree(tree);
    }

  private:
    std::vector<std::string>* seen_;
};

// Makes a Unix symbolic link; false when that is not possible here.
bool UnixSymlink(const std::string& target, const std::string& link) {
    const std::string unixTarget = UnixPath(target), unixLink = UnixPath(link);
    if (unixTarget.empty() || unixLink.empty())
        return false;
    return RunUnix("Z:\\bin\\ln", "ln -s \"" + unixTarget + "\" \"" + unixLink + "\"") &&
           PumpUntil([&link] { return ::GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000);
}

// Removes links before their trees go: the trees' removal would follow them.
struct LinkRemover {
    std::vector<std::string> links;
    ~LinkRemover() {
        for (const std::string& link : links) {
            if (!::RemoveDirectoryA(link.c_str()) && !UnixPath(link).empty() &&
                RunUnix("Z:\\bin\\rm", "rm -f \"" + UnixPath(link) + "\""))
                PumpUntil([&link] { return ::GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES; }, 10000);
        }
    }
};

class WalkLinksTest : public UiFixture {};

}  // namespace

TEST_F(WalkLinksTest, LinksAreNotFollowedAndEachFileIsReportedOnce) {
    TempTree tree("links");
    TempTree outside("outside");
    tree.File("A.INI", "a");
    tree.Dir("sub");
    tree.File("sub\\B.INI", "b");
    outside.File("C.INI", "c");
    LinkRemover links{{tree / "sub\\loop", tree / "sub\\out"}};
    // A Windows link where the system makes them, else Unix links, which
    // Wine shows as folders.
    bool made =
        ::CreateSymbolicLinkA((tree / "sub\\loop").c_str(), tree.Root().c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
        ::GetFileAttributesA((tree / "sub\\loop").c_str()) != INVALID_FILE_ATTRIBUTES;
    made = made &&
           ::CreateSymbolicLinkA((tree / "sub\\out").c_str(), outside.Root().c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    if (!made)
        made = UnixSymlink(tree.Root(), tree / "sub\\loop") && UnixSymlink(outside.Root(), tree / "sub\\out");
    if (!made)
        GTEST_SKIP() << "no directory links can be made here";
    ASSERT_TRUE(::GetFileAttributesA((tree / "sub\\loop\\A.INI").c_str()) != INVALID_FILE_ATTRIBUTES)
        << "the loop leads back to the top";

    std::vector<std::string> seen;
    auto* walk = new LinkWalk(2, &seen);
    walk->SetWindowsDirForTest(tree.Root());
    walk->FreeOnTerminate = false;
    RunToEnd(walk, 60000);
    EXPECT_EQ(seen, (std::vector<std::string>{tree / "A.INI", tree / "sub\\B.INI"}));
    EXPECT_EQ(walk->UnreadableCount(TMovixThread::Unreadable::Folder), 0);
    delete walk;
}

TEST_F(WalkLinksTest, AFolderReachedTwiceIsWalkedOnce) {
    TempTree tree("twice");
    tree.File("A.INI", "a");
    tree.Dir("sub\\deep");
    tree.File("sub\\B.INI", "b");
    tree.File("sub\\deep\\C.INI", "c");
    std::vector<std::string> seen;
    auto* walk = new LinkWalk(4, &seen);
    // The same folders by other names: below the first tree, and with a
    // trailing dot the system drops.
    walk->ownTrees = {tree.Root(), tree / "sub", tree / "sub\\deep\\.", tree.Root()};
    RunToEnd(walk);
    EXPECT_EQ(seen, (std::vector<std::string>{tree / "A.INI", tree / "sub\\B.INI", tree / "sub\\deep\\C.INI"}));
}

TEST_F(WalkLinksTest, AFolderThatDoesNotOpenIsCountedAndNamed) {
    TempTree tree("locked");
    tree.Dir("open");
    tree.Dir("locked");
    tree.File("open\\A.INI", "a");
    tree.File("locked\\B.INI", "b");
    // Held open with no sharing: nobody else can open it now.
    FileHandle lock(::CreateFileA((tree / "locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(lock);
    if (::CreateFileA((tree / "locked").c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr) != INVALID_HANDLE_VALUE)
        GTEST_SKIP() << "folders opened without sharing still open here";
    std::vector<std::string> seen;
    auto* walk = new LinkWalk(2, &seen);
    walk->SetWindowsDirForTest(tree.Root());
    walk->FreeOnTerminate = false;
    RunToEnd(walk);
    EXPECT_EQ(seen, std::vector<std::string>{tree / "open\\A.INI"});
    EXPECT_EQ(walk->UnreadableCount(TMovixThread::Unreadable::Folder), 1);
    EXPECT_EQ(walk->UnreadableNames(), std::vector<std::string>{"folder " + (tree / "locked")});
    delete walk;

    // A folder that does not exist is nothing that could not be read.
    seen.clear();
    auto* missing = new LinkWalk(2, &seen);
    missing->SetWindowsDirForTest(tree / "gone");
    missing->FreeOnTerminate = false;
    RunToEnd(missing);
    EXPECT_EQ(missing->UnreadableCount(TMovixThread::Unreadable::Folder), 0);
    delete missing;
}

TEST_F(WalkLinksTest, UnderWineTheUnixRootDriveIsLeftOutUnlessTheOldAddressIsOnIt) {
    if (UnixPath("Z:\\") != "/")
        GTEST_SKIP() << "no drive maps the Unix root here";
    struct Case {
        const char* search;
        const char* leftOut;
    };
    for (const Case& c : {Case{"C:\\OLD", "Z:"}, Case{"z:\\home\\old", ""}, Case{"old", "Z:"}}) {
        std::vector<std::string> seen;
        auto* walk = new LinkWalk(3, &seen, c.search);
        walk->FreeOnTerminate = false;
        walk->stopAtFirstFile = true;
        RunToEnd(walk, 600000);
        EXPECT_EQ(walk->LeftOut, c.leftOut) << c.search;
        delete walk;
    }
}
