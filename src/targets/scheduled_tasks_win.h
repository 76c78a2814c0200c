// Scheduled tasks as a target: the program, arguments and working folder of
// every exec action of every task the Task Scheduler holds, searched for the
// Old address and rewritten by registering the task's definition again.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "core/replace_groups.h"

namespace movix {

// The fields of an exec action that are searched and rewritten.
extern const char* const kTaskFieldProgram;    // "cmd": the program's path
extern const char* const kTaskFieldArguments;  // "arg": its arguments
extern const char* const kTaskFieldFolder;     // "dir": its working folder

// One field of one exec action of a task that names the Old address.
struct TTaskHit {
    std::string TaskPath;  // the task's full path in the scheduler (\Folder\Name)
    int Action = 0;        // the action's position among the task's actions, from 1
    std::string Field;     // kTaskFieldProgram, kTaskFieldArguments or kTaskFieldFolder
    std::string Text;      // the field's text as the search read it
    // The Old address may go on there into a longer name (MaybeLongerName).
    bool MaybeLonger = false;
};

// Every field of every exec action that holds the Old address at a path
// boundary, in every folder of the scheduler (hidden tasks included), a
// folder's own tasks before its subfolders. What cannot be read is passed
// over in silence. `cancel`, when given and set, ends the walk before the
// next task or folder. Nothing is found when the scheduler does not connect.
// `listed`, when given, tells whether the scheduler connected and listed the
// tasks of its root folder: false means nothing could be searched at all.
std::vector<TTaskHit> SearchScheduledTasks(const std::string& oldAddr,
                                           const std::atomic<bool>* cancel = nullptr,
                                           bool* listed = nullptr);

// What a replacement did to one task: its definition before (as the
// scheduler's XML), each field with the text written into it, and the same
// fields with their texts before.
struct TTaskChange {
    std::string TaskPath;
    std::string BeforeXml;
    std::vector<TTaskHit> Written;
    std::vector<TTaskHit> Before;
};

// Rewrites the hits of one task (all with the same TaskPath): the Old
// address replaced by the New one in the text the search found, after
// finding every field still holding that text, and the definition
// registered again under the task's own logon type and user. The task
// changes as a whole or not at all. A task that runs with a stored password
// is left unchanged (registering it again would need the password). Every
// failure is a "*****" line and gives no change.
std::optional<TTaskChange> ReplaceTaskHits(const std::vector<TTaskHit>& hits,
                                           const std::string& oldAddr,
                                           const std::string& newAddr,
                                           const TLogLine& log);

// Sets the fields the replacement wrote back to their texts before it, in
// the task's definition as it is now (its triggers, settings and whether it
// is enabled stay as they are now), and registers that, when every field
// still holds what the replacement wrote; otherwise, and on any failure, a
// "*****" line and false.
bool RestoreTaskChange(const TTaskChange& change, const TLogLine& log);

// The current text of a field of an exec action of a task; nothing when the
// task, the action or the field cannot be read.
std::optional<std::string> ReadTaskField(const std::string& taskPath, int action, const std::string& field);

// The task's definition as the scheduler's XML; nothing when the task
// cannot be opened or read.
std::optional<std::string> ReadTaskXml(const std::string& taskPath);

// A task's full path split into its folder's path and its own name:
// \A\B\Task gives \A\B and Task, \Task gives \ and Task.
void SplitTaskPath(const std::string& taskPath, std::string& folder, std::string& name);

}  // namespace movix
