// A run's callback for tests: everything the run reports, kept in plain
// lists, and a stop the test can ask for.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "core/found_items.h"
#include "engine/run_callback.h"

namespace movix_test {

// Everything a run reports, kept in plain lists.
struct PlainCallback : movix::IRunCallback {
    void StepStarted(int kind) override { started.push_back(kind); }
    void StepEnded(int kind) override { ended.push_back(kind); }
    void Hit(const std::string& item,
             const std::string& path,
             const std::string& context,
             int kind,
             int subType,
             const std::string& valueName) override {
        // The row as the found list makes it, with no Old to judge names by.
        rows.push_back(movix::MakeFoundItem(item, path, context, kind, subType, valueName, ""));
    }
    void LogLine(const std::string& line) override { log.push_back(line); }
    void RunEnded() override { ++runsEnded; }
    void KeepResponsive() override {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
    bool StopRequested() override { return stop; }

    std::vector<int> started, ended;
    std::vector<movix::TFoundItem> rows;
    std::vector<std::string> log;
    int runsEnded = 0;
    bool stop = false;
};

}  // namespace movix_test
