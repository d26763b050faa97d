// TBereichSuchen: the dialog "Bereiche der Datenträgernummer durchsuchen" (medium numbers from
// one bound to another, optionally of one medium type). Every opening sets both bounds to 0
// and empties the medium type.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "search/SpaceSearch.h"

class QComboBox;
class QLineEdit;

namespace mv32::search {

class TBereichSuchen : public QDialog {
    Q_OBJECT
public:
    using Search = std::function<SearchOutcome(const std::string& from, const std::string& to,
                                               const std::string& medium)>;
    TBereichSuchen(Search search, std::string helpFolder, QWidget* parent = nullptr);

    // Opens the dialog modeless, centred, with both bounds 0 and no medium type.
    void open() override;
    void find();  // "&Suchen"

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    Search search_;
    std::string helpFolder_;
    QLineEdit* from_ = nullptr;
    QLineEdit* to_ = nullptr;
    QComboBox* medium_ = nullptr;
};

}  // namespace mv32::search
