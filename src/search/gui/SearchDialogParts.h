// What the small search dialogs share: their three buttons and showing them centred.
#pragma once

#include <QHBoxLayout>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <string>

namespace mv32::search {

// "&Suchen" (the dialog's default button: Enter starts the search), "S&chließen" and
// "&Hilfe" (opening `page` in `helpFolder`) in a row.
QHBoxLayout* searchButtons(QWidget* dialog, std::function<void()> find,
                           const std::string& helpFolder, const char* page);
// Shows the dialog centred on the screen, in front.
void showCentred(QWidget* dialog);

}  // namespace mv32::search
