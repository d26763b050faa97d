// The user-interface port of a run nobody watches: a command-line scan that closes by itself
// (a file manager's action, a timed job, a script).
//
// Such a run must never wait for a person. Everything that would wait (a message box, a
// question, a file dialog, the question "Daten sichern?", the old-version notice, the general
// error handler) is written to the log instead and answered as a person would cancel it (no
// file, "&Nein", "&Abbrechen"), except "Daten sichern?", which is answered "&Ja" so that no
// record is lost; the run then counts as failed, so that the program ends with a non-zero
// status. Everything that does not wait (progress, status, windows) goes to the
// port it wraps.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "document/UserInterface.h"

namespace mv32::document {

class UnattendedUserInterface : public UserInterface {
public:
    explicit UnattendedUserInterface(UserInterface& target) : target_(target) {}

    // Where the texts go (the log); set once the log exists.
    std::function<void(const std::string& line)> report;
    // Whether something would have waited for a person.
    bool waitedForNobody() const { return waited_; }

    Answer message(MessageKind kind, const std::string& text, Buttons buttons) override;
    FileDialogResult fileDialog(const FileDialogRequest& request) override;
    bool askSaveData() override;
    void showOldVersionNotice() override;
    void showApplicationError(const std::string& text) override;

    void showProgress(bool visible) override { target_.showProgress(visible); }
    void setProgressRange(int64_t minimum, int64_t maximum) override {
        target_.setProgressRange(minimum, maximum);
    }
    void setProgressPosition(int64_t position) override { target_.setProgressPosition(position); }
    void showAnimation(Animation which, bool visible) override {
        target_.showAnimation(which, visible);
    }
    void setStatusText(int panel, const std::string& text) override {
        target_.setStatusText(panel, text);
    }
    void setRecordLabel(int64_t recNo, int64_t count) override {
        target_.setRecordLabel(recNo, count);
    }
    void setTitle(const std::string& title) override { target_.setTitle(title); }
    void showWaitWindow(bool visible) override { target_.showWaitWindow(visible); }
    bool cancelRequested() override { return target_.cancelRequested(); }
    void resetCancelRequest() override { target_.resetCancelRequest(); }
    void processEvents() override { target_.processEvents(); }
    void setControlState(ControlState state) override { target_.setControlState(state); }
    void setUndoEnabled(bool enabled) override { target_.setUndoEnabled(enabled); }
    void setSortItemVisible(const std::string& indexName, bool visible) override {
        target_.setSortItemVisible(indexName, visible);
    }
    void setFileSearchVisible(bool visible) override { target_.setFileSearchVisible(visible); }
    void setRecentFiles(const std::vector<std::string>& paths) override {
        target_.setRecentFiles(paths);
    }
    void setAutoSaveInterval(int milliseconds) override {
        target_.setAutoSaveInterval(milliseconds);
    }
    void showWindow(const std::string& formName, bool visible) override {
        target_.showWindow(formName, visible);
    }

private:
    void tell(const std::string& text);

    UserInterface& target_;
    bool waited_ = false;
};

}  // namespace mv32::document
