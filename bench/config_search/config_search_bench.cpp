// Configuration-file search of a generated tree of 2,220 folders holding
// 4,000 settings files of the searched types (JSON, XML, .config, YAML, about
// 3 KB each; 1 in 20 names the Old folder, in one of its spellings) and 4,000
// files of other types, timed beside its floor: one listing of each folder
// and a whole read of each file of the searched types, finding nothing.
// Rounds alternate (A B A B); medians of the rounds.
//
//   config_search_bench.exe [--root C:\movix_config_bench] [--rounds 5]
#include <windows.h>

#include "../bench_support_win.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/kinds.h"
#include "platform/ui_dispatch_win.h"
#include "targets/config_files.h"
#include "targets/config_files_win.h"

using namespace movix;

namespace {

constexpr int kTop = 20, kMid = 10, kLeaf = 10;  // 20 + 200 + 2,000 folders
constexpr int kLeaves = kTop * kMid * kLeaf;
constexpr int kConfigFiles = 4000;
constexpr int kOtherFiles = 4000;
constexpr char kOld[] = "C:\\Old Tools";
constexpr char kMarker[] = "BENCH_TREE_V1.TXT";

std::string LeafFolder(const std::string& root, int leaf) {
    char name[64];
    std::snprintf(name, sizeof name, "\\T%02d\\M%02d\\L%02d", leaf / (kMid * kLeaf), (leaf / kLeaf) % kMid,
                  leaf % kLeaf);
    return root + name;
}

const char* const kTypes[] = {"json", "xml", "config", "yaml"};

// About 3 KB of settings; every 20th file names the Old folder once, in the
// spelling its type uses.
std::string ConfigText(int n) {
    const int type = n % 4;
    std::string text;
    for (int k = 0; text.size() < 3000; ++k) {
        const std::string value = "C:\\\\Program Files\\\\Vendor" + std::to_string(n % 37) + "\\\\App" +
                                  std::to_string(k) + "\\\\data.bin";
        switch (type) {
            case 0: text += "  \"key" + std::to_string(k) + "\": \"" + value + "\",\n"; break;
            case 1:
            case 2: text += "  <add key=\"k" + std::to_string(k) + "\" value=\"C:\\Program Files\\App\" />\r\n"; break;
            default: text += "key" + std::to_string(k) + ": C:/Program Files/Vendor/App" + std::to_string(k) + "\n";
        }
        if (k == 3 && n % 20 == 0) {
            switch (type) {
                case 0: text += "  \"home\": \"C:\\\\Old Tools\\\\bin\",\n"; break;
                case 1:
                case 2: text += "  <add key=\"home\" value=\"C:\\Old&#32;Tools\\bin\" />\r\n"; break;
                default: text += "home: file:///C:/Old%20Tools/bin\n";
            }
        }
    }
    return text;
}

bool Generate(const std::string& root) {
    if (::GetFileAttributesA((root + "\\" + kMarker).c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    ::CreateDirectoryA(root.c_str(), nullptr);
    for (int t = 0; t < kTop; ++t)
        for (int m = 0; m < kMid; ++m)
            for (int l = 0; l < kLeaf; ++l) {
                const std::string leaf = LeafFolder(root, (t * kMid + m) * kLeaf + l);
                ::CreateDirectoryA(leaf.substr(0, leaf.size() - 8).c_str(), nullptr);
                ::CreateDirectoryA(leaf.substr(0, leaf.size() - 4).c_str(), nullptr);
                ::CreateDirectoryA(leaf.c_str(), nullptr);
            }
    for (int n = 0; n < kConfigFiles; ++n)
        if (!WriteWhole(LeafFolder(root, n % kLeaves) + "\\settings" + std::to_string(n) + "." + kTypes[n % 4],
                        ConfigText(n)))
            return false;
    for (int n = 0; n < kOtherFiles; ++n)
        if (!WriteWhole(LeafFolder(root, (n * 7) % kLeaves) + "\\data" + std::to_string(n) + ".bin",
                        std::string(3000, 'x')))
            return false;
    return WriteWhole(root + "\\" + kMarker, "1");
}

// The floor: each folder listed once (large fetch), each file of the
// searched types read whole.
long Floor(const std::string& folder, const std::vector<std::string>& types, std::string& buffer) {
    long files = 0;
    std::vector<std::string> subs;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileExA((folder + "\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0)
                subs.emplace_back(data.cFileName);
        } else if (HasConfigType(data.cFileName, types)) {
            HANDLE h = ::CreateFileA((folder + "\\" + data.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                DWORD got = 0;
                buffer.resize(64 * 1024);
                while (::ReadFile(h, &buffer[0], static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
                }
                ::CloseHandle(h);
                ++files;
            }
        }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    for (const auto& s : subs)
        files += Floor(folder + "\\" + s, types, buffer);
    return files;
}

double RunFloor(const std::string& root, const std::vector<std::string>& types, long& files) {
    std::string buffer;
    const double start = NowMs();
    files = Floor(root, types, buffer);
    return NowMs() - start;
}

double RunOurs(const std::string& root, const std::vector<std::string>& types, HWND label, long& hits) {
    hits = 0;
    auto* thread = new TSearchConfigThread(
        KindCfg, kOld, root, label,
        [&hits](const std::string&, const std::string&, const std::string&, int, int) { ++hits; }, kConfigNewFolder,
        -1, types);
    return TimeSearch(thread);
}

}  // namespace

int main(int argc, char** argv) {
    std::string root = "C:\\movix_config_bench";
    int rounds = 5;
    ReadBenchArguments(argc, argv, root, rounds);
    if (!Generate(root)) {
        std::printf("Could not generate the tree in %s\n", root.c_str());
        return 1;
    }
    UiDispatcher::Init();
    HWND label = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 400, 20, HWND_MESSAGE, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);
    const std::vector<std::string> types = ParseConfigTypes(kDefaultConfigTypes);
    long files = 0, hits = 0;
    // One unmeasured pass of each warms the caches of both sides.
    RunFloor(root, types, files);
    RunOurs(root, types, label, hits);
    std::vector<double> floorMs, ourMs, ratios;
    for (int r = 0; r < rounds; ++r) {
        double f, o;
        if (r % 2 == 0) {
            f = RunFloor(root, types, files);
            o = RunOurs(root, types, label, hits);
        } else {
            o = RunOurs(root, types, label, hits);
            f = RunFloor(root, types, files);
        }
        floorMs.push_back(f);
        ourMs.push_back(o);
        ratios.push_back(o / f);
        std::printf("round %d: listing and reading %.0f ms, configuration-file search %.0f ms, ratio %.2f\n", r + 1,
                    f, o, o / f);
        std::fflush(stdout);
    }
    std::sort(floorMs.begin(), floorMs.end());
    std::sort(ourMs.begin(), ourMs.end());
    std::sort(ratios.begin(), ratios.end());
    std::printf("Configuration-file search, %d folders, %d settings files, %d other files\n",
                kTop + kTop * kMid + kLeaves, kConfigFiles, kOtherFiles);
    std::printf("  listing each folder once, reading %ld files of the searched types: median %.0f ms\n", files,
                floorMs[floorMs.size() / 2]);
    std::printf("  configuration-file search (%ld hits): median %.0f ms\n", hits, ourMs[ourMs.size() / 2]);
    std::printf("  median of the rounds' ratios %.2f  (target <= 1.15)\n", ratios[ratios.size() / 2]);
    ::DestroyWindow(label);
    UiDispatcher::Shutdown();
    return hits == kConfigFiles / 20 ? 0 : 2;
}
