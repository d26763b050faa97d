# The tree window as a person uses it: built ("Schließen" disabled meanwhile, point 13),
# saved and loaded through the file dialogs; it and the "Undo Tabelle" window open inside the
# screen even when the main window is small and near a corner (point 5). Run with a window
# manager and without one.
import os

import steps
from desktop import children, extents, role
from session import wait_until

TITLE = "Treeview"
SCREEN = (1280, 1024)
CATEGORIES = ["Spiel", "Tools", "Büro-Software", "Grafik", "Sound", "Treiber"]


def prepare(run):
    run.catalog = os.path.join(run.session.catalogs, "baum.db")
    # Enough records that the build is still running when a person looks at the buttons.
    steps.make_catalog(run, run.catalog, [
        {"Name": "Programm %04d" % i, "Kategorie": CATEGORIES[i % len(CATEGORIES)]}
        for i in range(8000)])


def small_main_window(run):
    """The main window made small and put into the top left corner."""
    d, main = run.desktop, run.main()
    wid = d.x.window_ids(main.title)[-1]
    if run.session.window_manager:  # a double click on the title bar takes the maximum back
        e = extents(main.node)
        d.x.click(e.x + e.width // 2, max(e.y - 8, 2), repeat=2)
        wait_until("nicht mehr maximiert", lambda: extents(main.node).width < SCREEN[0] - 50)
    d.x.run("windowsize", wid, 360, 260)
    d.x.run("windowmove", wid, 0, 0)
    wait_until("kleines Hauptfenster", lambda: extents(main.node).width < 500)


def inside_screen(run, window, what):
    e = extents(window.node)
    ok = e.x >= 0 and e.y >= 0 and e.x + e.width <= SCREEN[0] and e.y + e.height <= SCREEN[1]
    run.checks.that(5, "'%s' öffnet ganz auf dem Bildschirm" % what, ok,
                    "bei (%d,%d) %dx%d" % (e.x, e.y, e.width, e.height))


def top_nodes(tree):
    return [c for c in children(tree) if role(c) in ("tree item", "table cell", "list item")]


def run(run):
    d, checks, s = run.desktop, run.checks, run.session
    steps.open_catalog(run, run.catalog)
    small_main_window(run)
    run.main().key("ctrl+t")
    tree_window = d.window(TITLE)
    inside_screen(run, tree_window, TITLE)

    refresh = tree_window.button("Aktualisieren")
    close = tree_window.button("Schließen")
    tree = tree_window.find("tree", None)
    d.click(refresh)
    running = wait_until("der Aufbau läuft oder ist fertig", lambda: (
        "läuft" if not steps.enabled(refresh) else "fertig" if top_nodes(tree) else None))
    if running == "läuft":
        checks.that(13, "'Schließen' ist während des Aufbaus gesperrt", not steps.enabled(close))
    else:
        print("        der Aufbau war fertig, ehe die Knöpfe gelesen wurden")
    wait_until("der Aufbau ist fertig", lambda: steps.enabled(refresh), 300)
    built = len(top_nodes(tree))
    checks.that(None, "der Baum zeigt die Kategorien", built >= len(CATEGORIES),
                "%d oberste Knoten" % built)

    target = os.path.join(s.catalogs, "kategorien")
    d.click(tree_window.button("Speichern"))
    steps.file_dialog(run, "Baum speichern", target)
    wait_until("kategorien.tre geschrieben", lambda: os.path.exists(target + ".tre"))
    wait_until("Speichern wieder frei", lambda: steps.enabled(tree_window.button("Speichern")))
    with open(target + ".tre", encoding="cp1252") as f:
        lines = f.read().splitlines()
    checks.that(None, "die Baumdatei hält Kategorien und Namen",
                "Spiel" in lines and "\tProgramm 0000" in lines, "%d Zeilen" % len(lines))
    d.click(tree_window.button("Laden"))
    steps.file_dialog(run, "Baum laden", target + ".tre")
    wait_until("Laden wieder frei", lambda: steps.enabled(tree_window.button("Laden")))
    checks.equal(None, "der geladene Baum hat so viele Kategorien wie der gebaute",
                 len(top_nodes(tree_window.find("tree", None))), built)
    d.click(close)
    d.wait_gone(TITLE)

    # A journalled delete, then the undo window beside the small main window.
    run.main().key("F5")
    entry = d.window("Programmdaten editieren")
    d.click(entry.button("Löschen"))
    steps.answer(run, "OK", containing="Datensatz löschen?")
    entry.key("Escape")
    d.wait_gone(entry.title)
    steps.menu(run, "Bearbeiten", "Undo...")
    undo = d.window("Undo Tabelle")
    inside_screen(run, undo, "Undo Tabelle")
    d.click(undo.button("Schließen"))
    d.wait_gone(undo.title)
    steps.exit_program(run)
