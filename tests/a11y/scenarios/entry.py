# The entry window as a person uses it: a new record typed in with the pick boxes, an edit,
# an edit left pending by Esc and saved by F3, text put in over the accessibility interface,
# a delete and its undo, with the status bar's record count looked at after each step.
import os

import steps
from desktop import text_of
from session import wait_until

TITLE = "Programmdaten editieren"


def prepare(run):
    run.catalog = os.path.join(run.session.catalogs, "eingabe.db")
    steps.make_catalog(run, run.catalog, [
        {"Name": "Alpha", "DatentraegerNr": 1, "Datentraeger": "CDROM", "Kategorie": "Spiel"},
        {"Name": "Beta", "DatentraegerNr": 2, "Datentraeger": "Diskette", "Status": "Defekt"},
    ])


def count_follows(run, what):
    """Point 9: the status bar counts the records the file holds."""
    wanted = run.tables.count(run.catalog)
    try:
        wait_until("Datensatzzähler %d" % wanted,
                   lambda: (steps.record_label(run) or (0, -1))[1] == wanted, 20)
        ok = True
    except TimeoutError:
        ok = False
    run.checks.that(9, "Zähler der Statuszeile nach %s" % what, ok,
                    "Statuszeile %s, Datei %d Datensätze" % (steps.record_label(run), wanted))


def run(run):
    d, checks = run.desktop, run.checks
    steps.open_catalog(run, run.catalog)
    count_follows(run, "dem Öffnen")
    run.main().key("F5")
    entry = d.window(TITLE)

    # A new record, its pick boxes typed into: what is typed is stored as typed (point 7).
    d.click(entry.button("Hinzufügen"))
    name_box = steps.labelled(entry, "text", "Programm-Name:")
    wait_until("Name leer", lambda: text_of(name_box) == "")
    d.type_into(name_box, "Gamma")
    medium = steps.labelled(entry, "combo box", "Datenträger (Art):")
    d.type_into(steps.edit_of(medium), "CD")
    steps.page(entry, "Kategorie/Status")
    status = steps.labelled(entry, "combo box", "Status:")
    d.type_into(steps.edit_of(status), "Verl")
    category = steps.labelled(entry, "combo box", "Kategorie:")
    d.type_into(steps.edit_of(category), "Spiel, Sim")
    shown = (text_of(medium), text_of(status), text_of(category))
    checks.equal(7, "die Auswahlfelder zeigen, was getippt wurde", shown,
                 ("CD", "Verl", "Spiel, Sim"))
    steps.post(entry)
    wait_until("Gamma steht in der Datei", lambda: run.tables.record(run.catalog, "Gamma"))
    stored = run.tables.record(run.catalog, "Gamma")
    checks.equal(7, "gespeichert wird, was getippt wurde",
                 (stored["Datentraeger"], stored["Status"], stored["Kategorie"]),
                 ("CD", "Verl", "Spiel, Sim"))
    count_follows(run, "dem Hinzufügen")

    # An edit through the accessibility interface is stored at post (point 15): a line box
    # and the memo.
    d.click(entry.button("Edit"))
    steps.page(entry, "Allgemein")
    of = steps.labelled(entry, "text", "von")
    d.set_text(of, "3")
    wait_until("'von' zeigt 3", lambda: text_of(of) == "3")
    steps.page(entry, "Memo")
    memo = steps.labelled(entry, "text", "Memo (Begriffe):")
    d.set_text(memo, "Diktiert über die Schnittstelle")
    wait_until("Memo zeigt den Text", lambda: "Diktiert" in text_of(memo))
    steps.post(entry)
    stored = run.tables.record(run.catalog, "Gamma")
    checks.equal(15, "über EditableText gesetzter Text wird gespeichert",
                 (stored["von"], stored["Memo"]), ("3", "Diktiert über die Schnittstelle"))

    # A pending edit, Esc, then F3: the edit is in the file (point 12).
    d.click(entry.button("Edit"))
    steps.page(entry, "Allgemein")
    number = steps.labelled(entry, "text", "Datenträger-Nr.:")
    d.type_into(number, "42")
    entry.key("Escape")
    d.wait_gone(TITLE)
    run.main().key("F3")
    wait_until("'gesichert' in der Statuszeile", lambda: steps.panel_text(run, "gesichert"))
    checks.equal(12, "die offene Änderung steht nach Esc und F3 in der Datei",
                 run.tables.record(run.catalog, "Gamma")["DatentraegerNr"], "42")

    # Delete with the navigator's question, then "Undo FAST!".
    run.main().key("F5")
    entry = d.window(TITLE)
    d.click(entry.button("Letzter"))
    name_box = steps.labelled(entry, "text", "Programm-Name:")
    wait_until("der letzte Datensatz", lambda: text_of(name_box) == "Gamma")
    d.click(entry.button("Löschen"))
    steps.answer(run, "OK", containing="Datensatz löschen?")
    wait_until("Gamma ist gelöscht", lambda: run.tables.record(run.catalog, "Gamma") is None)
    count_follows(run, "dem Löschen")
    entry.key("Escape")
    d.wait_gone(TITLE)
    run.main().key("F11")
    steps.answer(run, "OK", containing="Alle Datensätze wurden in die Hauptdatenbank "
                                       "zurückgeschrieben.")
    checks.that(None, "Undo FAST! bringt Gamma zurück",
                run.tables.record(run.catalog, "Gamma") is not None)
    count_follows(run, "Undo FAST!")
    checks.that(None, "die Datei ist in Ordnung", "In Ordnung" in run.tables.check(run.catalog))
    steps.exit_program(run)
    checks.that(None, "die Datei ist nach dem Ende in Ordnung",
                "In Ordnung" in run.tables.check(run.catalog))

