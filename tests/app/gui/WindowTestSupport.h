// Helpers for window tests on Qt's offscreen platform: answering the modal dialogs the program
// shows, by the text of a button.
#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/gui/Mavrel32Main.h"

namespace mv32::test {

// Arranges that the next modal dialogs are answered in order: each entry is the caption of the
// button to press ("&Ja", "&Nein", "OK", …), or for a file dialog "Datei:" and the path to
// choose. The texts of the dialogs are collected.
class DialogAnswerer {
public:
    explicit DialogAnswerer(QStringList buttons);
    // "Title: text" of each dialog answered, in order.
    const QStringList& seen() const { return seen_; }
    bool done() const { return buttons_.isEmpty(); }

private:
    void poll();
    QStringList buttons_;
    QStringList seen_;
    QTimer timer_;  // stops with the object
};

// The real main window on `programDir` (with its separator), the settings in memory, no
// desktop entries written.
std::unique_ptr<app::TMavrel32Main> mainWindowIn(const std::string& programDir);

// The controls (buttons, boxes, lists, grids, page tabs, progress bars) of `windows` that have
// no accessible name, as "window/control"; Qt's own parts and unnamed helpers are left out.
QStringList unnamedControls(const std::vector<QWidget*>& windows);

}  // namespace mv32::test
