// The user-interface port: everything a command of the core needs from the person or the screen.
//
// The core never calls a window. Messages and questions, file dialogs, the progress bar, the
// animations, the status bar, the title, the wait window, the main window's command states and
// the showing of the program's windows all go through this interface. The Qt layer implements it
// with real windows; tests use a scripted implementation that records every call and answers from
// a script. Calls come on the user-interface thread; a scan thread reaches the interface only
// through MarshalledUserInterface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mv32::document {

// The kinds of message box. Fehler shows one button "&Abbrechen"; Hinweis is a plain notice
// with "OK"; scan questions are of kind Frage.
enum class MessageKind { Fehler, Warnung, Bestaetigen, Information, Frage, Hinweis };

// The caption of a message box of each kind.
inline const char* captionOf(MessageKind kind) {
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
            return "Mavrel/32";
    }
    return "Mavrel/32";
}

// The button sets: "OK", "&Abbrechen", "&Ja"/"&Nein", "&Ja"/"Abbrechen" before destructive
// steps, and "OK"/"Abbrechen" (the navigator's question before it deletes a record).
enum class Buttons { Ok, Abbrechen, JaNein, JaAbbrechen, OkAbbrechen };

enum class Answer { Ok, Ja, Nein, Abbrechen };

struct FileDialogRequest {
    bool save = false;        // a save dialog (else an open dialog)
    std::string title;        // empty: the platform's default title
    std::string filter;       // "Beschreibung|*.DB|Beschreibung|*.MV" as the program writes it
    std::string defaultExt;   // appended when the person types a name without one
    std::string initialName;  // preset file name, may carry a folder
    std::string folder;       // where the dialog starts; empty: where the platform starts
    bool mustExist = false;   // the file (open) or its folder (save) must exist
};

struct FileDialogResult {
    std::string path;     // empty when the person cancelled
    int filterIndex = 1;  // 1-based, the filter that was chosen
};

enum class Animation { Busy, Warning };

// The two states of the main window's commands.
enum class ControlState { NoCatalog, CatalogOpen };

class UserInterface {
public:
    virtual ~UserInterface() = default;

    // --- Messages and dialogs.
    virtual Answer message(MessageKind kind, const std::string& text, Buttons buttons) = 0;
    virtual FileDialogResult fileDialog(const FileDialogRequest& request) = 0;
    // The question "Daten sichern?"; true for "&Ja".
    virtual bool askSaveData() = 0;
    // The notice "Ältere Version!" (modal; closes with "&Akzeptiert" or Escape).
    virtual void showOldVersionNotice() = 0;

    // --- Progress and animations.
    virtual void showProgress(bool visible) = 0;
    virtual void setProgressRange(int64_t minimum, int64_t maximum) = 0;
    virtual void setProgressPosition(int64_t position) = 0;
    virtual void showAnimation(Animation which, bool visible) = 0;

    // --- Status bar and title.
    virtual void setStatusText(int panel, const std::string& text) = 0;
    // The record-number label: record recNo (0 for none) of count.
    virtual void setRecordLabel(int64_t recNo, int64_t count) = 0;
    virtual void setTitle(const std::string& title) = 0;

    // --- Wait window of long loops; its "Abbrechen" only sets the cancel request.
    virtual void showWaitWindow(bool visible) = 0;
    virtual bool cancelRequested() = 0;
    virtual void resetCancelRequest() = 0;
    // Lets pending user-interface events run (long loops call it between records).
    virtual void processEvents() = 0;

    // --- The main window and the program's other windows.
    virtual void setControlState(ControlState state) = 0;
    // "Undo..." and "Undo FAST!" enabled or not: exactly while the undo journal holds an entry.
    virtual void setUndoEnabled(bool enabled) = 0;
    // The sort item of a catalog index (an item of the overview's sort menu) shown or hidden.
    virtual void setSortItemVisible(const std::string& indexName, bool visible) = 0;
    // The file search items; the "&Suchen" menu follows them and the catalog state.
    virtual void setFileSearchVisible(bool visible) = 0;
    virtual void setRecentFiles(const std::vector<std::string>& paths) = 0;
    // The auto-save timer's period; setting it restarts the timer.
    virtual void setAutoSaveInterval(int milliseconds) = 0;
    // Shows or hides a window of the program by its form name ("TDBUebersicht", …).
    virtual void showWindow(const std::string& formName, bool visible) = 0;
    // The application's general error handler: shows the text of an error no command caught.
    virtual void showApplicationError(const std::string& text) = 0;
};

}  // namespace mv32::document
