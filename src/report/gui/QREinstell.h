// TQREinstell: the dialog "QuickReport Druckeinstellungen" before the printed list: the left
// margin in millimetres, the number of columns and the paper size. Made for one command, so it
// always starts from "15", "2" and "Standard".
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "report/ReportLayout.h"

class QLineEdit;
class QRadioButton;

namespace mv32::report {

class TQREinstell : public QDialog {
    Q_OBJECT
public:
    explicit TQREinstell(QWidget* parent = nullptr);

    QString margin() const;
    QString columns() const;
    Paper paper() const;

private:
    QLineEdit* margin_ = nullptr;
    QLineEdit* columns_ = nullptr;
    std::vector<std::pair<QRadioButton*, Paper>> papers_;
};

}  // namespace mv32::report
