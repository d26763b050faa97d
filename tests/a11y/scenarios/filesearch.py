# The file search as a person uses it: a name started with Enter (point 8), the hit count
# beside the position in result mode (point 11), "&Execute" still enabled when the focus
# moves to the buttons (point 13), one file taken over by double click and the selected
# ones by "Alle selektierte übernehmen".
import os
import re

import steps
from desktop import cell, name, role, table_rows, walk
from session import wait_until

TITLE = "Datei suchen"


def prepare(run):
    s = run.session
    s.add_medium("D", "CD1", "1234ABCD", {
        "README.TXT": "a", "DOKU/readme.doc": "b", "myreadme": "c", "SPIEL.EXE": "d"})
    s.command_line_scan("drive", "D:")
    run.catalog = os.path.join(s.catalogs, "dateien.db")
    steps.make_catalog(run, run.catalog, [{"Name": "Alpha"}])


def hit_count(window):
    for n in walk(window.node):
        m = re.fullmatch(r"Treffer: (\d+)", name(n)) if role(n) == "label" else None
        if m:
            return int(m.group(1))
    return None


def run(run):
    d, checks = run.desktop, run.checks
    steps.open_catalog(run, run.catalog)
    run.main().key("ctrl+d")
    window = d.window(TITLE)
    edit = steps.labelled(window, "text", "Geben Sie die zu suchende Datei ein:")
    d.type_into(edit, "readme")
    back = window.button("zurück")
    d.x.key("Return")
    try:
        wait_until("Ergebnisform", lambda: steps.enabled(back))
        started = True
    except TimeoutError:
        started = False
    checks.that(8, "Enter startet die Dateisuche", started)
    if not started:
        d.click(window.button("Suchen"))
        wait_until("Ergebnisform", lambda: steps.enabled(back))
    grid = window.find("table", None)
    found = wait_until("drei Treffer", lambda: sorted(r[0] for r in table_rows(grid)) or None)
    checks.equal(None, "die Suche findet die drei Namen mit readme", found,
                 ["README.TXT", "myreadme", "readme.doc"])
    checks.equal(11, "neben der Position steht 'Treffer: 3'", hit_count(window), 3)

    d.click(cell(grid, 0))
    steps.page(window, "Extras")
    execute = window.button("Execute")
    checks.that(13, "'Execute' bleibt frei, wenn der Fokus zu den Knöpfen geht",
                steps.enabled(execute))

    names = [r[0] for r in table_rows(grid)]
    d.click(cell(grid, names.index("README.TXT")), repeat=2)
    entry = d.window("Programmdaten editieren")
    wait_until("README.TXT im Katalog", lambda: run.tables.record(run.catalog, "README.TXT"))
    record = run.tables.record(run.catalog, "README.TXT")
    checks.equal(None, "die Übernahme füllt Label und Seriennummer",
                 (record["Label"], record["Serien_Nr"]), ("CD1", "1234ABCD"))
    entry.key("Escape")
    d.wait_gone(entry.title)

    window.bring()
    d.click(cell(grid, 0))
    d.x.key("ctrl+a")
    steps.page(window, "Extras")
    d.click(window.button("Alle selektierte übernehmen"))
    steps.answer(run, "OK", containing="Die gewählten Dateien wurden in die Hauptdatenbank "
                                       "übernommen.")
    checks.that(None, "'Alle selektierte übernehmen' übernimmt die übrigen Treffer",
                {"readme.doc", "myreadme"} <= set(run.tables.names(run.catalog)),
                "Katalog: %s" % run.tables.names(run.catalog))
    steps.page(window, "Suchen")
    d.click(back)
    wait_until("Tabellenform", lambda: not steps.enabled(back))
    checks.equal(11, "in der Tabellenform steht keine Trefferzahl", hit_count(window), None)
    d.click(window.button("Schließen"))
    d.wait_gone(TITLE)
    steps.exit_program(run)
