// The RTF report read back by an RTF reader that is not ours (unrtf): the
// table must come out with its heading row and one row per Y row, braces
// and backslashes intact.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "engine/rtf_report.h"

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace movix;

#ifndef _WIN32
namespace {

std::vector<std::vector<std::string>> TableCells(const std::string& html) {
    std::vector<std::vector<std::string>> rows;
    for (size_t tr = html.find("<tr>"); tr != std::string::npos; tr = html.find("<tr>", tr + 4)) {
        const size_t end = html.find("</tr>", tr);
        std::vector<std::string> cells;
        for (size_t td = html.find("<td>", tr); td != std::string::npos && td < end; td = html.find("<td>", td + 4)) {
            const size_t close = html.find("</td>", td);
            if (close == std::string::npos || close > end)
                break;
            std::string cell;
            bool inTag = false;
            for (size_t i = td + 4; i < close; ++i) {
                if (html[i] == '<')
                    inTag = true;
                else if (html[i] == '>')
                    inTag = false;
                else if (!inTag)
                    cell += html[i];
            }
            cells.push_back(cell);
        }
        rows.push_back(cells);
    }
    return rows;
}

}  // namespace
#endif

TEST(RtfReader, UnrtfReadsTheTableWithItsRowsAndSpecialCharacters) {
#ifdef _WIN32
    GTEST_SKIP() << "unrtf runs on the build machine only";
#else
    if (access("/usr/bin/unrtf", X_OK) != 0)
        GTEST_SKIP() << "unrtf is not installed";
    TFoundItem a;
    a.Item = "A.INI";
    a.Path = "C:\\WIN";
    a.Kind = KindIni;
    a.SubType = 6;
    a.Context = "[S]k=c:\\old\\{1}";
    TFoundItem n = a;
    n.Item = "SKIPPED.INI";
    n.Mark = MarkN;
    TFoundItem r;
    r.Item = "Value}";
    r.Path = "HKCU\\Software\\{Acme}";
    r.Kind = KindReg;
    r.SubType = 8;
    r.Context = "Value}=C:\\OLD\\BIN";
    const std::string path = testing::TempDir() + "movix_report_test.rtf";
    {
        std::ofstream out(path, std::ios::binary);
        out << FoundListRtf("C:\\OLD{x}", {a, n, r});
    }
    FILE* pipe = popen(("/usr/bin/unrtf --html '" + path + "' 2>/dev/null").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string html;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        html.append(buffer, got);
    pclose(pipe);
    std::remove(path.c_str());

    const auto rows = TableCells(html);
    ASSERT_EQ(rows.size(), 3u) << html;
    const std::vector<std::string> heading = {"Item", "Path", "Type", "SubType", "Context"};
    EXPECT_EQ(std::vector<std::string>(rows[0].begin(), rows[0].begin() + 5), heading);
    EXPECT_EQ(rows[1], (std::vector<std::string>{"A.INI", "C:\\WIN", "INI", "key", "[S]k=c:\\old\\{1}"}));
    EXPECT_EQ(rows[2],
              (std::vector<std::string>{"Value}", "HKCU\\Software\\{Acme}", "REG", "dat", "Value}=C:\\OLD\\BIN"}));
#endif
}
