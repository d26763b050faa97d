// The user-interface port with real windows: message boxes with the program's German buttons,
// Qt's file dialogs, and the main window's status bar, progress bar, animations, title and
// command states.
//
// User-interface thread only; scan threads use MarshalledUserInterface around it.
#pragma once

#include <QString>

#include "document/UserInterface.h"

class QWidget;

namespace mv32::app {

class TMavrel32Main;

class QtUserInterface : public document::UserInterface {
public:
    explicit QtUserInterface(TMavrel32Main& main) : main_(main) {}

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
    bool cancelRequested() override;
    void resetCancelRequest() override;
    void processEvents() override;
    void setControlState(document::ControlState state) override;
    void setSortItemVisible(const std::string& indexName, bool visible) override;
    void setUndoEnabled(bool enabled) override;
    void setFileSearchVisible(bool visible) override;
    void setRecentFiles(const std::vector<std::string>& paths) override;
    void setAutoSaveInterval(int milliseconds) override;
    void showWindow(const std::string& formName, bool visible) override;
    void showApplicationError(const std::string& text) override;

    // The Qt form of a filter as the program writes it ("Text|*.DB|Text|*.MV").
    static QStringList nameFilters(const std::string& filter);

private:
    TMavrel32Main& main_;
    int64_t progressScale_ = 1;  // progress values above the int range are divided by this
};

// A message box of the program: the caption of its kind and the German buttons.
document::Answer showMessage(QWidget* parent, document::MessageKind kind, const QString& text,
                             document::Buttons buttons);

}  // namespace mv32::app
