// The activity log taking 200,000 lines in batches of 1,000 (a replacer's
// lines for some groups), with the window's messages processed between
// batches as the replacement run does, while a second thread sends the
// window an empty message every few milliseconds and times the answer.
// Beside it, the peer: the same lines added to a list box of the same font
// with one device context and one text measurement per line.
//
//   activity_log_bench.exe [--lines 200000] [--rounds 5]
#include <windows.h>

#include "../bench_support_win.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window_win.h"
#include "resource.h"

using namespace movix;

namespace {

std::vector<std::string> MakeLines(int count) {
    std::vector<std::string> lines;
    lines.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        switch (i % 5) {
            case 0:
                lines.push_back("");
                break;
            case 1:
                lines.push_back("Processing INI file C:\\WINDOWS\\APPS\\F" + std::to_string(i) + ".INI");
                break;
            case 2:
                lines.push_back("          INI key: Path=C:\\OLDAPP\\BIN\\TOOL" + std::to_string(i) + ".EXE");
                break;
            case 3:
                lines.push_back("       changed to: Path=D:\\NEWAPP\\BIN\\TOOL" + std::to_string(i) + ".EXE");
                break;
            default:
                lines.push_back("Successfully updated C:\\WINDOWS\\APPS\\F" + std::to_string(i) + ".INI");
                break;
        }
    }
    return lines;
}

// Times the window's answers from a second thread while it runs.
class AnswerWatch {
  public:
    explicit AnswerWatch(HWND window) : window_(window), thread_([this] { Run(); }) {}
    ~AnswerWatch() {
        stop_ = true;
        thread_.join();
    }
    double SlowestMs() const { return slowest_.load() / 1000.0; }

  private:
    void Run() {
        while (!stop_) {
            const double start = NowMs();
            DWORD_PTR result = 0;
            ::SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
            const long long us = static_cast<long long>((NowMs() - start) * 1000.0);
            long long seen = slowest_.load();
            while (us > seen && !slowest_.compare_exchange_weak(seen, us)) {
            }
            ::Sleep(2);
        }
    }
    HWND window_;
    std::atomic<bool> stop_{false};
    std::atomic<long long> slowest_{0};
    std::thread thread_;
};

// The log as it was: a device context and a measurement per line.
void PeerAddLine(HWND list, const std::string& line, int& extent) {
    HDC dc = ::GetDC(list);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageA(list, WM_GETFONT, 0, 0)));
    SIZE size = {};
    ::GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(list, dc);
    ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    if (size.cx > extent) {
        extent = size.cx;
        ::SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(extent), 0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int lineCount = 200000, rounds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--lines") == 0)
            lineCount = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::atoi(argv[i + 1]);
    }
    const std::vector<std::string> lines = MakeLines(lineCount);
    constexpr int kBatch = 1000;

    std::vector<double> ours, peers, ratios, slowest;
    for (int r = 0; r < rounds; ++r) {
        TForm1* form = TForm1::Create(::GetModuleHandleA(nullptr), SW_SHOWNOACTIVATE);
        if (form == nullptr) {
            std::printf("the main window could not be made\n");
            return 1;
        }
        HWND log = form->Control(IDC_lbReport);
        ::SendMessageA(log, LB_RESETCONTENT, 0, 0);
        double ourMs = 0;
        {
            AnswerWatch watch(form->Handle());
            const double start = NowMs();
            for (int i = 0; i < lineCount; ++i) {
                form->AddLogLine(lines[static_cast<size_t>(i)]);
                if ((i + 1) % kBatch == 0)
                    TForm1::ProcessPendingMessages();
            }
            form->FlushLog();
            ourMs = NowMs() - start;
            slowest.push_back(watch.SlowestMs());
        }
        const LRESULT count = ::SendMessageA(log, LB_GETCOUNT, 0, 0);
        const LRESULT extent = ::SendMessageA(log, LB_GETHORIZONTALEXTENT, 0, 0);

        // The peer on a fresh list box of the same font beside it.
        HWND peer = ::CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0,
                                      200, 100, ::GetParent(log), nullptr, ::GetModuleHandleA(nullptr), nullptr);
        ::SendMessageA(peer, WM_SETFONT, ::SendMessageA(log, WM_GETFONT, 0, 0), FALSE);
        int peerExtent = 0;
        const double peerStart = NowMs();
        for (int i = 0; i < lineCount; ++i) {
            PeerAddLine(peer, lines[static_cast<size_t>(i)], peerExtent);
            if ((i + 1) % kBatch == 0)
                TForm1::ProcessPendingMessages();
        }
        const double peerMs = NowMs() - peerStart;
        ours.push_back(ourMs);
        peers.push_back(peerMs);
        ratios.push_back(ourMs / peerMs);
        std::printf(
            "round %d: log %.0f ms (%.0f lines/s, %ld lines, extent %ld px, peer extent %d px), "
            "per-line measuring %.0f ms, ratio %.2f, slowest answer %.1f ms\n",
            r + 1, ourMs, lineCount / (ourMs / 1000.0), static_cast<long>(count), static_cast<long>(extent), peerExtent,
            peerMs, ratios.back(), slowest.back());
        ::DestroyWindow(peer);
        ::DestroyWindow(form->Handle());
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        delete form;
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("activity log, %d lines in batches of %d:\n", lineCount, kBatch);
    std::printf("  median %.0f ms, %.0f lines/s (target: 200,000 lines in <= 2 s)\n", median(ours),
                lineCount / (median(ours) / 1000.0));
    std::printf("  per-line measuring (the peer): median %.0f ms; median ratio %.2f\n", median(peers), median(ratios));
    std::printf("  slowest answer of the window: median %.1f ms (target <= 50 ms)\n", median(slowest));
    return 0;
}
