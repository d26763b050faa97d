// The real main window for the window benchmarks: its program folder is the benchmark's data
// folder, the settings live in memory and no desktop entries are written.
#pragma once

#include <QCoreApplication>
#include <memory>
#include <string>

#include "app/gui/Mavrel32Main.h"

namespace bench {

inline mv32::app::TMavrel32Main::Options windowOptions(const std::string& dir) {
    mv32::app::TMavrel32Main::Options o;
    o.programFile = QCoreApplication::applicationFilePath().toStdString();
    o.programDir = dir + "/";
    o.store = std::make_unique<mv32::document::MemorySettingsStore>();
    o.writeShellEntries = false;
    return o;
}

}  // namespace bench
