// How long 200,000 hits take to reach the found list in a real window, how
// long sorting them by a column takes, and the memory they cost. Two ways
// of adding: straight from the window's thread, and from a worker thread
// through a blocking SendMessage per hit, as the search threads' synchronised
// call does, while a third thread checks that the window keeps answering.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/found_list_win.h"

using movix::TFoundList;

namespace {

int HitCount = 200000;  // or the first argument
constexpr UINT WmAddHit = WM_APP + 1;
constexpr UINT WmWorkerDone = WM_APP + 2;
constexpr UINT WmPing = WM_APP + 3;
constexpr UINT WmNothing = WM_APP + 4;

struct Hit {
    std::string item, path, context;
    int kind, subType;
};

TFoundList* g_list = nullptr;
LARGE_INTEGER g_frequency;
double g_maxPingMs = 0;
bool g_workerDone = false;

double NowMs() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(g_frequency.QuadPart);
}

double PeakMiB() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
    return static_cast<double>(pmc.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

double WorkingMiB() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
    return static_cast<double>(pmc.WorkingSetSize) / (1024.0 * 1024.0);
}

// Hits shaped like a search for C:\WINDOWS: Registry values and keys, INI
// lines and shortcuts, with enough variety that no column is presorted.
std::vector<Hit> MakeHits(int n) {
    std::vector<Hit> hits;
    hits.reserve(static_cast<std::size_t>(n));
    unsigned seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xFFFFFF;
    };
    const char* roots[] = {"HKCR\\CLSID\\", "HKLM\\SOFTWARE\\Classes\\CLSID\\", "HKCU\\Software\\Microsoft\\Windows\\",
                           "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"};
    const char* dlls[] = {"shell32", "ole32", "mshtml", "comctl32", "user32", "Setup", "Fonts", "Media"};
    char buf[256];
    for (int i = 0; i < n; ++i) {
        Hit h;
        const unsigned r = next();
        switch (r % 10) {
            case 0:
            case 1:
            case 2:
            case 3: {  // a value's data under a class key
                std::snprintf(buf, sizeof buf, "%s{%08X-%04X-11CF-8F3A-00AA00%06X}\\InprocServer32", roots[r % 4],
                              next(), next() & 0xFFFF, next());
                h.path = buf;
                h.item = (r & 0x10) ? "(default)" : "ThreadingModel";
                std::snprintf(buf, sizeof buf, "C:\\WINDOWS\\system32\\%s%u.dll", dlls[next() % 8], next() % 1000);
                h.context = buf;
                h.kind = movix::KindReg;
                h.subType = 8 + static_cast<int>(r & 1);
                break;
            }
            case 4:
            case 5: {  // a key name
                std::snprintf(buf, sizeof buf, "%sApp Paths\\prog%05u", roots[3], next() % 100000);
                h.path = buf;
                std::snprintf(buf, sizeof buf, "C:\\WINDOWS\\Temp%u", next() % 5000);
                h.item = buf;
                h.context = buf;
                h.kind = movix::KindReg;
                h.subType = 6;
                break;
            }
            case 6:
            case 7: {  // an INI line
                std::snprintf(buf, sizeof buf, "PROG%04u.INI", next() % 3000);
                h.item = buf;
                h.path = (r & 2) ? "C:\\WINDOWS" : "C:\\Program Files\\Some Vendor\\App";
                std::snprintf(buf, sizeof buf, "Dir%u=C:\\WINDOWS\\%s\\%u", next() % 50, dlls[next() % 8],
                              next() % 999);
                h.context = buf;
                h.kind = movix::KindIni;
                h.subType = (r & 4) ? 1 : 6;
                break;
            }
            default: {  // a shortcut
                std::snprintf(buf, sizeof buf, "Program %u.lnk", next() % 20000);
                h.item = buf;
                std::snprintf(buf, sizeof buf, "C:\\WINDOWS\\Start Menu\\Programs\\Group %u", next() % 400);
                h.path = buf;
                std::snprintf(buf, sizeof buf, "C:\\WINDOWS\\%s.exe", dlls[next() % 8]);
                h.context = buf;
                h.kind = movix::KindLnk;
                h.subType = 2 + static_cast<int>(r % 4);
                break;
            }
        }
        hits.push_back(std::move(h));
    }
    return hits;
}

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_NOTIFY:
            if (g_list) {
                LRESULT result = 0;
                if (g_list->HandleNotify(reinterpret_cast<NMHDR*>(lp), result))
                    return result;
            }
            break;
        case WmAddHit: {
            const Hit& h = *reinterpret_cast<const Hit*>(lp);
            g_list->AddFoundItem(h.item, h.path, h.context, h.kind, h.subType);
            return 0;
        }
        case WmNothing:
            return 0;
        case WmWorkerDone:
            g_workerDone = true;
            return 0;
        case WmPing: {
            const double sent = static_cast<double>(lp) / 1000.0;
            const double late = NowMs() - sent;
            if (late > g_maxPingMs)
                g_maxPingMs = late;
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void SelectAll(HWND lv, bool on) {
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED;
    state.state = on ? LVIS_SELECTED : 0;
    SendMessageA(lv, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
}

void TimeSort(TFoundList& list, const char* what, int column) {
    const double t0 = NowMs();
    if (column < 0)
        list.SortFixedOrder();
    else
        list.lvFoundColumnClick(column);
    const double t1 = NowMs();
    UpdateWindow(list.Handle());
    const double t2 = NowMs();
    std::printf("  sort %-34s %8.1f ms (+ %5.1f ms to paint)\n", what, t1 - t0, t2 - t1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::atoi(argv[1]) > 0)
        HitCount = std::atoi(argv[1]);
    QueryPerformanceFrequency(&g_frequency);
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSA wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "FoundListBench";
    RegisterClassA(&wc);
    HWND host = CreateWindowExA(0, wc.lpszClassName, "lvFound benchmark", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1000,
                                720, nullptr, nullptr, wc.hInstance, nullptr);
    if (!host) {
        std::printf("no window (is DISPLAY set?)\n");
        return 1;
    }
    Pump();

    const std::vector<Hit> hits = MakeHits(HitCount);
    std::printf("found list benchmark: %d hits\n", HitCount);
    std::printf("  memory before the list: working set %.1f MiB, peak %.1f MiB\n", WorkingMiB(), PeakMiB());

    // 1. Added on the window's thread, the message queue served every 256 hits.
    {
        TFoundList list;
        g_list = &list;
        list.Create(host, RECT{0, 0, 980, 680});
        list.SetOldAddress("C:\\WINDOWS");  // every hit is checked for a longer folder name
        UpdateWindow(host);
        const double before = WorkingMiB();
        double maxGap = 0, lastPump = NowMs();
        const double t0 = NowMs();
        for (int i = 0; i < HitCount; ++i) {
            const Hit& h = hits[static_cast<std::size_t>(i)];
            list.AddFoundItem(h.item, h.path, h.context, h.kind, h.subType);
            if ((i & 255) == 255) {
                Pump();
                const double now = NowMs();
                if (now - lastPump > maxGap)
                    maxGap = now - lastPump;
                lastPump = now;
            }
        }
        const double t1 = NowMs();
        UpdateWindow(list.Handle());
        const double t2 = NowMs();
        std::printf(
            "add on the window thread: %8.1f ms (%.2f us a hit; longest stretch without serving the queue "
            "%.1f ms) + %.1f ms to paint\n",
            t1 - t0, 1000.0 * (t1 - t0) / HitCount, maxGap, t2 - t1);
        std::printf("  rows %d, control count %d; working set %.1f MiB (+%.1f), peak %.1f MiB\n", list.RowCount(),
                    static_cast<int>(SendMessageA(list.Handle(), LVM_GETITEMCOUNT, 0, 0)), WorkingMiB(),
                    WorkingMiB() - before, PeakMiB());
        std::printf("  column widths: Item %d, Path %d, Type %d, SubType %d, Context %d\n", list.ColumnWidth(0),
                    list.ColumnWidth(1), list.ColumnWidth(2), list.ColumnWidth(3), list.ColumnWidth(4));

        TimeSort(list, "by Path (ascending)", 1);
        TimeSort(list, "by Item (first click: descending)", 0);
        TimeSort(list, "by Item again (ascending)", 0);
        TimeSort(list, "by Context", 4);
        TimeSort(list, "by Type", 2);
        TimeSort(list, "by SubType", 3);
        SelectAll(list.Handle(), true);
        TimeSort(list, "by Path, every row selected", 1);
        SelectAll(list.Handle(), false);
        LVITEMA state{};
        state.stateMask = LVIS_SELECTED;
        state.state = LVIS_SELECTED;
        // 1,000 rows spread over the list, as a user picks them by hand.
        for (int i = 0; i < HitCount; i += HitCount / 1000)
            SendMessageA(list.Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&state));
        TimeSort(list, "by Context, 1,000 rows selected", 4);
        std::printf("    (still selected afterwards: %d)\n",
                    static_cast<int>(SendMessageA(list.Handle(), LVM_GETSELECTEDCOUNT, 0, 0)));
        SelectAll(list.Handle(), false);
        double t = NowMs();
        SendMessageA(list.Handle(), WM_SETREDRAW, FALSE, 0);
        for (int i = 0; i < HitCount; i += 2)
            SendMessageA(list.Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&state));
        SendMessageA(list.Handle(), WM_SETREDRAW, TRUE, 0);
        std::printf("  (selecting every other row: %.1f ms)\n", NowMs() - t);
        t = NowMs();
        list.Toggle1Click(movix::TagToggle);
        std::printf("  toggle %d selected rows                %8.1f ms\n",
                    static_cast<int>(SendMessageA(list.Handle(), LVM_GETSELECTEDCOUNT, 0, 0)), NowMs() - t);
        TimeSort(list, "by Item, every other row selected", 0);
        std::printf("    (still selected afterwards: %d)\n",
                    static_cast<int>(SendMessageA(list.Handle(), LVM_GETSELECTEDCOUNT, 0, 0)));
        t = NowMs();
        list.DeleteRowsMarkedN();
        std::printf("  delete the rows marked N               %8.1f ms (%d rows left)\n", NowMs() - t, list.RowCount());
        TimeSort(list, "fixed order (Type, Path, Item)", -1);
        std::printf("  peak working set %.1f MiB\n", PeakMiB());
        g_list = nullptr;
    }

    // 2. Added from a worker thread, one blocking SendMessage a hit, while a
    // third thread posts a ping every 20 ms and the window notes how late
    // each one was served.
    {
        TFoundList list;
        g_list = &list;
        list.Create(host, RECT{0, 0, 980, 680});
        list.SetOldAddress("C:\\WINDOWS");  // every hit is checked for a longer folder name
        UpdateWindow(host);
        g_workerDone = false;
        g_maxPingMs = 0;
        std::atomic<bool> stop{false};
        const double t0 = NowMs();
        std::thread worker([&] {
            for (const Hit& h : hits)
                SendMessageA(host, WmAddHit, 0, reinterpret_cast<LPARAM>(&h));
            PostMessageA(host, WmWorkerDone, 0, 0);
        });
        std::thread pinger([&] {
            while (!stop) {
                PostMessageA(host, WmPing, 0, static_cast<LPARAM>(NowMs() * 1000.0));
                Sleep(20);
            }
        });
        MSG msg;
        while (!g_workerDone && GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        const double t1 = NowMs();
        stop = true;
        worker.join();
        pinger.join();
        Pump();
        std::printf(
            "add from a worker thread (SendMessage a hit): %8.1f ms (%.2f us a hit); "
            "window answered a ping within %.1f ms at worst\n",
            t1 - t0, 1000.0 * (t1 - t0) / HitCount, g_maxPingMs);

        // The bare cost of the round trip, for comparison: a message that does nothing.
        g_workerDone = false;
        const int empties = HitCount / 10;
        const double e0 = NowMs();
        std::thread idle([&] {
            for (int i = 0; i < empties; ++i)
                SendMessageA(host, WmNothing, 0, 0);
            PostMessageA(host, WmWorkerDone, 0, 0);
        });
        while (!g_workerDone && GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        idle.join();
        std::printf("  (an empty SendMessage from a worker: %.2f us a call)\n", 1000.0 * (NowMs() - e0) / empties);
        TimeSort(list, "by Path (ascending)", 1);
        std::printf("  peak working set %.1f MiB\n", PeakMiB());
        g_list = nullptr;
    }
    DestroyWindow(host);
    return 0;
}
