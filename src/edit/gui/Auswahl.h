// TAuswahl: the window "Datenträger Auswahl", which removes a scanned medium from the list of
// scanned media and its files from the file list, chosen from the list or read from a drive.
// A thin view over edit/MediumRemoval; made once, its list read afresh at each opening.
#pragma once

#include <QDialog>
#include <string>

#include "edit/MediumRemoval.h"

class QComboBox;
class QListWidget;
class QPushButton;

namespace mv32::edit {

class TAuswahl : public QDialog {
    Q_OBJECT
public:
    TAuswahl(MediumRemoval& removal, std::string helpFolder, QWidget* parent = nullptr);
    ~TAuswahl() override;

    // Entfernen1Click: reads the list and shows the window, or says that there is none.
    void open() override;
    QListWidget* list() const { return list_; }

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void fill();

    MediumRemoval& removal_;
    std::string helpFolder_;
    QListWidget* list_ = nullptr;
    QComboBox* drives_ = nullptr;
    QPushButton* delete1_ = nullptr;
    QPushButton* delete2_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace mv32::edit
