// INI search of a generated tree of 20,220 folders holding 5,000 INI files
// (about 2.7 KB each) and 5,000 other files, with 300 hits, timed beside the
// peer: a walk that lists each folder twice ("*.INI", then "*.*") and reads
// each INI file whole. Both produce the same hits in the same order; the
// run checks that. Native grep over the same tree is timed by run.sh.
//
//   ini_search_bench.exe [--root C:\movix_ini_bench] [--rounds 5] [--generate-only] [--only peer|ours]
#include <windows.h>

#include "../bench_support_win.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/search_thread_win.h"
#include "core/strings.h"
#include "platform/ui_dispatch_win.h"
#include "targets/ini_files_win.h"
#include "targets/ini_lines.h"

using namespace movix;

namespace {

constexpr int kTop = 20, kMid = 10, kLeaf = 100;  // 20 + 200 + 20,000 folders
constexpr int kIniFiles = 5000;
constexpr int kOtherFiles = 5000;
constexpr char kOld[] = "C:\\OldApp";
constexpr char kMarker[] = "BENCH_TREE_V1.TXT";

struct Hit {
    std::string item, path, context;
    int subType;
    bool operator==(const Hit& o) const {
        return item == o.item && path == o.path && context == o.context && subType == o.subType;
    }
};

std::string LeafFolder(const std::string& root, int leaf) {
    char name[64];
    std::snprintf(name, sizeof name, "\\T%02d\\M%02d\\L%03d", leaf / (kMid * kLeaf), (leaf / kLeaf) % kMid,
                  leaf % kLeaf);
    return root + name;
}

// Every 20th INI file has a key line naming the Old folder, every 100th also
// a section header: 250 + 50 = 300 hits. Every 10th other file names it too
// (grep finds those; the INI search must not).
std::string IniText(int n) {
    std::string text = "; settings of component " + std::to_string(n) + "\r\n";
    int section = 0;
    while (text.size() < 2700) {
        text += "[Section" + std::to_string(section) + "]\r\n";
        for (int k = 0; k < 8; ++k)
            text += "Key" + std::to_string(k) + "=C:\\Program Files\\Vendor" + std::to_string(n % 37) + "\\App" +
                    std::to_string(k) + "\\file" + std::to_string(section) + ".dat\r\n";
        if (section == 1 && n % 20 == 0)
            text += "Path=C:\\OLDAPP\\BIN;C:\\Windows\r\n";
        if (section == 2 && n % 100 == 0)
            text += "[C:\\OldApp\\Plugins]\r\nEnabled=1\r\n";
        ++section;
    }
    return text;
}

std::string OtherText(int n) {
    std::string text;
    while (text.size() < 2700)
        text += "line " + std::to_string(text.size()) + " of data file " + std::to_string(n) +
                (n % 10 == 0 ? " see C:\\OLDAPP\\README\r\n" : " nothing to see\r\n");
    return text;
}

bool Generate(const std::string& root) {
    if (::GetFileAttributesA((root + "\\" + kMarker).c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    if (::GetFileAttributesA(root.c_str()) != INVALID_FILE_ATTRIBUTES) {
        std::printf("%s exists but holds no complete benchmark tree; remove it first\n", root.c_str());
        return false;
    }
    std::printf("Generating the tree in %s ...\n", root.c_str());
    std::fflush(stdout);
    const double start = NowMs();
    ::CreateDirectoryA(root.c_str(), nullptr);
    for (int t = 0; t < kTop; ++t) {
        char top[32];
        std::snprintf(top, sizeof top, "\\T%02d", t);
        ::CreateDirectoryA((root + top).c_str(), nullptr);
        for (int m = 0; m < kMid; ++m) {
            char mid[32];
            std::snprintf(mid, sizeof mid, "\\M%02d", m);
            ::CreateDirectoryA((root + top + mid).c_str(), nullptr);
        }
    }
    const int leaves = kTop * kMid * kLeaf;
    for (int leaf = 0; leaf < leaves; ++leaf)
        ::CreateDirectoryA(LeafFolder(root, leaf).c_str(), nullptr);
    for (int n = 0; n < kIniFiles; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "\\CFG%05d.INI", n);
        if (!WriteWhole(LeafFolder(root, (n * 4) % leaves) + name, IniText(n)))
            return false;
    }
    for (int n = 0; n < kOtherFiles; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "\\DATA%05d.TXT", n);
        if (!WriteWhole(LeafFolder(root, (n * 4 + 2) % leaves) + name, OtherText(n)))
            return false;
    }
    WriteWhole(root + "\\" + kMarker, "complete\r\n");
    std::printf("Generated in %.1f s\n", (NowMs() - start) / 1000.0);
    return true;
}

// ---- the peer --------------------------------------------------------------

struct PeerWalk {
    std::string searchUpper;
    std::vector<Hit> hits;
    std::vector<char> buffer = std::vector<char>(1 << 20);
    long folders = 0;

