#include "document/gui/BoundEdit.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSignalBlocker>
#include <memory>

namespace mv32::document {

int bindEdit(BoundFields& fields, QLineEdit* box, const std::string& field) {
    QPointer<QLineEdit> guard(box);
    const int n = fields.bind(field, [guard, &fields](const std::string& text) {
        if (!guard) return;
        const QSignalBlocker quiet(guard.data());
        guard->setText(QString::fromStdString(text));
        guard->setReadOnly(!fields.editable());
    });
    // Every change but the field's own display (blocked above): typed, pasted, or put in through
    // the accessibility interface.
    QObject::connect(box, &QLineEdit::textChanged, box,
                     [&fields, n](const QString& text) { fields.typed(n, text.toStdString()); });
    return n;
}

int bindEdit(BoundFields& fields, QPlainTextEdit* box, const std::string& field) {
    QPointer<QPlainTextEdit> guard(box);
    auto showing = std::make_shared<bool>(false);
    const int n = fields.bind(field, [guard, showing, &fields](const std::string& text) {
        if (!guard) return;
        *showing = true;
        guard->setPlainText(QString::fromStdString(text));
        guard->setReadOnly(!fields.editable());
        *showing = false;
    });
    QObject::connect(box, &QPlainTextEdit::textChanged, box, [box, showing, &fields, n] {
        if (!*showing) fields.typed(n, box->toPlainText().toStdString());
    });
    return n;
}

}  // namespace mv32::document
