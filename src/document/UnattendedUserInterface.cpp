#include "document/UnattendedUserInterface.h"

#include <exception>

namespace mv32::document {

void UnattendedUserInterface::tell(const std::string& text) {
    waited_ = true;
    // One log line per box: its line breaks become blanks.
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ') line += ' ';
            continue;
        }
        line += c;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    try {
        if (report) report(line);
    } catch (const std::exception&) {
        // A log that cannot be written: the failed run still ends with its status.
    }
}

Answer UnattendedUserInterface::message(MessageKind, const std::string& text, Buttons buttons) {
    tell(text);
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::JaNein:
            return Answer::Nein;
        case Buttons::Abbrechen:
        case Buttons::JaAbbrechen:
        case Buttons::OkAbbrechen:
            return Answer::Abbrechen;
    }
    return Answer::Abbrechen;
}

FileDialogResult UnattendedUserInterface::fileDialog(const FileDialogRequest& request) {
    tell(request.title.empty() ? std::string("Dateiauswahl") : request.title);
    return {};
}

bool UnattendedUserInterface::askSaveData() {
    tell("Daten sichern?");
    return true;
}

void UnattendedUserInterface::showOldVersionNotice() {
    tell("Ältere Version!");
}

void UnattendedUserInterface::showApplicationError(const std::string& text) {
    tell(text);
}

}  // namespace mv32::document
