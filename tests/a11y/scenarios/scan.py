# A declared test medium scanned from the scan dialog; a medium declared after the start (a
# stick plugged in) offered by the scan dialog and the entry window when they are shown again
# (point 10); the known medium scanned again: its question, then the database-problem
# question in its own wording when nothing was added.
import os

import steps
from session import wait_until

KNOWN = "Diesen Datenträger haben Sie schon einmal gescannt!"
NOTHING_ADDED = ("Datenbankproblem: Zu wenig Plattenspeicher vorhanden oder maximale Anzahl der "
                 "Datensätze erreicht! Wollen Sie es trotzdem weiter versuchen?")
NO_MEDIUM = "Es befindet sich kein Datenträger in diesem Laufwerk!"


def prepare(run):
    s = run.session
    s.write_settings({"ScanBackground": "0"})
    s.add_medium("D", "CD1", "1234ABCD", {
        "README.TXT": "Lies mich\r\n", "SPIELE/DOOM.EXE": "x" * 100,
        "SPIELE/FILES.BBS": "DOOM.EXE  Ein Spiel aus dem Jahr 1993\r\n"})
    run.catalog = os.path.join(s.catalogs, "scan.db")
    steps.make_catalog(run, run.catalog, [{"Name": "Alpha", "Laufwerk": "D", "Label": "CD1"}])


def run(run):
    d, checks, s = run.desktop, run.checks, run.session
    steps.open_catalog(run, run.catalog)
    run.main().key("F5")  # the entry window, made before the stick comes
    entry = d.window("Programmdaten editieren")
    entry.key("Escape")
    d.wait_gone(entry.title)

    d.click(run.main().button("Scannen"))
    dialog = d.window("Laufwerk scannen")
    drives = dialog.find("combo box", None)
    steps.choose(dialog, drives, "D:")
    d.click(dialog.button("Start"))
    steps.answer_through(run, "Die gescannten Dateien und Verzeichnisse liegen nun", "OK",
                         {"Jetzt werden die Indizes erstellt": "Nein"})
    dialog.find("label", "Laufwerk gescannt!")
    files = run.tables.files(s.home, "Label = 'CD1'")
    checks.equal(None, "die Dateien des Mediums stehen in der Dateiliste",
                 sorted(f["Dateiname"] for f in files), ["DOOM.EXE", "FILES.BBS", "README.TXT"])
    with open(os.path.join(s.home, "mv32list.chk"), encoding="cp1252") as f:
        checks.that(None, "das Medium steht in mv32list.chk", "CD11234ABCD" in f.read())
    d.click(dialog.button("Schließen"))
    d.wait_gone(dialog.title)

    # A stick plugged in after the start: both drive lists offer it when shown again.
    s.add_medium("E", "STICK", "5678EF01", {"FOTO.JPG": "y"})
    d.click(run.main().button("Scannen"))
    dialog = d.window("Laufwerk scannen")
    drives = dialog.find("combo box", None)
    offered = steps.combo_items(d, drives)
    checks.that(10, "der Scan-Dialog bietet das neue Laufwerk E an",
                any(i.startswith("E:") for i in offered), "Liste: %s" % offered)
    box = d.no_message()
    checks.that(10, "das erneute Füllen zeigt keine Meldung", box is None,
                box and "%s" % box.texts())
    if box:
        steps.press_answer(run, box, "Abbrechen")
    d.click(dialog.button("Schließen"))
    d.wait_gone(dialog.title)

    before = run.tables.record(run.catalog, "Alpha")
    run.main().key("F5")
    entry = d.window("Programmdaten editieren")
    steps.page(entry, "Datenträger")
    combo = entry.find("combo box", None)
    offered = steps.combo_items(d, combo)
    checks.that(10, "das Eingabefenster bietet das neue Laufwerk E an",
                any(i.startswith("E:") for i in offered), "Liste: %s" % offered)
    box = d.no_message()
    checks.that(10, "kein '%s'" % NO_MEDIUM, box is None, box and "%s" % box.texts())
    if box:
        steps.press_answer(run, box, "Abbrechen")
    entry.key("Escape")
    d.wait_gone(entry.title)
    run.main().key("F3")
    wait_until("gesichert", lambda: steps.panel_text(run, "gesichert"))
    checks.equal(10, "der gezeigte Datensatz bleibt unverändert",
                 run.tables.record(run.catalog, "Alpha"), before)

    # The known medium again: the question, then nothing new to add.
    count = len(run.tables.files(s.home))
    d.click(run.main().button("Scannen"))
    dialog = d.window("Laufwerk scannen")
    steps.choose(dialog, dialog.find("combo box", None), "D:")
    d.click(dialog.button("Start"))
    steps.answer(run, "Ja", ("Frage",), containing=KNOWN)
    texts = steps.answer(run, "Nein", ("Frage",))
    checks.that(None, "ein Scan ohne neue Dateien stellt die Frage nach dem Datenbankproblem",
                NOTHING_ADDED in texts, "Frage: %s" % texts)
    checks.equal(None, "die Dateiliste bleibt gleich", len(run.tables.files(s.home)), count)
    wait_until("Start wieder frei", lambda: steps.enabled(dialog.button("Start")))
    d.click(dialog.button("Schließen"))
    d.wait_gone(dialog.title)

    # The dialogs of the file commands do not start in the program folder after a scan.
    run.main().key("F2")
    opened = d.window("Datei öffnen")
    shown = steps.file_dialog_folder(opened)
    checks.that(14, "'Öffnen' beginnt nach dem Scan beim zuletzt geöffneten Katalog",
                shown and os.path.realpath(shown) == os.path.realpath(s.catalogs),
                "zeigt %r" % shown)
    opened.key("Escape")
    d.wait_gone(opened.title)
    steps.exit_program(run)
