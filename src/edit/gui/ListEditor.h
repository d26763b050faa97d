// TListEditor and TListEditor2: the small modal windows "Liste editieren" in which the person
// edits the category list (KATLIST.TXT) and the status list (STATLIST.TXT) of the entry window.
//
// The box shows the file one entry per line; "&OK" writes it (windows-1252, CR LF, through a
// temporary file) and closes, "&Abbruch" closes without writing. A file that cannot be read or
// written is reported as the program reports errors; the file stays as it was and a window
// that could not write stays open with what was typed.
#pragma once

#include <QDialog>
#include <string>

#include "document/UserInterface.h"

class QPlainTextEdit;

namespace mv32::edit {

class TListEditor : public QDialog {
    Q_OBJECT
public:
    TListEditor(std::string path, document::UserInterface& ui, QWidget* parent = nullptr);
    QPlainTextEdit* box() const { return box_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void ok();
    std::string path_;
    document::UserInterface& ui_;
    QPlainTextEdit* box_ = nullptr;
};

// The status list's editor.
class TListEditor2 : public TListEditor {
    Q_OBJECT
public:
    TListEditor2(std::string path, document::UserInterface& ui, QWidget* parent = nullptr)
        : TListEditor(std::move(path), ui, parent) {
        setObjectName("ListEditor2");
    }
};

}  // namespace mv32::edit
