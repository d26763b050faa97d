# Medium removal as a person uses it (point 1): "Löschen" with nothing selected changes
# neither mv32list.chk nor the file list; with one medium selected exactly that medium goes.
# Run with a window manager (which activates the window) and without one.
import os

import steps
from desktop import role, walk
from session import wait_until

TITLE = "Datenträger Auswahl"


def prepare(run):
    s = run.session
    s.add_medium("D", "CD1", "1234ABCD", {"README.TXT": "a", "SPIEL/START.EXE": "b"})
    s.add_medium("E", "CD2", "5678EF01", {"FOTO.JPG": "c", "NOTIZ.TXT": "d"})
    s.command_line_scan("drive", "D:")
    s.command_line_scan("drive", "E:")
    run.chk = os.path.join(s.home, "mv32list.chk")
    with open(run.chk, "w", encoding="cp1252", newline="") as f:
        f.write("CD11234ABCD\r\nCD25678EF01\r\n")


def media_in_file_list(run):
    return sorted({(f["Label"], f["VolID"]) for f in run.tables.files(run.session.home)})


def chk_lines(run):
    with open(run.chk, encoding="cp1252") as f:
        return [line.rstrip("\r\n") for line in f if line.strip()]


def entries(window):
    box = window.find("list", "Label - Seriennummer", into_opaque=False)
    return box, [n for n in walk(box, into_opaque=True) if role(n) == "list item"]


def idle(window):
    """The removal has ended: its three buttons are enabled again."""
    return all(steps.enabled(b) for b in window.buttons()
               if b.name in ("Löschen (aus der Liste)", "Löschen (aus dem Laufwerk)",
                             "Schließen"))


def run(run):
    d, checks = run.desktop, run.checks
    both = [("CD1", "1234ABCD"), ("CD2", "5678EF01")]
    checks.equal(None, "beide Medien stehen in der Dateiliste", media_in_file_list(run), both)
    run.main().key("ctrl+x")
    window = d.window(TITLE)
    box, items = entries(window)
    wait_until("zwei Einträge", lambda: len(entries(window)[1]) == 2)
    window.bring()

    # "Löschen" with nothing selected. A click on the second entry afterwards is the mark
    # that the press was handled (the events come in order).
    d.click(window.button("Löschen (aus der Liste)"))
    _, items = entries(window)
    d.click(items[-1])
    wait_until("die Auswahl ist gesetzt oder die Liste kürzer", lambda: idle(window) and (
        len(entries(window)[1]) < 2 or steps.selected(entries(window)[1][-1])))
    checks.equal(1, "ohne Auswahl bleibt mv32list.chk unverändert", chk_lines(run),
                 ["CD11234ABCD", "CD25678EF01"])
    checks.equal(1, "ohne Auswahl bleibt die Dateiliste unverändert", media_in_file_list(run),
                 both)

    # One medium selected: exactly that one goes.
    _, items = entries(window)
    target = [i for i in items if i.name == "CD2 - 5678EF01"]
    if target:
        d.click(target[0])
        wait_until("CD2 gewählt", lambda: steps.selected(target[0]))
        d.click(window.button("Löschen (aus der Liste)"))
        wait_until("CD2 entfernt", lambda: idle(window) and not any(
            i.name == "CD2 - 5678EF01" for i in entries(window)[1]))
        checks.that(1, "mit Auswahl verschwindet genau CD2 aus mv32list.chk",
                    "CD25678EF01" not in chk_lines(run) and "CD11234ABCD" in chk_lines(run),
                    "mv32list.chk: %s" % chk_lines(run))
        checks.equal(1, "mit Auswahl verliert die Dateiliste genau die Dateien von CD2",
                     media_in_file_list(run), [("CD1", "1234ABCD")])
    else:
        checks.that(1, "CD2 steht noch in der Liste, um gewählt zu werden", False,
                    "Liste: %s" % [i.name for i in items])
    d.click(window.button("Schließen"))
    d.wait_gone(TITLE)
    checks.that(None, "die Dateiliste ist in Ordnung",
                "In Ordnung" in run.tables.check(os.path.join(run.session.home, "mv32list.db")))
    steps.exit_program(run)
