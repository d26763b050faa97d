// Small parts every window of the program makes the same way: a push button that is no
// default button of its window, a grid column whose title is centred, bold and blue, an
// editable pick box that keeps what is typed, and the placing and showing of windows.
#pragma once

#include <QPushButton>
#include <QString>

#include "document/gui/RecordGridModel.h"

#include <QComboBox>

namespace mv32::document {

// A box with a list that screen readers name by its label, as every other box: Qt names a list
// box on Linux by the entry it shows, so that a drive list would be called "D:". The program's
// pick and drive boxes are of this class; the accessibility layer (app/gui) gives it its name.
class LabelledComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
};

// A push button with the program's object name and, where given, its hint.
QPushButton* button(const QString& caption, const char* name, QWidget* parent,
                    const QString& hint = {});

// A grid column titled with its field name in bold blue.
GridColumn titledColumn(const char* field, int width,
                        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);

// An editable box with a pick list whose text is what the person typed: nothing is completed
// from the list (a search would silently look for another word, a record would store another
// value); picking an entry of the list stays possible.
QComboBox* pickBox(const char* name, QWidget* parent, int maxLength);
// A drive list (not editable) of the same kind.
QComboBox* driveBox(const char* name, QWidget* parent);

// Centres a window on the available geometry of its screen (the screen of the window it
// belongs to, else the primary one), made smaller where it would not fit.
void centreOnScreen(QWidget* window);
// Moves a window back inside the available geometry of its screen where it reaches past it.
void keepOnScreen(QWidget* window);

// Shows a window of the program in front, not minimised. While a modal window waits (the full
// search's result), a window opened from it is made modal over it for this showing: a window
// the modality blocks would show its record but take no input. Opened otherwise, the window
// is not modal.
void showInFront(QWidget* window);

// What every window gets once, before it is first shown: a box without a name of its own is
// named by the text of its label (so a drive list is "Laufwerk:", not the drive it shows), and
// where a label and a button of the window share an accelerator, the key presses the button.
void finishWindow(QWidget* window);

}  // namespace mv32::document
