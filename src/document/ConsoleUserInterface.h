// The user-interface port on a terminal, for tools and runs without a window: messages go to
// an error stream, questions are answered as told once for the whole run, and everything on
// the screen (progress, status, titles) is left out.
#pragma once

#include <ostream>
#include <string>
#include <utility>

#include "document/UserInterface.h"

namespace mv32::document {

class ConsoleUserInterface : public UserInterface {
public:
    // `prefix` starts every line ("mv32db: "); `answerYes` answers every Ja/Nein question;
    // `reason` follows the answer on its line (" (--ueberschreiben)").
    ConsoleUserInterface(std::ostream& err, std::string prefix, bool answerYes,
                         std::string yesReason = {}, std::string noReason = {})
        : err_(err),
          prefix_(std::move(prefix)),
          answerYes_(answerYes),
          yesReason_(std::move(yesReason)),
          noReason_(std::move(noReason)) {}
    // Whether an error, a warning, a hint or a refused question was told.
    bool failed() const { return failed_; }

    Answer message(MessageKind kind, const std::string& text, Buttons buttons) override;
    FileDialogResult fileDialog(const FileDialogRequest&) override { return {}; }
    bool askSaveData() override { return false; }
    void showOldVersionNotice() override;
    void showProgress(bool) override {}
    void setProgressRange(int64_t, int64_t) override {}
    void setProgressPosition(int64_t) override {}
    void showAnimation(Animation, bool) override {}
    void setStatusText(int, const std::string&) override {}
    void setRecordLabel(int64_t, int64_t) override {}
    void setTitle(const std::string&) override {}
    void showWaitWindow(bool) override {}
    bool cancelRequested() override { return false; }
    void resetCancelRequest() override {}
    void processEvents() override {}
    void setControlState(ControlState) override {}
    void setSortItemVisible(const std::string&, bool) override {}
    void setUndoEnabled(bool) override {}
    void setFileSearchVisible(bool) override {}
    void setRecentFiles(const std::vector<std::string>&) override {}
    void setAutoSaveInterval(int) override {}
    void showWindow(const std::string&, bool) override {}
    void showApplicationError(const std::string& text) override;

private:
    std::ostream& err_;
    std::string prefix_;
    bool answerYes_;
    std::string yesReason_;
    std::string noReason_;
    bool failed_ = false;
};

}  // namespace mv32::document
