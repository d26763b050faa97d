#include "document/MarshalledUserInterface.h"

#include <exception>
#include <optional>
#include <type_traits>

namespace mv32::document {

void UiCallQueue::invoke(const std::function<void()>& call) {
    if (std::this_thread::get_id() == uiThread_) {
        call();
        return;
    }
    Pending p{&call};
    std::unique_lock lock(mutex_);
    queue_.push_back(&p);
    changed_.notify_all();
    changed_.wait(lock, [&] { return p.finished; });
}

int UiCallQueue::pump() {
    int ran = 0;
    for (;;) {
        Pending* p = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return ran;
            p = queue_.front();
            queue_.pop_front();
        }
        (*p->call)();  // the call carries its own exceptions back (MarshalledUserInterface::run)
        ++ran;
        std::lock_guard lock(mutex_);
        p->finished = true;
        changed_.notify_all();
    }
}

void UiCallQueue::pumpUntil(const std::function<bool()>& done) {
    for (;;) {
        pump();
        if (done()) return;
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(20), [&] { return !queue_.empty(); });
    }
}

void UiCallQueue::wake() {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
}

template <typename F>
auto MarshalledUserInterface::run(F&& f) -> decltype(f(std::declval<UserInterface&>())) {
    using R = decltype(f(target_));
    std::exception_ptr error;
    if constexpr (std::is_void_v<R>) {
        invoker_.invoke([&] {
            try {
                f(target_);
            } catch (...) {
                error = std::current_exception();
            }
        });
        if (error) std::rethrow_exception(error);
    } else {
        std::optional<R> result;
        invoker_.invoke([&] {
            try {
                result.emplace(f(target_));
            } catch (...) {
                error = std::current_exception();
            }
        });
        if (error) std::rethrow_exception(error);
        return std::move(*result);
    }
}

Answer MarshalledUserInterface::message(MessageKind kind, const std::string& text,
                                        Buttons buttons) {
    return run([&](UserInterface& ui) { return ui.message(kind, text, buttons); });
}
FileDialogResult MarshalledUserInterface::fileDialog(const FileDialogRequest& request) {
    return run([&](UserInterface& ui) { return ui.fileDialog(request); });
}
bool MarshalledUserInterface::askSaveData() {
    return run([](UserInterface& ui) { return ui.askSaveData(); });
}
void MarshalledUserInterface::showOldVersionNotice() {
    run([](UserInterface& ui) { ui.showOldVersionNotice(); });
}
void MarshalledUserInterface::showProgress(bool visible) {
    run([&](UserInterface& ui) { ui.showProgress(visible); });
}
void MarshalledUserInterface::setProgressRange(int64_t minimum, int64_t maximum) {
    run([&](UserInterface& ui) { ui.setProgressRange(minimum, maximum); });
}
void MarshalledUserInterface::setProgressPosition(int64_t position) {
    run([&](UserInterface& ui) { ui.setProgressPosition(position); });
}
void MarshalledUserInterface::showAnimation(Animation which, bool visible) {
    run([&](UserInterface& ui) { ui.showAnimation(which, visible); });
}
void MarshalledUserInterface::setStatusText(int panel, const std::string& text) {
    run([&](UserInterface& ui) { ui.setStatusText(panel, text); });
}
void MarshalledUserInterface::setRecordLabel(int64_t recNo, int64_t count) {
    run([&](UserInterface& ui) { ui.setRecordLabel(recNo, count); });
}
void MarshalledUserInterface::setTitle(const std::string& title) {
    run([&](UserInterface& ui) { ui.setTitle(title); });
}
void MarshalledUserInterface::showWaitWindow(bool visible) {
    run([&](UserInterface& ui) { ui.showWaitWindow(visible); });
}
bool MarshalledUserInterface::cancelRequested() {
    return run([](UserInterface& ui) { return ui.cancelRequested(); });
}
void MarshalledUserInterface::resetCancelRequest() {
    run([](UserInterface& ui) { ui.resetCancelRequest(); });
}
void MarshalledUserInterface::processEvents() {
    run([](UserInterface& ui) { ui.processEvents(); });
}
void MarshalledUserInterface::setControlState(ControlState state) {
    run([&](UserInterface& ui) { ui.setControlState(state); });
}
void MarshalledUserInterface::setSortItemVisible(const std::string& indexName, bool visible) {
    run([&](UserInterface& ui) { ui.setSortItemVisible(indexName, visible); });
}
void MarshalledUserInterface::setUndoEnabled(bool enabled) {
    run([&](UserInterface& ui) { ui.setUndoEnabled(enabled); });
}

void MarshalledUserInterface::setFileSearchVisible(bool visible) {
    run([&](UserInterface& ui) { ui.setFileSearchVisible(visible); });
}
void MarshalledUserInterface::setRecentFiles(const std::vector<std::string>& paths) {
    run([&](UserInterface& ui) { ui.setRecentFiles(paths); });
}
void MarshalledUserInterface::setAutoSaveInterval(int milliseconds) {
    run([&](UserInterface& ui) { ui.setAutoSaveInterval(milliseconds); });
}
void MarshalledUserInterface::showWindow(const std::string& formName, bool visible) {
    run([&](UserInterface& ui) { ui.showWindow(formName, visible); });
}
void MarshalledUserInterface::showApplicationError(const std::string& text) {
    run([&](UserInterface& ui) { ui.showApplicationError(text); });
}

}  // namespace mv32::document
