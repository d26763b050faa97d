# Catalogs made, opened, copied and closed through the file dialogs as a person does: where
# each dialog starts, and that the file list and the undo journal are never taken for a
# catalog (point 14), while drivescan.db opens as before.
import os

import steps
from desktop import name
from tables import TableError
from session import wait_until

OVERWRITE = "Die Datei existiert bereits! Soll sie überschrieben werden?"


def prepare(run):
    s = run.session
    s.add_medium("D", "CD1", "1234ABCD", {"README.TXT": "Lies mich\r\n", "BIN/TOOL.EXE": "x"})
    # The file list and drivescan.db, as an earlier scan from the file manager left them.
    s.command_line_scan("drive", "D:")
    run.file_list = os.path.join(s.home, "mv32list.db")
    run.journal = os.path.join(s.home, "Undo.db")
    run.files_before = len(run.tables.files(s.home))


def file_count(run):
    try:
        return len(run.tables.files(run.session.home))
    except TableError as e:
        return "keine Dateiliste mehr (%s)" % str(e).strip().splitlines()[-1]


def folder_check(run, dialog, wanted, what):
    shown = steps.file_dialog_folder(dialog)
    run.checks.that(14, "'%s' beginnt im zuletzt benutzten Ordner" % what,
                    shown is not None and os.path.realpath(shown) == os.path.realpath(wanted),
                    "zeigt %r statt %r" % (shown, wanted))


def refused(run, key, title, path, what):
    """Chooses path in a dialog and expects a German refusal that names the file."""
    d = run.desktop
    run.main().key(key)
    steps.file_dialog(run, title, path)

    def outcome():
        if d.window_named(steps.catalog_title(path)):
            return ("als Katalog geöffnet", [])
        box = d.no_message()
        if box is None:
            return None
        texts = box.texts()
        if any(OVERWRITE in t for t in texts):
            steps.press_answer(run, box, "Ja")  # as a person who trusts the program would
            return None
        # An error box has the one button "Abbrechen", a notice "OK".
        captions = [name(b) for b in box.buttons()]
        steps.press_answer(run, box, "Abbrechen" if "Abbrechen" in captions else "OK")
        # The general error handler's box (titled like the program) is no refusal: it is
        # the engine failing on a file that should never have been tried.
        return ("Meldung" if box.title != "Mavrel/32" else "Fehler der Tabelle", texts)
    kind, texts = wait_until("Antwort auf %s" % what, outcome)
    named = any(os.path.basename(path).lower() in t.lower() for t in texts)
    run.checks.that(14, "%s wird mit einer Meldung abgelehnt, die die Datei nennt" % what,
                    kind == "Meldung" and named, "%s %s" % (kind, texts))


def run(run):
    d, checks, s = run.desktop, run.checks, run.session
    first = os.path.join(s.catalogs, "eins")
    steps.new_catalog(run, first)
    checks.that(None, "'Neu' legt eins.db an", "In Ordnung" in
                run.tables.check(first + ".db"))

    run.main().key("F4")
    wait_until("kein Katalog offen", lambda: d.window_named("Mavrel/32 V.3.20"))
    run.main().key("F2")
    dialog = d.window("Datei öffnen")
    folder_check(run, dialog, s.catalogs, "Öffnen")
    steps.file_dialog(run, "Datei öffnen", first + ".db")
    wait_until("eins.db offen", lambda: d.window_named(steps.catalog_title(first + ".db")))

    run.main().key("F12")
    dialog = d.window("Speichern unter")
    folder_check(run, dialog, s.catalogs, "Speichern unter")
    copy = os.path.join(s.catalogs, "kopie.db")
    steps.file_dialog(run, "Speichern unter", copy)
    wait_until("kopie.db geschrieben", lambda: os.path.exists(copy))
    checks.that(None, "'Speichern unter' lässt eins.db offen",
                d.window_named(steps.catalog_title(first + ".db")) is not None)
    checks.that(None, "die Kopie ist ein Katalog", "In Ordnung" in run.tables.check(copy))

    journal_before = run.tables.count(run.journal)
    refused(run, "F2", "Datei öffnen", run.journal, "Undo.db als Katalog zu öffnen")
    refused(run, "F2", "Datei öffnen", run.file_list, "mv32list.db als Katalog zu öffnen")
    if not d.window_named(steps.catalog_title(first + ".db")):
        steps.open_catalog(run, first + ".db")
    refused(run, "ctrl+n", "Datei neu anlegen", run.file_list, "mv32list.db als neuer Katalog")
    if not d.window_named(steps.catalog_title(first + ".db")):
        steps.open_catalog(run, first + ".db")
    refused(run, "F12", "Speichern unter", run.journal, "Undo.db als Ziel von 'Speichern unter'")
    checks.equal(14, "die Dateiliste behält ihre Dateien", file_count(run), run.files_before)
    checks.equal(14, "das Undo-Journal bleibt, wie es war", run.tables.count(run.journal),
                 journal_before)

    explorer = os.path.join(s.home, "drivescan.db")
    if not d.window_named(steps.catalog_title(first + ".db")):
        steps.open_catalog(run, first + ".db")
    run.main().key("F2")
    steps.file_dialog(run, "Datei öffnen", explorer)
    checks.that(14, "drivescan.db öffnet als Katalog", wait_until(
        "drivescan.db offen", lambda: d.window_named(steps.catalog_title(explorer))) is not None)
    steps.exit_program(run)
