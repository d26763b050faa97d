// Helpers for window tests on Qt's offscreen platform: answering the modal dialogs the program
// shows, by the text of a button.
#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>

namespace mv32::test {

// Arranges that the next modal dialogs are answered in order: each entry is the caption of the
// button to press ("&Ja", "&Nein", "OK", …). The texts of the dialogs are collected.
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

}  // namespace mv32::test
