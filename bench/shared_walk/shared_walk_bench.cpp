// INI files, shortcuts and configuration files searched over one generated
// tree of 11,110 folders (3,000 INI files, 3,000 settings files, 1,000
// shortcut-named files, 6,000 others), the three walks one after another as
// a run makes them:
//   separate   each walk lists every folder itself
//   shared     one listing of each folder, shared by the three walks
//   shared+N   the same with N threads listing ahead
// beside the floor: one single-thread listing of the tree that reads every
// file of those types. Rounds alternate; medians of the rounds.
//
//   shared_walk_bench.exe [--root C:\movix_walk_bench] [--rounds 5]
#include <windows.h>

#include "../bench_support_win.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/kinds.h"
#include "platform/ui_dispatch_win.h"
#include "targets/config_files.h"
#include "targets/config_files_win.h"
#include "targets/ini_files_win.h"
#include "targets/shortcuts_win.h"

using namespace movix;

namespace {

constexpr int kTop = 10, kMid = 10, kLeaf = 110;  // 10 + 100 + 11,000 folders
constexpr int kLeaves = kTop * kMid * kLeaf;
constexpr char kOld[] = "C:\\Old Walk";
constexpr char kMarker[] = "BENCH_TREE_V1.TXT";

std::string LeafFolder(const std::string& root, int leaf) {
    char name[64];
    std::snprintf(name, sizeof name, "\\T%02d\\M%02d\\L%03d", leaf / (kMid * kLeaf), (leaf / kLeaf) % kMid,
                  leaf % kLeaf);
    return root + name;
}

bool Generate(const std::string& root) {
    if (::GetFileAttributesA((root + "\\" + kMarker).c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    ::CreateDirectoryA(root.c_str(), nullptr);
    for (int leaf = 0; leaf < kLeaves; ++leaf) {
        const std::string path = LeafFolder(root, leaf);
        ::CreateDirectoryA(path.substr(0, path.size() - 9).c_str(), nullptr);
        ::CreateDirectoryA(path.substr(0, path.size() - 5).c_str(), nullptr);
        ::CreateDirectoryA(path.c_str(), nullptr);
    }
    std::string ini, json;
    for (int k = 0; k < 40; ++k) {
        ini += "Key" + std::to_string(k) + "=C:\\Program Files\\Vendor\\App\\file" + std::to_string(k) + ".dat\r\n";
        json += "  \"key" + std::to_string(k) + "\": \"C:\\\\Program Files\\\\Vendor\\\\App\",\n";
    }
    for (int n = 0; n < 3000; ++n) {
        const std::string leaf = LeafFolder(root, (n * 3) % kLeaves);
        const bool hit = n % 25 == 0;
        if (!WriteWhole(leaf + "\\app" + std::to_string(n) + ".ini",
                        "[Main]\r\n" + ini + (hit ? "Home=C:\\Old Walk\\bin\r\n" : "")) ||
            !WriteWhole(leaf + "\\set" + std::to_string(n) + ".json",
                        "{\n" + json + (hit ? "  \"home\": \"C:\\\\Old Walk\\\\bin\"\n" : "  \"x\": 0\n") + "}\n"))
            return false;
    }
    for (int n = 0; n < 1000; ++n)
        if (!WriteWhole(LeafFolder(root, (n * 11) % kLeaves) + "\\link" + std::to_string(n) + ".lnk", "not a link"))
            return false;
    for (int n = 0; n < 6000; ++n)
        if (!WriteWhole(LeafFolder(root, (n * 7) % kLeaves) + "\\data" + std::to_string(n) + ".bin",
                        std::string(2000, 'x')))
            return false;
    return WriteWhole(root + "\\" + kMarker, "1");
}

const std::vector<std::string>& Types() {
    static const std::vector<std::string> types = [] {
        std::vector<std::string> t = ParseConfigTypes(kDefaultConfigTypes);
        t.push_back("LNK");
        return t;
    }();
    return types;
}

// The floor: one listing of each folder, every file of the searched types
// read whole.
void Floor(const std::string& folder, std::string& buffer) {
    std::vector<std::string> subs;
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileExA((folder + "\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0)
                subs.emplace_back(data.cFileName);
        } else if (HasConfigType(data.cFileName, Types())) {
            HANDLE h = ::CreateFileA((folder + "\\" + data.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                DWORD got = 0;
                buffer.resize(64 * 1024);
                while (::ReadFile(h, &buffer[0], static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
                }
                ::CloseHandle(h);
            }
        }
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    for (const auto& s : subs)
        Floor(folder + "\\" + s, buffer);
}

double RunFloor(const std::string& root) {
    std::string buffer;
    const double start = NowMs();
    Floor(root, buffer);
    return NowMs() - start;
}

// The three walks in a row; `workers` < 0: separate listings.
double RunWalks(const std::string& root, int workers, long& hits, bool iniOnly = false) {
    hits = 0;
    std::shared_ptr<TFolderListings> listings;
    if (workers >= 0)
        listings = std::make_shared<TFolderListings>(
            [](const std::string& name) { return HasConfigType(name, Types()); }, workers);
    auto count = [&hits](const std::string&, const std::string&, const std::string&, int, int) { ++hits; };
    double ms = 0;
    {
        auto* ini = new TSearchINIThread(KindIni, kOld, nullptr, count, 2);
        ini->SetWindowsDirForTest(root);
        ini->UseListings(listings);
        ms += TimeSearch(ini);
    }
    if (iniOnly)
        return ms;
    {
        auto* lnk = new TSearchLNKThread(KindLnk, kOld, nullptr, count, 2);
        lnk->SetWindowsDirForTest(root);
        lnk->UseListings(listings);
        ms += TimeSearch(lnk);
    }
    {
        auto* cfg = new TSearchConfigThread(KindCfg, kOld, root, nullptr, count, kConfigNewFolder, 2,
                                            ParseConfigTypes(kDefaultConfigTypes));
        cfg->UseListings(listings);
        ms += TimeSearch(cfg);
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root = "C:\\movix_walk_bench";
    int rounds = 5;
    ReadBenchArguments(argc, argv, root, rounds);
    if (!Generate(root)) {
        std::printf("Could not generate the tree in %s\n", root.c_str());
        return 1;
    }
    UiDispatcher::Init();
    long hits = 0;
    RunFloor(root);
    RunWalks(root, -1, hits);
    struct Variant {
        const char* name;
        int workers;
        bool iniOnly;
        std::vector<double> ms, ratio;
    };
    std::vector<Variant> variants = {{"INI search alone, own listing", -1, true, {}, {}},
                                     {"INI search alone, 1 thread ahead", 1, true, {}, {}},
                                     {"three walks, separate listings", -1, false, {}, {}},
                                     {"three walks, one shared listing", 0, false, {}, {}},
                                     {"three walks, shared, 1 thread ahead", 1, false, {}, {}},
                                     {"three walks, shared, 2 threads ahead", 2, false, {}, {}}};
    std::vector<double> floorMs;
    long counted = -1;
    bool same = true;
    for (int r = 0; r < rounds; ++r) {
        // The floor before and after the variants in turn, each variant
        // beside the floor of its own round.
        const double floor = RunFloor(root);
        floorMs.push_back(floor);
        for (std::size_t v = 0; v < variants.size(); ++v) {
            Variant& variant = variants[(v + r) % variants.size()];
            const double ms = RunWalks(root, variant.workers, hits, variant.iniOnly);
            variant.ms.push_back(ms);
            variant.ratio.push_back(ms / floor);
            if (!variant.iniOnly) {
                same = same && (counted < 0 || counted == hits);
                counted = hits;
            }
        }
        std::printf("round %d: floor %.0f ms\n", r + 1, floor);
        std::fflush(stdout);
    }
    std::printf("%d folders; floor (one listing, reading the searched types): median %.0f ms\n",
                kTop + kTop * kMid + kLeaves, Median(floorMs));
    for (const Variant& v : variants)
        std::printf("  %-38s median %6.0f ms, median ratio to the floor %.2f\n", v.name, Median(v.ms),
                    Median(v.ratio));
    std::printf("  hits of the three walks: %ld, the same in every variant: %s\n", counted, same ? "yes" : "NO");
    std::printf("  targets: INI alone <= 1.05 on one thread, <= 0.8 with two; three walks shared <= 1.2\n");
    UiDispatcher::Shutdown();
    return same ? 0 : 2;
}