    void File(const std::string& folder, const char* name) {
        const std::string full = folder + "\\" + name;
        HANDLE h = ::CreateFileA(full.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return;
        std::string text;
        DWORD got = 0;
        while (::ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0)
            text.append(buffer.data(), got);
        ::CloseHandle(h);
        // The same line rules over the text read whole.
        std::size_t pos = 0;
        IniLineReader reader([&](char* out, std::size_t cap) -> long long {
            const std::size_t n = std::min(cap, text.size() - pos);
            std::memcpy(out, text.data() + pos, n);
            pos += n;
            return static_cast<long long>(n);
        });
        IniSearchScanner scanner([this](std::string_view s) { return ContainsUpper(s, searchUpper); });
        std::string line;
        while (reader.Next(line) == IniLineReader::Result::Line)
            if (scanner.Examine(line))
                hits.push_back({name, folder, scanner.Context(), scanner.SubType()});
    }

    void Tree(const std::string& folder) {
        ++folders;
        const DWORD skip = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | 0x8;
        WIN32_FIND_DATAA data;
        HANDLE find = ::FindFirstFileA((folder + "\\*.INI").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (!(data.dwFileAttributes & (skip | FILE_ATTRIBUTE_DIRECTORY)))
                    File(folder, data.cFileName);
            } while (::FindNextFileA(find, &data));
            ::FindClose(find);
        }
        find = ::FindFirstFileA((folder + "\\*.*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            return;
        do {
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & skip) &&
                std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0)
                Tree(folder + "\\" + data.cFileName);
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
};

double RunPeer(const std::string& root, std::vector<Hit>& hits) {
    PeerWalk peer;
    peer.searchUpper = UpperAscii(kOld);
    const double start = NowMs();
    peer.Tree(root);
    const double ms = NowMs() - start;
    hits = std::move(peer.hits);
    return ms;
}

// ---- ours: the real search thread with a UI thread pumping messages --------

double RunOurs(const std::string& root, HWND label, std::vector<Hit>& hits, long& progressUpdates) {
    hits.clear();
    auto* thread = new TSearchINIThread(
        KindIni, kOld, label,
        [&hits](const std::string& item, const std::string& path, const std::string& context, int, int subType) {
            hits.push_back({item, path, context, subType});
        },
        2);
    thread->SetWindowsDirForTest(root);
    const double ms = TimeSearch(thread, [&](const MSG& msg) {
        if (msg.hwnd == label && msg.message == WM_SETTEXT)
            ++progressUpdates;
    });
    return ms;
}

// What one synchronised call costs: a thread that makes `calls` of them.
class SyncCostThread : public TMovixThread {
public:
    explicit SyncCostThread(int calls) : TMovixThread(KindIni, "x", nullptr, nullptr), calls_(calls) {}

protected:
    void Execute() override {
        if (calls_ < 0) {
            for (int i = 0; i < -calls_; ++i)
                UiDispatcher::Post([] {});
            return;
        }
        for (int i = 0; i < calls_; ++i)
            Synchronize([] {});
    }

private:
    int calls_;
};

double RunSyncCost(int calls) {
    auto* thread = new SyncCostThread(calls);
    const double ms = TimeSearch(thread);
    return ms;
}

// The walk of the search thread, examining no file.
class BareWalk : public TMovixFileThread {
public:
    BareWalk() : TMovixFileThread(KindIni, kOld, nullptr, nullptr, 2) {}

protected:
    void ProcessFile(const std::string&) override {}
};

double RunBareWalk(const std::string& root) {
    auto* thread = new BareWalk;
    thread->SetWindowsDirForTest(root);
    const double ms = TimeSearch(thread);
    return ms;
}

// One listing per folder and nothing else: the floor of any walk.
int g_listVariant = 0;
long ListOnce(const std::string& folder) {
    long folders = 1;
    std::vector<std::string> subs;
    WIN32_FIND_DATAA data;
    HANDLE find;
    switch (g_listVariant) {
        case 0:
            find = ::FindFirstFileExA((folder + "\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                      FIND_FIRST_EX_LARGE_FETCH);
            break;
        case 1:
            find =
                ::FindFirstFileExA((folder + "\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
            break;
        case 2:
            find = ::FindFirstFileA((folder + "\\*").c_str(), &data);
            break;
        default: {
            HANDLE ini = ::FindFirstFileA((folder + "\\*.INI").c_str(), &data);
            if (ini != INVALID_HANDLE_VALUE) {
                while (::FindNextFileA(ini, &data)) {
                }
                ::FindClose(ini);
            }
            find = ::FindFirstFileA((folder + "\\*.*").c_str(), &data);
            break;
        }
    }
    if (find == INVALID_HANDLE_VALUE)
        return folders;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && std::strcmp(data.cFileName, ".") != 0 &&
            std::strcmp(data.cFileName, "..") != 0)
            subs.emplace_back(data.cFileName);
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
    for (const auto& s : subs)
        folders += ListOnce(folder + "\\" + s);
    return folders;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root = "C:\\movix_ini_bench";
    int rounds = 5;
    bool generateOnly = false;
    // "peer", "ours" or "walk" (the search's walk examining no file): only
    // that, --rounds times, on an existing tree; for tracing with strace -c.
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--root") && i + 1 < argc)
            root = argv[++i];
        else if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--generate-only"))
            generateOnly = true;
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only = argv[++i];
    }
    if (only.empty() && !Generate(root)) {
        std::printf("Could not generate the tree in %s\n", root.c_str());
        return 1;
    }
    if (generateOnly)
        return 0;

    UiDispatcher::Init();
    HWND label = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 400, 20, HWND_MESSAGE, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);

    std::vector<Hit> peerHits, ourHits;
    long updates = 0;
    if (!only.empty()) {
        double ms = 0;
        for (int r = 0; r < rounds; ++r) {
            if (only == "peer")
                ms += RunPeer(root, peerHits);
            else if (only == "ours")
                ms += RunOurs(root, label, ourHits, updates);
            else
                ms += RunBareWalk(root);
        }
        std::printf("%s: %.0f ms in %d passes, %zu hits\n", only.c_str(), ms, rounds,
                    only == "peer" ? peerHits.size() : ourHits.size());
        return 0;
    }
    // One unmeasured pass of each warms the caches of both sides.
    RunPeer(root, peerHits);
    RunOurs(root, label, ourHits, updates);

    std::vector<double> peerMs, ourMs, ratios;
    bool same = true;
    for (int r = 0; r < rounds; ++r) {
        // Alternate the order so neither side always runs first.
        if (r % 2 == 0) {
            peerMs.push_back(RunPeer(root, peerHits));
            ourMs.push_back(RunOurs(root, label, ourHits, updates));
        } else {
            ourMs.push_back(RunOurs(root, label, ourHits, updates));
            peerMs.push_back(RunPeer(root, peerHits));
        }
        same = same && peerHits == ourHits;
        ratios.push_back(ourMs.back() / peerMs.back());
        std::printf("round %d: peer %.0f ms, search thread %.0f ms, ratio %.2f (%zu / %zu hits)\n", r + 1,
                    peerMs.back(), ourMs.back(), ratios.back(), peerHits.size(), ourHits.size());
        std::fflush(stdout);
    }
    std::sort(peerMs.begin(), peerMs.end());
    std::sort(ourMs.begin(), ourMs.end());
    std::sort(ratios.begin(), ratios.end());
    const double peerMedian = peerMs[peerMs.size() / 2];
    const double ourMedian = ourMs[ourMs.size() / 2];
    std::printf("INI search, %d folders, %d INI files, %d other files\n", kTop + kTop * kMid + kTop * kMid * kLeaf,
                kIniFiles, kOtherFiles);
    std::printf("  peer (two listings per folder, INI read whole): median %.0f ms, best %.0f ms\n", peerMedian,
                peerMs.front());
    std::printf("  search thread (one listing, large fetch):        median %.0f ms, best %.0f ms\n", ourMedian,
                ourMs.front());
    std::printf("  ratio of medians %.2f, median of the rounds' ratios %.2f  (target <= 0.60)\n",
                ourMedian / peerMedian, ratios[ratios.size() / 2]);
    std::printf("  hits: %zu, same hits in the same order as the peer: %s\n", ourHits.size(), same ? "yes" : "NO");
    {
        std::vector<Hit> h;
        long u = 0;
        std::printf("  search thread without a progress label: %.0f ms\n", RunOurs(root, nullptr, h, u));
    }
    const double syncMs = RunSyncCost(20000);
    std::printf("  for reference: 20,000 synchronised calls %.0f ms, 20,000 posted calls %.0f ms\n", syncMs,
                RunSyncCost(-20000));
    std::printf("\n");
    for (int v : {0, 3}) {
        g_listVariant = v;
        double listStart = NowMs();
        const long listed = ListOnce(root);
        static const char* names[] = {"Ex basic large fetch", "Ex basic", "FindFirstFileA *", "*.INI then *.*"};
        std::printf("  listing alone, %ld folders, %s: %.0f ms\n", listed, names[v], NowMs() - listStart);
    }
    ::DestroyWindow(label);
    UiDispatcher::Shutdown();
    return same ? 0 : 2;
}
