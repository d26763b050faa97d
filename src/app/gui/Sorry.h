// The notice "Ältere Version!" (TSorry): a file of a version before 2.2 that the program cannot
// convert. Borderless, bright green, centred; closes with "&Akzeptiert" or Escape.
#pragma once

#include <QDialog>

namespace mv32::app {

class TSorry : public QDialog {
    Q_OBJECT
public:
    explicit TSorry(QWidget* parent = nullptr);
};

}  // namespace mv32::app
