// TSuchenDialog: the full search's dialog "Suchen" with its ten criteria. Opening it from the
// menu empties them; "&Suchen" closes it and hands the criteria on; "S&chließen" and Esc only
// close it, keeping what was typed until the next opening. The category and status lists are
// read from their files each time it shows.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "search/FullSearch.h"

class QComboBox;
class QLineEdit;

namespace mv32::search {

class TSuchenDialog : public QDialog {
    Q_OBJECT
public:
    // `search` runs the search with the criteria; `programDir` holds the list files.
    TSuchenDialog(std::function<void(const FullSearchCriteria&)> search, std::string programDir,
                  std::string helpFolder, QWidget* parent = nullptr);

    // SuchenMenuClick: the criteria emptied, the dialog shown and centred.
    void open() override;
    FullSearchCriteria criteria() const;
    // Shows why a list file could not be read.
    std::function<void(const std::string&)> showError;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    QLineEdit* edit(const char* name, int maxLength);
    void loadList(QComboBox* box, const char* file);

    std::function<void(const FullSearchCriteria&)> search_;
    std::string programDir_;
    std::string helpFolder_;
    QLineEdit* name_ = nullptr;
    QLineEdit* number_ = nullptr;
    QComboBox* medium_ = nullptr;
    QLineEdit* label_ = nullptr;
    QLineEdit* serial_ = nullptr;
    QLineEdit* drive_ = nullptr;
    QLineEdit* total_ = nullptr;
    QLineEdit* free_ = nullptr;
    QComboBox* category_ = nullptr;
    QComboBox* status_ = nullptr;
};

}  // namespace mv32::search
