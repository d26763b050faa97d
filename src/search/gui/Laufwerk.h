// TLaufwerk: the drive choice of the file search's "&Execute" when a file's medium is not
// mounted: a drive box and "OK". choose() shows it modally and answers the drive confirmed
// with "OK", none when the dialog was closed otherwise.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "platform/Volumes.h"

class QComboBox;

namespace mv32::search {

class TLaufwerk : public QDialog {
    Q_OBJECT
public:
    TLaufwerk(std::vector<platform::Volume> drives, QWidget* parent = nullptr);

    std::optional<platform::Volume> choose();
    QComboBox* driveBox() const { return box_; }

private:
    std::vector<platform::Volume> drives_;
    QComboBox* box_ = nullptr;
};

}  // namespace mv32::search
