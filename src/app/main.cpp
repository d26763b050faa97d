#include <QApplication>

#include "app/Mavrel32Main.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Mavrel/32");
    mv32::app::TMavrel32Main window;
    window.show();
    return QApplication::exec();
}
