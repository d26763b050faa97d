# Each search and its result as a person uses them: criteria typed and started with Enter
# (point 8), a medium typed as "CD" searched as "CD" (point 7), a record of the full search's
# modal result edited, scanned from and shown in the overview (point 2), and the full
# search's result modal also over another search's result (point 6).
import os

import steps
from desktop import cell, selected_rows, table_rows, text_of
from session import wait_until

RESULT = "Datenbank Übersicht"
ENTRY = "Programmdaten editieren"


def prepare(run):
    run.catalog = os.path.join(run.session.catalogs, "suche.db")
    steps.make_catalog(run, run.catalog, [
        {"Name": "Alpha", "DatentraegerNr": 1, "Datentraeger": "CD", "Freier_Speicher": "500"},
        {"Name": "Beta", "DatentraegerNr": 2, "Datentraeger": "CD-R"},
        {"Name": "Gamma", "DatentraegerNr": 3, "Datentraeger": "CDROM"},
        {"Name": "Delta", "DatentraegerNr": 4, "Datentraeger": "Diskette"}])


def start_with_enter(run, dialog, box, what):
    """Enter in a criterion starts the search; where it does not, the button is pressed."""
    d = run.desktop
    d.focus(box)
    d.x.key("Return")
    try:
        d.window(RESULT, deadline=30)
        started = True
    except TimeoutError:
        started = False
    run.checks.that(8, "Enter startet %s" % what, started)
    if not started:
        d.click(dialog.button("Suchen"))
    return d.window(RESULT)


def blocks_main(run, result):
    """A modal result takes the main window's clicks: a click on its "Einstell." button opens
    nothing. A click on the result's grid afterwards is the mark that the first was handled."""
    d = run.desktop
    button = run.main().button("Einstell.")
    e = button.queryComponent().getExtents(0)
    d.x.click(e.x + e.width // 2, e.y + e.height // 2)
    grid = result.find("table", None)
    rows = len(table_rows(grid))
    if rows:
        target = 1 if rows > 1 and 0 in selected_rows(grid) else 0
        d.click(cell(grid, target))
        wait_until("Zeile gewählt", lambda: target in selected_rows(grid))
    else:
        d.click(result.find("label", "Datensatz"))
    settings = d.window_named("Einstellungen")
    if settings is not None:
        d.window("Einstellungen").key("Escape")
        d.wait_gone("Einstellungen")
    return settings is None


def run(run):
    d, checks = run.desktop, run.checks
    steps.open_catalog(run, run.catalog)
    run.main().key("F5")  # the entry window exists before the first result
    d.window(ENTRY).key("Escape")
    d.wait_gone(ENTRY)

    run.main().key("F6")
    search = d.window("Suchen")
    medium = steps.labelled(search, "combo box", "Datenträger:")
    d.type_into(steps.edit_of(medium), "CD")
    checks.equal(7, "'Suchen' zeigt im Datenträger, was getippt wurde", text_of(medium), "CD")
    result = start_with_enter(run, search, steps.edit_of(medium), "'Suchen'")
    grid = result.find("table", None)
    checks.equal(7, "'Suchen' nach CD findet CD, CD-R und CDROM",
                 wait_until("Ergebnis", lambda: steps.result_names(grid) or None),
                 ["Alpha", "Beta", "Gamma"])
    checks.that(None, "das Ergebnis der großen Suche ist modal", blocks_main(run, result))

    # A record of the modal result takes input (point 2).
    names = [r[0] for r in table_rows(grid)]
    d.click(cell(grid, names.index("Alpha") if "Alpha" in names else 0), repeat=2)
    entry = d.window(ENTRY)
    number = steps.labelled(entry, "text", "Datenträger-Nr.:")
    try:  # a window that takes no input never gets the focus
        d.type_into(number, "77", deadline=20)
        took = d.wait_text(number, "77", 20)
    except TimeoutError:
        took = False
    checks.that(2, "das Eingabefenster über dem Ergebnis nimmt Klicks und Tasten an", took,
                "zeigt %r" % text_of(number))
    steps.post(entry)
    edited = names[names.index("Alpha") if "Alpha" in names else 0]
    checks.equal(2, "'Speichern' im Eingabefenster über dem Ergebnis speichert",
                 run.tables.record(run.catalog, edited)["DatentraegerNr"], "77")
    d.click(entry.button("Laufwerk scannen..."))
    try:
        scan = d.window("Laufwerk scannen", deadline=20)
        checks.that(2, "'Laufwerk scannen...' öffnet den Scan-Dialog", True)
        d.click(scan.button("Schließen"))
        d.wait_gone(scan.title)
    except TimeoutError:
        checks.that(2, "'Laufwerk scannen...' öffnet den Scan-Dialog", False)
    d.click(entry.button("Übersicht"))
    jump = steps.labelled(d.window(RESULT), "text", "Sofort springen zu:")
    try:
        normal = wait_until("Springen frei", lambda: steps.enabled(jump), 20)
    except TimeoutError:
        normal = False
    checks.that(2, "'Übersicht' zeigt die Übersicht in Normalform", normal)
    d.click(d.window(RESULT).button("Schließen"))
    d.wait_gone(RESULT)
    if d.window_named(ENTRY):
        d.window(ENTRY).key("Escape")
        d.wait_gone(ENTRY)

    # Another search's result open, then the full search: its result is modal (point 6).
    steps.menu(run, "Suchen", "Freien Speicher suchen...")
    free = d.window("Freien Speicher suchen")
    size = steps.labelled(free, "text", "Größe (in KByte):")
    d.type_into(size, "0")
    start_with_enter(run, free, size, "'Freien Speicher suchen'")
    run.main().key("F6")
    search = d.window("Suchen")
    term = steps.labelled(search, "text", "Suchbegriff:")
    d.type_into(term, "a")
    result = start_with_enter(run, search, term, "'Suchen' bei offenem Ergebnis")
    checks.that(6, "das Ergebnis der großen Suche ist modal, auch wenn die Übersicht schon "
                "offen war", blocks_main(run, result))
    d.click(d.window(RESULT).button("Schließen"))
    d.wait_gone(RESULT)

    steps.menu(run, "Suchen", "Bereich der Datenträger-Nr. durchsuchen...")
    span = d.window("Bereiche der Datenträgernummer durchsuchen")
    d.type_into(steps.labelled(span, "text", "Suchen von"), "0")
    d.type_into(steps.labelled(span, "text", "bis"), "99")
    medium = steps.labelled(span, "combo box", "Datenträger:")
    d.type_into(steps.edit_of(medium), "CD")
    checks.equal(7, "die Bereichssuche zeigt im Datenträger, was getippt wurde",
                 text_of(medium), "CD")
    result = start_with_enter(run, span, steps.edit_of(medium), "die Bereichssuche")
    grid = result.find("table", None)
    checks.equal(7, "die Bereichssuche nach CD findet CD, CD-R und CDROM",
                 wait_until("Ergebnis", lambda: steps.result_names(grid) or None, 30),
                 ["Alpha", "Beta", "Gamma"])
    d.click(result.button("Schließen"))
    d.wait_gone(RESULT)
    steps.exit_program(run)
