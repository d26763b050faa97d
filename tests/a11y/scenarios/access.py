# What a screen reader meets in the program's windows (point 15): every control has a name,
# pick and drive boxes are named by their label and not by their value, no window calls
# itself "filler", and the grids' context menus open from the keyboard (the Menu key and
# Shift+F10) and appear on the bus.
import os

import steps
from desktop import cell, name, role, text_of, walk
from session import wait_until

CONTROLS = ("push button", "check box", "radio button", "text", "combo box", "spin button",
            "table", "tree", "list", "page tab", "toggle button", "slider")


def prepare(run):
    s = run.session
    s.add_medium("D", "CD1", "1234ABCD", {"README.TXT": "a", "SPIEL.EXE": "b"})
    s.command_line_scan("drive", "D:")
    run.catalog = os.path.join(s.catalogs, "zugang.db")
    steps.make_catalog(run, run.catalog, [
        {"Name": "Alpha", "Datentraeger": "CDROM", "Status": "Defekt", "Kategorie": "Spiel"},
        {"Name": "Beta", "Datentraeger": "Diskette"}])


def audit(run, window, part=""):
    """Names and roles of one window's controls, as the bus gives them."""
    checks = run.checks
    where = window.title + (" / " + part if part else "")
    if not part:
        checks.that(15, "'%s' meldet sich als Fenster oder Dialog" % window.title,
                    role(window.node) in ("frame", "dialog", "window"),
                    "Rolle %r" % role(window.node))
    unnamed, by_value = [], []
    for n in walk(window.node, into_opaque=False):
        r = role(n)
        if r not in CONTROLS or (r == "text" and role(n.parent) == "combo box"):
            continue  # the typing field of a pick box is named through the box
        if not name(n).strip():
            unnamed.append(r)
        elif r == "combo box" and text_of(n) and name(n) == text_of(n):
            by_value.append(name(n))
    checks.that(15, "jedes Bedienelement in '%s' hat einen Namen" % where, not unnamed,
                "ohne Namen: %s" % ", ".join(unnamed))
    checks.that(15, "die Auswahlfelder in '%s' heißen nach ihrer Beschriftung" % where,
                not by_value, "nach ihrem Wert benannt: %s" % by_value)


def menu_from_keyboard(run, window, grid, key, caption):
    d = run.desktop
    d.click(cell(grid, 0))
    window.key(key)
    try:
        d.menu_item(caption, deadline=10)
        ok = True
    except TimeoutError:
        ok = False
    run.checks.that(15, "%s öffnet das Kontextmenü in '%s' (im Baum: '%s')"
                    % (key, window.title, caption), ok)
    # A click beside it closes a menu that is open but not on the bus (Esc would close the
    # window when no menu opened).
    d.click(cell(grid, 0))


def opened(run, key_or_action, title):
    d = run.desktop
    if callable(key_or_action):
        key_or_action()
    else:
        run.main().key(key_or_action)
    window = d.window(title)
    audit(run, window)
    return window


def close(run, window):
    window.key("Escape")
    run.desktop.wait_gone(window.title)


def run(run):
    d = run.desktop
    steps.open_catalog(run, run.catalog)
    audit(run, run.main())
    entry = opened(run, "F5", "Programmdaten editieren")
    for page in ("Datenträger", "Kategorie/Status"):
        steps.page(entry, page)
        audit(run, entry, page)
    close(run, entry)

    overview = opened(run, "F8", "Datenbank Übersicht")
    grid = overview.find("table", None)
    wait_until("Zeilen", lambda: grid.queryTable().nRows > 0)
    menu_from_keyboard(run, overview, grid, "Menu", "Sortieren nach Name")
    menu_from_keyboard(run, overview, grid, "shift+F10", "Sortieren nach Name")
    close(run, overview)

    close(run, opened(run, "ctrl+t", "Treeview"))
    scan = opened(run, lambda: d.click(run.main().button("Scannen")), "Laufwerk scannen")
    d.click(scan.button("Schließen"))
    d.wait_gone(scan.title)
    close(run, opened(run, "F6", "Suchen"))
    close(run, opened(run, lambda: steps.menu(run, "Suchen", "Freien Speicher suchen..."),
                      "Freien Speicher suchen"))
    close(run, opened(run, lambda: steps.menu(run, "Suchen", "Bereich der Datenträger-Nr. "
                                                              "durchsuchen..."),
                      "Bereiche der Datenträgernummer durchsuchen"))
    files = opened(run, "ctrl+d", "Datei suchen")
    grid = files.find("table", None)
    wait_until("Zeilen", lambda: grid.queryTable().nRows > 0)
    # The sort popup of table mode exists only with SekIndexActive: a search result has one.
    d.type_into(steps.labelled(files, "text", "Geben Sie die zu suchende Datei ein:"), "e")
    d.x.key("Return")
    wait_until("Treffer", lambda: any("Treffer" in name(n) for n in files.all("label")))
    grid = files.find("table", None)  # the result's own grid
    menu_from_keyboard(run, files, grid, "Menu", "sortieren nach Dateiname")
    menu_from_keyboard(run, files, grid, "shift+F10", "sortieren nach Dateiname")
    close(run, files)

    settings = opened(run, lambda: d.click(run.main().button("Einstell.")), "Einstellungen")
    steps.labelled(settings, "text", "Benutzerdefinierte SQL-Anweisung: (über F9 aufzurufen)")
    d.click(settings.button("Abbrechen"))
    d.wait_gone(settings.title)
    steps.exit_program(run)
