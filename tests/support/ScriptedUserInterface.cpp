#include "support/ScriptedUserInterface.h"

#include <algorithm>
#include <stdexcept>

namespace mv32::test {

using namespace document;

const char* kindName(MessageKind kind) {
    switch (kind) {
        case MessageKind::Fehler:
            return "Fehler";
        case MessageKind::Warnung:
            return "Warnung";
        case MessageKind::Bestaetigen:
            return "Bestätigen";
        case MessageKind::Information:
            return "Information";
        case MessageKind::Frage:
            return "Frage";
        case MessageKind::Hinweis:
            return "Hinweis";
    }
    return "?";
}

const char* answerName(Answer a) {
    switch (a) {
        case Answer::Ok:
            return "OK";
        case Answer::Ja:
            return "Ja";
        case Answer::Nein:
            return "Nein";
        case Answer::Abbrechen:
            return "Abbrechen";
    }
    return "?";
}

namespace {
const char* buttonsName(Buttons b) {
    switch (b) {
        case Buttons::Ok:
            return "OK";
        case Buttons::Abbrechen:
            return "Abbrechen";
        case Buttons::JaNein:
            return "JaNein";
        case Buttons::JaAbbrechen:
            return "JaAbbrechen";
        case Buttons::OkAbbrechen:
            return "OkAbbrechen";
    }
    return "?";
}
}  // namespace

void ScriptedUserInterface::record(std::string line, bool isDialogue) {
    if (isDialogue) dialogue_.push_back(line);
    calls_.push_back(std::move(line));
}

std::vector<std::string> ScriptedUserInterface::callsStartingWith(const std::string& p) const {
    std::vector<std::string> out;
    for (const auto& c : calls_) {
        if (c.rfind(p, 0) == 0) out.push_back(c);
    }
    return out;
}

Answer ScriptedUserInterface::message(MessageKind kind, const std::string& text, Buttons buttons) {
    std::string line =
        std::string("message ") + kindName(kind) + " \"" + text + "\" " + buttonsName(buttons);
    Answer a = Answer::Ok;
    if (buttons == Buttons::JaNein || buttons == Buttons::JaAbbrechen ||
        buttons == Buttons::OkAbbrechen) {
        if (answers_.empty()) throw std::logic_error("unerwartete Frage: " + line);
        a = answers_.front();
        answers_.pop_front();
        line += std::string(" -> ") + answerName(a);
    } else if (buttons == Buttons::Abbrechen) {
        a = Answer::Abbrechen;
    }
    record(line, true);
    return a;
}

FileDialogResult ScriptedUserInterface::fileDialog(const FileDialogRequest& request) {
    fileDialogs.push_back(request);
    std::string line = std::string(request.save ? "save" : "open") + " \"" + request.title + "\"";
    if (files_.empty()) throw std::logic_error("unerwarteter Dateidialog: " + line);
    FileDialogResult r = files_.front();
    files_.pop_front();
    record(line + " -> " + (r.path.empty() ? "(abgebrochen)" : r.path), true);
    return r;
}

bool ScriptedUserInterface::askSaveData() {
    if (saveData_.empty()) throw std::logic_error("unerwartete Frage: Daten sichern?");
    bool ja = saveData_.front();
    saveData_.pop_front();
    record(std::string("Daten sichern? -> ") + (ja ? "Ja" : "Nein"), true);
    return ja;
}

void ScriptedUserInterface::showOldVersionNotice() {
    record("Ältere Version!", true);
}

void ScriptedUserInterface::showProgress(bool visible) {
    progressVisible = visible;
    record(visible ? "progress show" : "progress hide");
}

void ScriptedUserInterface::setProgressRange(int64_t minimum, int64_t maximum) {
    progressMax = maximum;
    record("progress range " + std::to_string(minimum) + " " + std::to_string(maximum));
}

void ScriptedUserInterface::setProgressPosition(int64_t position) {
    progressPosition = position;
    ++progressUpdates;
}

void ScriptedUserInterface::showAnimation(Animation which, bool visible) {
    if (which == Animation::Busy) busyVisible = visible;
    record(std::string(which == Animation::Busy ? "busy " : "warning ") +
           (visible ? "show" : "hide"));
}

void ScriptedUserInterface::setStatusText(int panel, const std::string& text) {
    if (panel >= 0 && panel < 5) status[panel] = text;
    record("status " + std::to_string(panel) + " \"" + text + "\"");
}

void ScriptedUserInterface::setRecordLabel(int64_t n, int64_t count) {
    recNo = n;
    recordCount = count;
}

void ScriptedUserInterface::setTitle(const std::string& t) {
    title = t;
    record("title \"" + t + "\"");
}

void ScriptedUserInterface::showWaitWindow(bool visible) {
    record(visible ? "wait show" : "wait hide");
}

void ScriptedUserInterface::setControlState(ControlState state) {
    controls = state;
    record(state == ControlState::CatalogOpen ? "AktiviereControls" : "DeaktiviereControls");
}

void ScriptedUserInterface::setSortItemVisible(const std::string& indexName, bool visible) {
    hiddenSortItems.erase(std::remove(hiddenSortItems.begin(), hiddenSortItems.end(), indexName),
                          hiddenSortItems.end());
    if (!visible) hiddenSortItems.push_back(indexName);
}

void ScriptedUserInterface::setUndoEnabled(bool enabled) {
    undoEnabled = enabled;
    record(std::string("undo ") + (enabled ? "on" : "off"));
}

void ScriptedUserInterface::setFileSearchVisible(bool visible) {
    fileSearchVisible = visible;
    record(std::string("file search ") + (visible ? "show" : "hide"));
}

void ScriptedUserInterface::setRecentFiles(const std::vector<std::string>& paths) {
    recentFiles = paths;
}

void ScriptedUserInterface::setAutoSaveInterval(int milliseconds) {
    autoSaveInterval = milliseconds;
    record("timer " + std::to_string(milliseconds));
}

void ScriptedUserInterface::showWindow(const std::string& formName, bool visible) {
    record("window " + formName + (visible ? " show" : " hide"));
}

void ScriptedUserInterface::showApplicationError(const std::string& text) {
    record("error \"" + text + "\"", true);
}

}  // namespace mv32::test
