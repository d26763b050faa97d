// Small parts every window of the program makes the same way: a push button that is no
// default button of its window, and a grid column whose title is centred, bold and blue.
#pragma once

#include <QPushButton>
#include <QString>

#include "document/gui/RecordGridModel.h"

namespace mv32::document {

// A push button with the program's object name and, where given, its hint.
QPushButton* button(const QString& caption, const char* name, QWidget* parent,
                    const QString& hint = {});

// A grid column titled with its field name in bold blue.
GridColumn titledColumn(const char* field, int width,
                        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);

}  // namespace mv32::document
