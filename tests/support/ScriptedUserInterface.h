// The user-interface port for tests: records every call in order as a line of text and answers
// questions and dialogs from a script.
//
// A question or dialog with no scripted answer fails the test (it throws), so that a test states
// every question it expects. Lines look like
//   message Warnung "Sollen vorhandene Indizes gelöscht werden?" JaNein -> Ja
//   status 1 "gesichert"
// Busy updates (progress positions, record labels, processEvents) are counted, not recorded.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "document/UserInterface.h"

namespace mv32::test {

class ScriptedUserInterface : public document::UserInterface {
public:
    // --- The script.
    void answer(document::Answer a) { answers_.push_back(a); }
    void choose(std::string path, int filterIndex = 1) {
        files_.push_back({std::move(path), filterIndex});
    }
    void cancelDialog() { files_.push_back({}); }
    void answerSaveData(bool ja) { saveData_.push_back(ja); }
    bool scriptUsed() const { return answers_.empty() && files_.empty() && saveData_.empty(); }

    // --- What happened.
    const std::vector<std::string>& calls() const { return calls_; }
    // Only the lines that start with `prefix`.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;
    // Only messages, questions, notices and dialogs: what a person had to read or answer.
    std::vector<std::string> dialogue() const { return dialogue_; }
    void clear() {
        calls_.clear();
        dialogue_.clear();
    }
    std::string title;
    std::string status[5];
    document::ControlState controls = document::ControlState::NoCatalog;
    bool progressVisible = false;
    bool busyVisible = false;
    int64_t progressMax = 0;
    int64_t progressPosition = 0;
    int progressUpdates = 0;
    int64_t recNo = 0;
    int64_t recordCount = 0;
    int autoSaveInterval = 0;
    bool fileSearchVisible = false;
    bool undoEnabled = false;
    std::vector<std::string> recentFiles;
    std::vector<std::string> hiddenSortItems;
    std::vector<document::FileDialogRequest> fileDialogs;
    bool cancel = false;

    // --- The port.
    document::Answer message(document::MessageKind kind, const std::string& text,
                             document::Buttons buttons) override;
    document::FileDialogResult fileDialog(const document::FileDialogRequest& request) override;
    bool askSaveData() override;
    void showOldVersionNotice() override;
    void showProgress(bool visible) override;
    void setProgressRange(int64_t minimum, int64_t maximum) override;
    void setProgressPosition(int64_t position) override;
    void showAnimation(document::Animation which, bool visible) override;
    void setStatusText(int panel, const std::string& text) override;
    void setRecordLabel(int64_t recNo, int64_t count) override;
    void setTitle(const std::string& title) override;
    void showWaitWindow(bool visible) override;
    bool cancelRequested() override { return cancel; }
    void resetCancelRequest() override { cancel = false; }
    void processEvents() override {}
    void setControlState(document::ControlState state) override;
    void setUndoEnabled(bool enabled) override;
    void setSortItemVisible(const std::string& indexName, bool visible) override;
    void setFileSearchVisible(bool visible) override;
    void setRecentFiles(const std::vector<std::string>& paths) override;
    void setAutoSaveInterval(int milliseconds) override;
    void showWindow(const std::string& formName, bool visible) override;
    void showApplicationError(const std::string& text) override;

private:
    void record(std::string line, bool isDialogue = false);

    std::deque<document::Answer> answers_;
    std::deque<document::FileDialogResult> files_;
    std::deque<bool> saveData_;
    std::vector<std::string> calls_;
    std::vector<std::string> dialogue_;
};

const char* kindName(document::MessageKind kind);
const char* answerName(document::Answer a);

}  // namespace mv32::test
