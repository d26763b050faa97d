// The options dialogs of the text and HTML exports: "Daten in ASCII-Datei exportieren" (for the
// catalog, TDateiASCIIExp, and for a search result, TDateiASCIIExpSQL) and "Daten in
// HTML-Datei exportieren" (THTMLExp). Each is made for one command, so it always starts from
// the defaults; "&Ok" answers the choice, "&Abbrechen" and Escape none.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>

#include "exchange/ExportChoice.h"

class QCheckBox;

namespace mv32::exchange {

enum class ExportKind { Text, TextResult, Html };

class TExportDialog : public QDialog {
    Q_OBJECT
public:
    // `openHelp` opens a help page by its name.
    TExportDialog(ExportKind kind, std::function<void(const char* page)> openHelp,
                  QWidget* parent = nullptr);

    // Shows the dialog modally.
    std::optional<ExportChoice> ask();
    ExportChoice choice() const;

private:
    QCheckBox* box(const char* caption, const char* name, bool checked);

    ExportKind kind_;
    QCheckBox* medium_ = nullptr;
    QCheckBox* number_ = nullptr;
    QCheckBox* count_ = nullptr;
    QCheckBox* info_ = nullptr;
    QCheckBox* status_ = nullptr;
    QCheckBox* category_ = nullptr;
    QCheckBox* date_ = nullptr;
    QCheckBox* memo_ = nullptr;
    QCheckBox* split_ = nullptr;
};

}  // namespace mv32::exchange
