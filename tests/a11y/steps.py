# Steps that several scenarios take the way a person takes them: the main window, a catalog
# made or opened through the file dialogs, a message box answered, the program ended through
# its exit question. Catalogs with prepared records are made with the table tool beforehand,
# as a catalog from an earlier run would lie on the disk.
import os
import re

import pyatspi

from desktop import Window, bare, extents, name, role, state, text_of, walk
from session import wait_until

MAIN_TITLE = r"Mavrel/32 V\.?3\.20.*"
CATALOG_FIELDS = [
    "Name:text:255", "DatentraegerNr:int16", "Datentraeger_Anzahl:int16", "von:int16",
    "Datentraeger:text:255", "Laufwerk:text:1", "Label:text:11", "Serien_Nr:text:8",
    "Gesamte_Groesse:text:255", "Freier_Speicher:text:255", "Status:text:255",
    "Datum_Uhrzeit:text:255", "Kategorie:text:255", "Memo:memo", "Grafik:blob"]
FIELD_NAMES = [f.split(":")[0] for f in CATALOG_FIELDS]


class Run:
    """What a scenario works with: the session, the screen, the table tool and its checks."""

    def __init__(self, session, desktop, tables, checks):
        self.session, self.desktop, self.tables, self.checks = session, desktop, tables, checks

    def main(self):
        node = wait_until("das Hauptfenster", lambda: main_window_node(self.desktop))
        return Window(self.desktop, node, name(node))


def main_window_node(desktop):
    if desktop.application() is None:
        return None
    for t, r, node in desktop.windows():
        if r == "frame" and re.fullmatch(MAIN_TITLE, t):
            return node
    return None


