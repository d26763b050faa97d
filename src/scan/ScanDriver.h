// The scan driver: a request to scan a medium becomes a committed and indexed set of file list
// records. Dialog scans (NewBaum in the foreground, NewBaum3 in the background) run on a scan
// thread and reach the screen only through the invoker; the command-line scans (prompt for
// "SCANALL", PromptThisDrive for "DRIVE"/"DIR") run on the user-interface thread and report only
// to the log.
//
// The catalog belongs to the user-interface thread: descriptions found by a scan are handed to
// it (hinzu2 through the invoker), as are log lines, questions and every change of the scan
// dialog. The file list belongs to the scan while it runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "document/MarshalledUserInterface.h"
#include "document/Settings.h"
#include "platform/Volumes.h"

namespace mv32::document {
class CatalogDocument;
class AutoSave;
}  // namespace mv32::document

namespace mv32::scan {

class FileList;
class FileListWriteError;

// Flags shared by the scan thread and the user-interface thread.
struct ScanFlags {
    std::atomic<bool> cancel{false};      // set by "&Abbrechen"
    std::atomic<bool> running{false};     // a foreground walk runs
    std::atomic<bool> foreground{false};  // a ScanThread runs
    std::atomic<bool> background{false};  // a ScanThread2 runs
};

enum class ScanDialogState { Idle, Scanning, Asking, Closed };

// What the scan dialog TProgrammdateneinlesen shows. Called on the user-interface thread.
class ScanDialogView {
public:
    virtual ~ScanDialogView() = default;
    virtual void setStatus(const std::string& text) = 0;  // Label2
    virtual void setFileCount(int64_t count) = 0;         // Label4
    virtual void setNewFiles(int64_t count) = 0;          // Label6
    virtual void setState(ScanDialogState state) = 0;
    // Hides (or shows again) the main window, the scan dialog and the entry form while the
    // indexes are built.
    virtual void hideWindows(bool hide) = 0;
};

class ScanDriver {
public:
    struct Services {
        document::CatalogDocument& doc;
        document::AutoSave& autoSave;
        document::UiInvoker& invoker;
        ScanFlags& flags;
        std::string workFolder;  // the private folder for the archivers
        platform::LetterMemory letters;
        // Shows the settings dialog so that the person can correct the data folder when the
        // file list cannot be opened or created there (user-interface thread).
        std::function<void()> showSettings = {};
    };

    explicit ScanDriver(Services s);

    // The drives of the scan dialog's drive box.
    std::vector<platform::Volume> drives() const;
    // DriveComboBox1Change: false (after the error box) when no medium is in the drive.
    bool checkDrive(char letter);

    ~ScanDriver();
    ScanDriver(const ScanDriver&) = delete;
    ScanDriver& operator=(const ScanDriver&) = delete;

    // The dialog scans run on a scan thread of their own, one at a time: NewBaum, or NewBaum3
    // when `background` is set. False when a scan runs already. A scan reports its own
    // failures: nothing crosses the thread.
    bool startDialogScan(char letter, ScanDialogView& view, bool background);
    // Whether a dialog scan runs (the program refuses to end meanwhile).
    bool scanning() const { return threadRunning_; }
    // Waits for the scan thread; `pump` runs meanwhile, so that the user-interface thread
    // answers the scan's questions.
    void finishDialogScan(const std::function<void()>& pump);

    // Foreground dialog scan of a drive (scan thread).
    void NewBaum(char letter, ScanDialogView& view);
    // Background dialog scan of a drive (scan thread).
    void NewBaum3(char letter, ScanDialogView& view);
    // "SCANALL": every drive (user-interface thread, log only). False when the file list
    // could not be written: the command ended at that drive.
    bool prompt();
    // "DRIVE"/"DIR": one drive or folder, a native path or the letter form "D:\" (user-interface
    // thread, log only). Descriptions go to the Explorer catalog, which the caller opened.
    // False when the scan failed (a folder that is not there or no folder, a medium that cannot
    // be read, no file list, a file list that could not be written to the end): the log says
    // why, and how many files a scan that the file list ended stored.
    bool PromptThisDrive(const std::string& path, bool isDirectory);

    // The drive of a command-line path: the letter form or the filesystem holding a native path.
    std::optional<platform::Volume> driveOf(const std::string& path) const;

private:
    // The log line of a folder the walk could not read.
    static std::string unreadableText(const std::string& dir);
    // The log line (and status text) of a scan of `what` ("Laufwerk D:", "Verzeichnis /x/")
    // that the file list ended after `stored` new files.
    static std::string incompleteText(const std::string& what, int64_t stored);
    // Puts the dialog, the flags and the file-search items back after a scan that threw.
    void failed(ScanDialogView& view, const std::string& message);
    struct Identity {
        std::string label;
        std::string serial;
    };
    // What a foreground dialog scan learns before its walk; the settings are a copy taken on
    // the user-interface thread.
    struct DialogScan {
        platform::Volume volume;
        document::Settings settings;
        bool catalogOpen = false;
        std::string programDir;
        Identity id;
        bool known = false;
    };
    // The steps of NewBaum; each returns false where the scan ends early.
    bool findMedium(char letter, ScanDialogView& view, DialogScan& scan);
    bool confirmKnownMedium(ScanDialogView& view, DialogScan& scan);
    bool openFileList(FileList& list, ScanDialogView& view, const document::Settings& settings);
    void walkMedium(FileList& list, ScanDialogView& view, const DialogScan& scan);
    // `incomplete`: the status text of a walk that the file list ended (set here when the
    // final commit fails), empty otherwise.
    bool finishWalk(FileList& list, ScanDialogView& view, const DialogScan& scan,
                    std::string& incomplete);
    // Logs why the file list could not be written and how many files were stored, shows the
    // latter in the status line and returns it.
    std::string listFailed(ScanDialogView& view, char letter, const FileListWriteError& e,
                           const char* routine);
    void buildIndexes(FileList& list, ScanDialogView& view, const document::Settings& settings);
    Identity identityOf(const platform::Volume& v) const;
    // The data folder after the settings dialog, for the last attempt to open the file list.
    std::function<std::string()> folderCorrection();
    void log(const std::string& line);
    template <typename F>
    void onUi(F&& f);

    Services s_;
    document::MarshalledUserInterface ui_;
    std::thread thread_;
    std::atomic<bool> threadRunning_{false};
};

}  // namespace mv32::scan
