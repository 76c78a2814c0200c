#include "platform/path_names.h"

#include <gtest/gtest.h>

namespace {

TEST(PathNames, FolderOfKeepsADrivesRootWhole) {
    struct Case {
        const char* path;
        const char* folder;
    };
    for (const Case& c : {Case{"C:\\PROGS\\MOVIX32.EXE", "C:\\PROGS"}, Case{"C:\\MOVIX32.EXE", "C:\\"},
                          Case{"C:/PROGS/MOVIX32.EXE", "C:/PROGS"},
                          Case{"\\\\SERVER\\SHARE\\X.EXE", "\\\\SERVER\\SHARE"}, Case{"MOVIX32.EXE", "."}})
        EXPECT_EQ(movix::FolderOf(c.path), c.folder) << c.path;
}

TEST(PathNames, InFolderPutsOneBackslashBetween) {
    EXPECT_EQ(movix::InFolder("C:\\PROGS", "MOVIXHLP.EXE"), "C:\\PROGS\\MOVIXHLP.EXE");
    EXPECT_EQ(movix::InFolder("C:\\", "MOVIXHLP.EXE"), "C:\\MOVIXHLP.EXE");
    EXPECT_EQ(movix::InFolder(movix::FolderOf("C:\\MOVIX32.EXE"), "MOVIXHLP.EXE"), "C:\\MOVIXHLP.EXE");
}

}  // namespace
