// What a run tells whoever shows it, and the little it asks back. The window
// implements it; a run without a window (a test, a run with no one watching)
// implements it with plain lists. All calls come on the thread that started
// the run.
#pragma once

#include <string>

namespace movix {

class IRunCallback {
  public:
    virtual ~IRunCallback() = default;

    // A step of the run begins or has ended: the search or the replacement
    // in the targets of one kind (by kind code, as Kinds() has them).
    virtual void StepStarted(int kind) = 0;
    virtual void StepEnded(int kind) = 0;
    // A search hit: a new row marked Y.
    virtual void Hit(const std::string& item,
                     const std::string& path,
                     const std::string& context,
                     int kind,
                     int subType,
                     const std::string& valueName) = 0;
    // One line of the activity log; an empty line is a blank one.
    virtual void LogLine(const std::string& line) = 0;
    // The run is over (after its last step, or where a stop ended it).
    virtual void RunEnded() = 0;

    // Called between pieces of work: lets the host answer its own messages
    // (a window repaints), and says whether the host asks the run to stop.
    virtual void KeepResponsive() = 0;
    virtual bool StopRequested() = 0;
};

}  // namespace movix
