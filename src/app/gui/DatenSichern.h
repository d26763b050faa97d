// The question "Daten sichern?": borderless, yellow, centred, with "ACHTUNG!" and the buttons
// "&Ja" (save now) and "&Nein" (discard).
#pragma once

#include <QDialog>

namespace mv32::app {

class TDatenSichern : public QDialog {
    Q_OBJECT
public:
    explicit TDatenSichern(QWidget* parent = nullptr);
};

}  // namespace mv32::app