def make_catalog(run, path, records):
    """A catalog file with records (dicts by field name), made with the table tool."""
    tables = run.tables
    tables._run("create", path, *CATALOG_FIELDS)
    tables._run("index", "add", path, "", "Name")
    lines = []
    for r in records:
        lines.append("\t".join(str(r.get(f, "")) for f in FIELD_NAMES))
    source = path + ".zeilen"
    with open(source, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    tables._run("import", path, source)
    os.remove(source)


def catalog_title(path):
    return "Mavrel/32 V.3.20  [%s]" % os.path.basename(path)


def file_dialog(run, title, path):
    """Answers Qt's file dialog by typing the path into its file name box and pressing Enter."""
    d = run.desktop
    dialog = d.window(title)
    box = file_name_box(dialog)
    d.type_into(box, path)
    wait_until("der Pfad steht im Dateinamen", lambda: text_of(box) == path)
    d.x.key("Return")
    return dialog


def file_name_box(dialog):
    """The file dialog's name box: the editable text whose label speaks of the file name."""
    def look():
        for n in walk(dialog.node):
            if role(n) == "text" and re.search("name", name(n), re.I):
                return n
        return None
    return wait_until("das Dateinamenfeld von '%s'" % dialog.title, look)


def file_dialog_folder(dialog):
    """The folder a file dialog shows: the text of its folder box ("Suchen in:"), the first
    pick box of the dialog."""
    for n in walk(dialog.node):
        if role(n) == "combo box":
            return text_of(n)
    return None


def file_dialog_entries(dialog):
    """The names the dialog's file list offers."""
    names = []
    for n in walk(dialog.node, into_opaque=False):
        if role(n) in ("list", "table", "tree table", "tree"):
            for c in walk(n, into_opaque=True):
                if role(c) in ("list item", "table cell", "tree item") and name(c):
                    names.append(name(c))
    return names


def new_catalog(run, path):
    main = run.main()
    main.key("ctrl+n")
    file_dialog(run, "Datei neu anlegen", path)
    wait_until("der neue Katalog ist offen", lambda: run.desktop.window_named(
        catalog_title(path if path.lower().endswith(".db") else path + ".db")))


def open_catalog(run, path):
    main = run.main()
    main.key("F2")
    file_dialog(run, "Datei öffnen", path)
    wait_until("der Katalog ist offen",
               lambda: run.desktop.window_named(catalog_title(path)))


KEYS_OF_ANSWERS = {"OK": ("Return",), "Ja": ("alt+j",), "Nein": ("alt+n",),
                   "Abbrechen": ("Escape",)}


def press_answer(run, box, caption):
    """Presses a button of a message box: by its name, or, where the bus does not name the
    buttons (noted for the accessibility point), by its key as a person at the keyboard."""
    try:
        button = box.button(caption, deadline=5)
    except TimeoutError:
        button = None
    if button is not None:
        run.desktop.click(button)
    else:
        run.checks.that(15, "die Knöpfe der Meldung '%s' sind benannt" % " ".join(box.texts()),
                        False, "kein Knopf '%s' auf dem Bus: %s" % (
                            caption, [role(n) for n in walk(box.node)]))
        box.key(*KEYS_OF_ANSWERS[caption])
    run.desktop.wait_closed(box)


def answer(run, button, titles=None, containing=None):
    """Waits for a message box and presses one of its buttons; returns the box's texts."""
    box = run.desktop.message(titles) if titles else run.desktop.message()
    texts = box.texts()
    if containing and not any(containing in t for t in texts):
        raise AssertionError("Meldung ohne '%s': %s" % (containing, texts))
    press_answer(run, box, button)
    return texts


def record_label(run):
    """The record position in the main window's status bar: (number, count) or None."""
    for n in walk(run.main().node):
        m = re.fullmatch(r"(\d+) von (\d+)", name(n)) if role(n) == "label" else None
        if m:
            return int(m.group(1)), int(m.group(2))
    return None


def exit_program(run):
    main = run.main()
    # The button's own action: without a window manager the main window is small and the
    # toolbar may lie outside it.
    run.desktop.act(main.button("Beenden"))
    answer(run, "Ja", ("Bestätigen",))
    if run.session.running():
        # An unsaved catalog: the program asks to save before it ends.
        def ended_or_asked():
            if not run.session.running():
                return "ended"
            return "asked" if run.desktop.window_named("Daten sichern?") else None
        if wait_until("Ende oder Frage nach dem Sichern", ended_or_asked) == "asked":
            question = run.desktop.window("Daten sichern?")
            # Its own action: a click on a borderless window that the busy screen has not
            # placed yet can miss it.
            run.desktop.act(question.button("Ja"))
    code = run.session.wait_ended()
    run.checks.that(None, "das Programm endet über seine Frage", code == 0,
                    "Exit-Status %s" % code)


def combo_items(desktop, combo):
    """The entries of a pick box, as its list offers them."""
    out = []
    for c in walk(combo, into_opaque=True, only_showing=False):
        if role(c) in ("list item", "menu item") and name(c):
            out.append(name(c))
    return out


def labelled(window, wanted_role, label, point=15):
    """The control a label names. A person finds it by its label, and the bus should name it
    so; where the bus names it otherwise (by its value, or not at all), that is noted for the
    accessibility point and the control is taken from beside its label on the screen."""
    target = bare(label).rstrip(":").strip()

    def by_name():
        for n in window.all(wanted_role):
            if bare(name(n)).rstrip(":").strip() == target:
                return n
        return None
    try:
        return wait_until("%s '%s'" % (wanted_role, label), by_name, 10)
    except TimeoutError:
        pass
    label_node = window.find("label", label)
    le = extents(label_node)
    best, distance = None, None
    for n in window.all(wanted_role):
        e = extents(n)
        if e.x + e.width < le.x or e.y + e.height < le.y:
            continue
        dist = abs(e.x - (le.x + le.width)) + abs(e.y - le.y) * 2
        if distance is None or dist < distance:
            best, distance = n, dist
    if best is None:
        raise LookupError("kein %s bei der Beschriftung '%s'" % (wanted_role, label))
    window.desktop.checks.that(point, "'%s' ist nach seiner Beschriftung benannt" % label, False,
                               "der Bus nennt es %r" % name(best))
    return best


def edit_of(combo):
    """The typing field of an editable pick box."""
    for c in walk(combo, into_opaque=True, only_showing=False):
        if role(c) == "text":
            return c
    return combo


def page(window, caption):
    """Turns to a page of a window's tabs by clicking its tab."""
    window.desktop.click(window.find("page tab", caption))


def post(window):
    """Presses the navigator's "Speichern" and waits until the record is posted (the button
    goes grey in browse state)."""
    button = window.button("Speichern")
    window.desktop.click(button)
    wait_until("gespeichert", lambda: not state(button, pyatspi.STATE_SENSITIVE))


def panel_text(run, wanted):
    return any(role(n) == "label" and name(n) == wanted for n in walk(run.main().node))


def choose(window, combo, prefix):
    """Picks an entry of a pick box with the mouse: opens its list, clicks the entry."""
    d = window.desktop
    d.click(combo)

    def entry():
        for c in walk(combo, into_opaque=True):
            if role(c) == "list item" and name(c).startswith(prefix):
                return c
        return None
    item = wait_until("Eintrag '%s' in der Liste" % prefix, entry)
    e = extents(item)
    d.x.click(e.x + min(e.width // 2, 60), e.y + e.height // 2)
    wait_until("'%s' gewählt" % prefix, lambda: text_of(combo).startswith(prefix))


def enabled(node):
    return state(node, pyatspi.STATE_SENSITIVE)


def answer_through(run, wanted, button, optional):
    """Answers message boxes until the one containing wanted comes; boxes whose text holds a
    key of optional (questions the settings may or may not bring) get that key's button."""
    while True:
        box = run.desktop.message()
        texts = box.texts()
        joined = " ".join(texts)
        for key, reply in optional.items():
            if key in joined and wanted not in joined:
                press_answer(run, box, reply)
                break
        else:
            if wanted not in joined:
                raise AssertionError("Meldung ohne '%s': %s" % (wanted, texts))
            press_answer(run, box, button)
            return texts


def menu(run, *path):
    """Chooses an item of the main window's menus through the bus (as a screen reader does)."""
    main = run.main()
    node = main.node
    for caption in path:
        wanted = bare(caption)
        node = wait_until("Menü '%s'" % caption, lambda: next(
            (n for n in walk(node, into_opaque=True, only_showing=False)
             if role(n) in ("menu item", "menu") and name(n).split("\t")[0] == wanted), None))
    run.desktop.act(node)


def result_names(grid):
    from desktop import table_rows
    return sorted(r[0] for r in table_rows(grid))


def selected(node):
    return state(node, pyatspi.STATE_SELECTED)


def context_menu(run, node, caption, index):
    """Opens a control's context menu with the right mouse button and chooses an entry: by
    its name on the bus, or, where the menu is missing from the bus (noted for the
    accessibility point), by its place in the menu with the arrow keys."""
    d = run.desktop
    d.click(node, button=3)
    try:
        d.click(d.menu_item(caption, deadline=10))
        return
    except TimeoutError:
        run.checks.that(15, "das Kontextmenü mit '%s' steht im Baum der Zugänglichkeit"
                        % caption, False)
    d.x.key(*(["Down"] * (index + 1) + ["Return"]))
