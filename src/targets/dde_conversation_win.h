// The program's DDE client conversation with Program Manager: connect,
// request an item as text, send command lines as one asynchronous execute,
// disconnect.
//
// Threads: a conversation belongs to the thread that first opens it, the UI
// thread; every call, the destructor included, belongs there. The DDE
// library calls back on that thread, and only while it processes messages;
// that is where the completion of an asynchronous execute arrives and clears
// Waiting(). So after ExecuteMacroLines the UI thread must let messages be
// processed before Waiting() can turn false. A search thread reaches the
// conversation only through Synchronize, never directly: called from another
// thread, SetLink, OpenLink, RequestData, ExecuteMacroLines and CloseLink do
// nothing (and fail where they can say so).
#pragma once

#include <windows.h>

#include <ddeml.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/dde_handles_win.h"

namespace movix {

class TDdeClientConv {
  public:
    TDdeClientConv();
    ~TDdeClientConv();
    TDdeClientConv(const TDdeClientConv&) = delete;
    TDdeClientConv& operator=(const TDdeClientConv&) = delete;

    // Sets the service and topic of the next OpenLink; ends any conversation
    // still open.
    void SetLink(const std::string& service, const std::string& topic);
    const std::string& Service() const { return service_; }
    const std::string& Topic() const { return topic_; }

    // Opens the conversation. True when it is open afterwards. When one is
    // already open: does nothing and returns false. When no server answers,
    // starts the server program (ServerProgram) with the topic as its
    // argument, minimised and not activated, and when that start succeeds
    // tries again, giving the started server a few seconds to register its
    // name.
    bool OpenLink();

    // The program that serves `service`: "<service>.exe" in the Windows
    // folder, else in the system folder, by its full path; never looked for
    // along the search path (a program of that name planted in the current
    // folder or a writable PATH folder must not run with this program's
    // rights). Empty when neither folder holds it, or when the service name
    // could name a file elsewhere.
    static std::string ServerProgram(const std::string& service);

    // The reply to a request for `item` (CF_TEXT, at most 10000 ms), up to
    // its first NUL, turned from the system's legacy ANSI code page (which
    // Program Manager's text is in) into UTF-8. Nothing when no conversation
    // is open, the server sends no data, or an execute is still waiting.
    std::optional<std::string> RequestData(const std::string& item);

    // Sends `lines`, each followed by CR LF, plus a terminating NUL, as one
    // asynchronous execute, and sets Waiting() until its completion arrives.
    // False, sending nothing, when no conversation is open or an execute is
    // still waiting; also false when the transaction cannot be started, and
    // when a character of `lines` has no place in the legacy ANSI code page
    // (never sent as a '?').
    bool ExecuteMacroLines(const std::vector<std::string>& lines);

    // Ends the conversation. An execute still waiting is abandoned, so that
    // Waiting() is false afterwards.
    void CloseLink();

    // True while the conversation is open: also false once the server has
    // ended it.
    bool Connected() const;
    // True while an execute has neither completed nor lost its conversation.
    bool Waiting() const { return waiting_ && Connected(); }
    // Whether the server accepted the last execute sent: false until its
    // completion arrives, and when the conversation ended before it did.
    bool LastExecuteAccepted() const { return lastExecuteAccepted_; }

    // The time a started server gets to answer, in milliseconds; tests
    // shorten it.
    DWORD StartWaitMs = 5000;

  private:
    static HDDEDATA CALLBACK
    Callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
    static TDdeClientConv* FindByConversation(HCONV conv);
    void OnCallback(UINT type, HCONV conv, HDDEDATA data, ULONG_PTR data1);

    bool OnOwnerThread() const;
    bool EnsureInstance();
    // Before a transaction: false when no conversation is open.
    bool ReadyForTransaction();
    // Removes acknowledgements that wait for this conversation's window
    // although no transaction asked for them, waiting up to `waitMs` for one.
    void DiscardStrayAcks(DWORD waitMs);
    bool TryConnect();
    // Starts ServerProgram(service) with the topic; true when it started.
    bool StartServer();

    std::string service_;
    std::string topic_;
    DdeInstance instance_;
    DWORD ownerThread_ = 0;  // the thread that made instance_
    DdeString serviceName_;
    DdeString topicName_;
    DdeConversation conv_;
    bool waiting_ = false;
    DWORD pendingTransaction_ = 0;
    bool lastExecuteAccepted_ = false;
    bool completedAsync_ = false;  // an execute has completed since the last transaction
};

}  // namespace movix
