# Export and printing as a person uses them: the text export through its dialog and the file
# dialog (which starts where the catalog lies, point 14), the printed list saved from the
# preview with "Als PDF speichern...", and a search result exported from the grid's menu.
import os
import shutil
import subprocess

import steps
from desktop import cell
from session import wait_until

RESULT = "Datenbank Übersicht"


def prepare(run):
    run.catalog = os.path.join(run.session.catalogs, "export.db")
    steps.make_catalog(run, run.catalog, [
        {"Name": "Alpha", "DatentraegerNr": 1, "Datentraeger": "CDROM", "Kategorie": "Spiel"},
        {"Name": "Beta", "DatentraegerNr": 2, "Datentraeger": "Diskette"},
        {"Name": "Gamma", "DatentraegerNr": 3, "Datentraeger": "DVD", "Kategorie": "Tools"}])


def text_of_file(path):
    with open(path, encoding="cp1252") as f:
        return f.read()


def export_through_dialogs(run, title, target):
    d = run.desktop
    options = d.window("Daten in ASCII-Datei exportieren")
    d.click(options.button("Ok"))
    dialog = d.window(title)
    shown = steps.file_dialog_folder(dialog)
    run.checks.that(14, "der Dateidialog des Exports beginnt beim Katalog",
                    shown and os.path.realpath(shown) == os.path.realpath(run.session.catalogs),
                    "zeigt %r" % shown)
    steps.file_dialog(run, title, target)
    wait_until("%s geschrieben" % os.path.basename(target), lambda: os.path.exists(target))
    d.wait_gone(title)


def run(run):
    d, checks, s = run.desktop, run.checks, run.session
    steps.open_catalog(run, run.catalog)
    text = os.path.join(s.catalogs, "liste.txt")
    run.main().key("ctrl+a")
    export_through_dialogs(run, "Daten in das ASCII-Format exportieren", text)
    written = text_of_file(text)
    checks.that(None, "die Textdatei nennt alle Datensätze",
                all(n in written for n in ("Alpha", "Beta", "Gamma")), written[:200])

    run.main().key("ctrl+p")
    options = d.window("QuickReport Druckeinstellungen")
    d.click(options.button("OK"))
    preview = d.window("Mavrel/32")
    pdf = os.path.join(s.catalogs, "liste.pdf")
    d.click(preview.button("Als PDF speichern"))
    steps.file_dialog(run, "Liste als PDF speichern", pdf)
    wait_until("liste.pdf geschrieben", lambda: os.path.exists(pdf))
    with open(pdf, "rb") as f:
        checks.that(None, "die PDF-Datei ist ein PDF", f.read(5) == b"%PDF-")
    if shutil.which("pdftotext"):
        words = subprocess.run(["pdftotext", pdf, "-"], stdout=subprocess.PIPE,
                               timeout=60).stdout.decode("utf-8", "replace")
        checks.that(None, "die gedruckte Liste nennt die Namen",
                    all(n in words for n in ("Alpha", "Beta", "Gamma")), words[:200])
    preview.key("Escape")
    d.wait_gone("Mavrel/32")

    # A search result exported from the grid's context menu.
    run.main().key("F6")
    search = d.window("Suchen")
    d.type_into(steps.labelled(search, "text", "Suchbegriff:"), "mm")
    d.click(search.button("Suchen"))
    result = d.window(RESULT)
    grid = result.find("table", None)
    wait_until("ein Treffer", lambda: steps.result_names(grid) == ["Gamma"])
    steps.context_menu(run, cell(grid, 0), "Datenmenge exportieren (ASCII)", 1)
    found = os.path.join(s.catalogs, "ergebnis.txt")
    export_through_dialogs(run, "Daten in das ASCII-Format exportieren", found)
    written = text_of_file(found)
    checks.that(None, "die Textdatei des Ergebnisses nennt nur Gamma",
                "Gamma" in written and "Alpha" not in written, written[:200])
    d.click(d.window(RESULT).button("Schließen"))
    d.wait_gone(RESULT)
    steps.exit_program(run)
