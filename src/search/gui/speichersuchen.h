// Tspeichersuchen: the dialog "Freien Speicher suchen" (more than, exactly or less than a size
// in KByte, optionally without the media stored with 0 free). It keeps the size and the check
// box between openings; every opening selects "&mehr als...".
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "search/SpaceSearch.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace mv32::search {

class Tspeichersuchen : public QDialog {
    Q_OBJECT
public:
    // `search` runs the search; the dialog closes when it answers Shown.
    using Search = std::function<SearchOutcome(FreeSpaceCompare, const std::string&, bool)>;
    Tspeichersuchen(Search search, std::string helpFolder, QWidget* parent = nullptr);

    // Opens the dialog modeless, centred, with "&mehr als..." selected.
    void open() override;
    void find();  // "&Suchen"

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    Search search_;
    std::string helpFolder_;
    QRadioButton* more_ = nullptr;
    QRadioButton* exactly_ = nullptr;
    QLineEdit* size_ = nullptr;
    QCheckBox* noZero_ = nullptr;
};

}  // namespace mv32::search
