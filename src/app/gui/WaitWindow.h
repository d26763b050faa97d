// The wait window of long loops: small, borderless, always on top, centred; a blue panel with
// "Bitte warten..." in bold yellow and a button "Abbrechen" whose only effect is the cancel
// request.
#pragma once

#include <QDialog>

namespace mv32::app {

class TWaitWindow : public QDialog {
    Q_OBJECT
public:
    explicit TWaitWindow(QWidget* parent = nullptr);
    bool cancelRequested() const { return cancel_; }
    void resetCancelRequest() { cancel_ = false; }

private:
    bool cancel_ = false;
};

}  // namespace mv32::app
