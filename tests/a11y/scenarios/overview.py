# The overview as a person uses it: sorted from its context menu, jumped in, a row deleted
# with Ctrl+Del (point 13), a record opened by double click in an entry window made there
# first, whose pick lists are filled (point 3) and whose posts keep or stamp the date
# (point 4).
import os
import re

import steps
from desktop import cell, selected_rows, table_rows
from session import wait_until

TITLE = "Datenbank Übersicht"
ENTRY = "Programmdaten editieren"
OLD_STAMP = "1.2.2020 -- 10:0:0"


def prepare(run):
    run.catalog = os.path.join(run.session.catalogs, "uebersicht.db")
    rows = [("Alpha", 3, "Spiel"), ("Beta", 1, "Tools"), ("Delta", 5, ""),
            ("Epsilon", 2, "Spiel"), ("Gamma", 4, "Büro-Software")]
    steps.make_catalog(run, run.catalog, [
        {"Name": n, "DatentraegerNr": nr, "Kategorie": k, "Datum_Uhrzeit": OLD_STAMP}
        for n, nr, k in rows])


def names(grid):
    return [r[0] for r in table_rows(grid)]


def current_name(grid):
    rows = selected_rows(grid)
    return names(grid)[rows[0]] if rows else None


def pick_lists_filled(run, entry, when):
    steps.page(entry, "Kategorie/Status")
    for label in ("Status:", "Kategorie:"):
        combo = steps.labelled(entry, "combo box", label)
        count = len(steps.combo_items(run.desktop, combo))
        run.checks.that(3, "'%s' hat Einträge %s" % (label, when), count > 0,
                        "%d Einträge" % count)


def run(run):
    d, checks = run.desktop, run.checks
    steps.open_catalog(run, run.catalog)
    run.main().key("F8")
    overview = d.window(TITLE)
    grid = overview.find("table", None)
    wait_until("fünf Zeilen", lambda: len(names(grid)) == 5)
    checks.equal(None, "die Übersicht zeigt die Namen in Namensfolge", names(grid),
                 ["Alpha", "Beta", "Delta", "Epsilon", "Gamma"])

    steps.context_menu(run, cell(grid, 0), "Sortieren nach Datenträger-Nr.", 1)
    checks.that(None, "das Kontextmenü sortiert nach Datenträger-Nr.", wait_until(
        "Beta zuerst", lambda: names(grid)[:2] == ["Beta", "Epsilon"], 30))
    jump = steps.labelled(overview, "text", "Sofort springen zu:")
    d.type_into(jump, "4")
    checks.that(None, "'Sofort springen zu' springt zu Nr. 4",
                wait_until("Gamma gewählt", lambda: current_name(grid) == "Gamma", 30))
    steps.context_menu(run, cell(grid, 0), "Sortieren nach Name", 0)
    wait_until("Namensfolge", lambda: names(grid)[0] == "Alpha")

    # Ctrl+Del deletes the current row after the navigator's question (point 13).
    row = names(grid).index("Epsilon")
    d.click(cell(grid, row))
    wait_until("Epsilon gewählt", lambda: current_name(grid) == "Epsilon")
    overview.key("ctrl+Delete")
    try:
        steps.answer(run, "OK", containing="Datensatz löschen?")
        asked = True
    except TimeoutError:
        asked = False
    checks.that(13, "Strg+Entf fragt 'Datensatz löschen?'", asked)
    if asked:
        wait_until("Epsilon gelöscht", lambda: run.tables.record(run.catalog, "Epsilon") is None)
        journal = run.tables.names(os.path.join(run.session.home, "Undo.db"))
        checks.that(13, "Strg+Entf löscht über das Journal", "Epsilon" in journal,
                    "Journal: %s" % journal)

    # The entry window made by the double click (points 3 and 4).
    d.click(cell(grid, names(grid).index("Alpha")), repeat=2)
    entry = d.window(ENTRY)
    pick_lists_filled(run, entry, "im Fenster aus der Übersicht")
    d.click(entry.button("Edit"))
    steps.post(entry)
    checks.equal(4, "Edit und Speichern lassen Datum_Uhrzeit stehen",
                 run.tables.record(run.catalog, "Alpha")["Datum_Uhrzeit"], OLD_STAMP)
    d.click(entry.button("Edit"))
    d.click(entry.button("Hinzufügen"))
    wait_until("neuer Datensatz", lambda: steps.enabled(entry.button("Rückgängig")))
    stamp = wait_until("Alpha gespeichert", lambda: run.tables.record(
        run.catalog, "Alpha")["Datum_Uhrzeit"])
    checks.that(4, "Hinzufügen stempelt den bearbeiteten Datensatz mit der Uhrzeit",
                re.fullmatch(r"\d{1,2}\.\d{1,2}\.\d{4} -- \d{1,2}:\d{1,2}:\d{1,2}", stamp)
                and stamp not in (OLD_STAMP, "1.1.2000 -- 0:0:0"), "Datum_Uhrzeit %r" % stamp)
    d.click(entry.button("Rückgängig"))
    entry.key("Escape")
    d.wait_gone(ENTRY)
    run.main().key("F5")
    entry = d.window(ENTRY)
    pick_lists_filled(run, entry, "nach F5")
    entry.key("Escape")
    d.wait_gone(ENTRY)
    steps.exit_program(run)
