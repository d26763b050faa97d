#include "document/gui/WindowParts.h"

namespace mv32::document {

QPushButton* button(const QString& caption, const char* name, QWidget* parent,
                    const QString& hint) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    if (!hint.isEmpty()) b->setToolTip(hint);
    return b;
}

GridColumn titledColumn(const char* field, int width, Qt::Alignment alignment) {
    QFont bold;
    bold.setBold(true);
    GridColumn c;
    c.field = field;
    c.title = QString::fromUtf8(field);
    c.width = width;
    c.alignment = alignment;
    c.titleFont = bold;
    c.titleColor = QColor(Qt::blue);
    return c;
}

}  // namespace mv32::document
