#include "document/ConsoleUserInterface.h"

namespace mv32::document {

Answer ConsoleUserInterface::message(MessageKind kind, const std::string& text, Buttons buttons) {
    if (buttons == Buttons::JaNein || buttons == Buttons::JaAbbrechen) {
        err_ << prefix_ << text << (answerYes_ ? " Ja" + yesReason_ : " Nein" + noReason_)
             << "\n";
        if (!answerYes_) failed_ = true;
        return answerYes_ ? Answer::Ja : Answer::Nein;
    }
    err_ << prefix_ << text << "\n";
    if (kind == MessageKind::Fehler || kind == MessageKind::Warnung || kind == MessageKind::Hinweis)
        failed_ = true;
    return buttons == Buttons::Abbrechen ? Answer::Abbrechen : Answer::Ok;
}

void ConsoleUserInterface::showOldVersionNotice() {
    err_ << prefix_
         << "Diese Datei ist von einer älteren Version (<2.2) des Mavrels! Leider ist es im "
            "Moment aus technischen Gründen nicht möglich, sie direkt im Programm zu "
            "konvertieren.\n";
    failed_ = true;
}

void ConsoleUserInterface::showApplicationError(const std::string& text) {
    err_ << prefix_ << text << "\n";
    failed_ = true;
}

}  // namespace mv32::document
