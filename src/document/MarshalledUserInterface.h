// The user-interface port as a scan thread sees it: every call runs on the user-interface thread
// and the calling thread waits for its answer.
//
// The invoker does the crossing. The Qt layer's invoker posts the call into the main event loop
// and blocks; UiCallQueue is a plain queue that the user-interface thread pumps, for tests and for
// loops without an event loop. A call made on the user-interface thread itself runs at once.
// No exception crosses the threads: one thrown by the call is carried back and thrown again in
// the calling thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "document/UserInterface.h"

namespace mv32::document {

class UiInvoker {
public:
    virtual ~UiInvoker() = default;
    // Runs `call` on the user-interface thread and returns when it has finished.
    virtual void invoke(const std::function<void()>& call) = 0;
};

class UiCallQueue : public UiInvoker {
public:
    UiCallQueue() : uiThread_(std::this_thread::get_id()) {}
    void invoke(const std::function<void()>& call) override;
    // Runs the calls waiting now; returns how many ran. User-interface thread only.
    int pump();
    // Waits until a call is waiting or `done` returns true, then pumps; for test loops.
    void pumpUntil(const std::function<bool()>& done);
    // Wakes pumpUntil so that it checks its condition again.
    void wake();

private:
    struct Pending {
        const std::function<void()>* call;
        bool finished = false;
    };
    std::thread::id uiThread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Pending*> queue_;
};

class MarshalledUserInterface : public UserInterface {
public:
    MarshalledUserInterface(UserInterface& target, UiInvoker& invoker)
        : target_(target), invoker_(invoker) {}

    Answer message(MessageKind kind, const std::string& text, Buttons buttons) override;
    FileDialogResult fileDialog(const FileDialogRequest& request) override;
    bool askSaveData() override;
    void showOldVersionNotice() override;
    void showProgress(bool visible) override;
    void setProgressRange(int64_t minimum, int64_t maximum) override;
    void setProgressPosition(int64_t position) override;
    void showAnimation(Animation which, bool visible) override;
    void setStatusText(int panel, const std::string& text) override;
    void setRecordLabel(int64_t recNo, int64_t count) override;
    void setTitle(const std::string& title) override;
    void showWaitWindow(bool visible) override;
    bool cancelRequested() override;
    void resetCancelRequest() override;
    void processEvents() override;
    void setControlState(ControlState state) override;
    void setSortItemVisible(const std::string& indexName, bool visible) override;
    void setUndoEnabled(bool enabled) override;
    void setFileSearchVisible(bool visible) override;
    void setRecentFiles(const std::vector<std::string>& paths) override;
    void setAutoSaveInterval(int milliseconds) override;
    void showWindow(const std::string& formName, bool visible) override;
    void showApplicationError(const std::string& text) override;

private:
    // Runs f(target) on the user-interface thread and hands back its result or its exception.
    template <typename F>
    auto run(F&& f) -> decltype(f(std::declval<UserInterface&>()));

    UserInterface& target_;
    UiInvoker& invoker_;
};

}  // namespace mv32::document
