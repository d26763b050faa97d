#include "app/Mavrel32Main.h"

#include <QLabel>
#include <QStatusBar>

namespace mv32::app {

TMavrel32Main::TMavrel32Main(QWidget* parent) : QMainWindow(parent) {
    setObjectName("Mavrel32Main");
    setWindowTitle("Mavrel/32 V3.20");
    auto* label = new QLabel("Mavrel/32 katalogisiert Datenträger.", this);
    label->setAlignment(Qt::AlignCenter);
    setCentralWidget(label);
    statusBar()->showMessage("Bereit");
    resize(800, 500);
}

}  // namespace mv32::app
