// The info window "Info": program name, version and a disclaimer; closes with "OK" or Escape.
#pragma once

#include <QDialog>

namespace mv32::app {

class TInfo : public QDialog {
    Q_OBJECT
public:
    explicit TInfo(QWidget* parent = nullptr);
};

}  // namespace mv32::app
