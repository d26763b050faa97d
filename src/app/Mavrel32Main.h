// The main window of the program. For now it only opens; menus, toolbar, status bar and the
// document commands follow with the windows of the program.
#pragma once

#include <QMainWindow>

namespace mv32::app {

class TMavrel32Main : public QMainWindow {
    Q_OBJECT
public:
    explicit TMavrel32Main(QWidget* parent = nullptr);
};

}  // namespace mv32::app
