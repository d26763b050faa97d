# Drives the running program through the desktop's accessibility bus, as a screen reader or a
# person would find its controls: by their names. Opens the settings from the toolbar, switches
# a page and a check box, cancels, and ends the program through its exit question.
import sys
import time

import pyatspi
from gi.repository import Atspi, GLib

Atspi.set_timeout(2000, 15000)

TIMEOUT = 30


def wait_for(what, find):
    end = time.time() + TIMEOUT
    while time.time() < end:
        found = find()
        if found is not None:
            return found
        time.sleep(0.2)
    sys.exit("nicht gefunden: " + what)


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "Mavrel/32":
            return app
    return None


def named(root, role, name):
    def match(node):
        return node is not None and node.getRoleName() == role and node.name == name
    return pyatspi.findDescendant(root, match, True)


def press(node):
    # A press that opens a modal window is answered only when that window closes: the call
    # gives up waiting for the answer, and the press has happened all the same.
    action = node.queryAction()
    index = 0
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click", "Toggle", "toggle", "Switch"):
            index = i
            break
    try:
        action.doAction(index)
    except GLib.GError:
        pass


app = wait_for("das Programm", application)
main = wait_for("das Hauptfenster", lambda: named(app, "frame", "Mavrel/32 V3.20"))
press(wait_for("Einstell.", lambda: named(main, "push button", "Einstell.")))
dialog = wait_for("die Einstellungen", lambda: named(app, "dialog", "Einstellungen"))
tabs = wait_for("die Seiten", lambda: pyatspi.findDescendant(
    dialog, lambda n: n is not None and n.getRoleName() == "page tab list", True))
names = [tabs.getChildAtIndex(i).name for i in range(tabs.childCount)]
if "AutoSave" not in names:
    sys.exit("keine Seite AutoSave unter " + ", ".join(names))
press(tabs.getChildAtIndex(names.index("AutoSave")))
box = wait_for("AutoSave aktivieren", lambda: named(dialog, "check box", "AutoSave aktivieren"))
before = box.getState().contains(pyatspi.STATE_CHECKED)
press(box)
wait_for("der umgeschaltete Haken",
         lambda: box if box.getState().contains(pyatspi.STATE_CHECKED) != before else None)
press(wait_for("Abbrechen", lambda: named(dialog, "push button", "Abbrechen")))
wait_for("das Schließen der Einstellungen",
         lambda: True if named(app, "dialog", "Einstellungen") is None else None)

press(wait_for("Beenden", lambda: named(main, "push button", "Beenden")))
question = wait_for("die Frage", lambda: named(app, "dialog", "Bestätigen") or
                    named(app, "alert", "Bestätigen"))
press(wait_for("Ja", lambda: named(question, "push button", "Ja")))
print("über die Namen bedient: Einstell., AutoSave, AutoSave aktivieren, Abbrechen, Beenden, Ja")
