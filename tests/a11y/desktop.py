# The program's windows as a person meets them: found by their titles and their controls by
# role and name over the accessibility bus, pressed with the mouse, typed into with the
# keyboard (xdotool into the focused window), read back through the bus. Every wait has a
# deadline and polls; nothing waits for a fixed time.
import re
import subprocess

import pyatspi
from gi.repository import Atspi, GLib

from session import DEADLINE, wait_until

Atspi.set_timeout(5000, 30000)

WINDOW_ROLES = ("frame", "dialog", "window", "alert", "file chooser", "filler")
# Subtrees that are large and hold no controls a scenario looks for by name.
OPAQUE_ROLES = ("table", "tree table", "tree", "list", "menu bar", "menu")


def bare(text):
    """A caption as the bus names it: without accelerator marks."""
    return text.replace("&&", "\0").replace("&", "").replace("\0", "&")


def state(node, which):
    try:
        return node.getState().contains(which)
    except GLib.GError:
        return False


def showing(node):
    return state(node, pyatspi.STATE_SHOWING)


def role(node):
    try:
        return node.getRoleName()
    except GLib.GError:
        return ""


def name(node):
    try:
        return node.name or ""
    except GLib.GError:
        return ""


def children(node):
    try:
        return [node.getChildAtIndex(i) for i in range(node.childCount)]
    except GLib.GError:
        return []


def walk(node, into_opaque=False, only_showing=True):
    """Every descendant of node, breadth first; tables, lists and menus are not entered."""
    queue = children(node)
    while queue:
        n = queue.pop(0)
        if n is None or (only_showing and not showing(n)):
            continue
        yield n
        if into_opaque or role(n) not in OPAQUE_ROLES:
            queue.extend(children(n))


def text_of(node):
    """What a person reads in a control: a box's text, else its name."""
    try:
        t = node.queryText()
        return t.getText(0, t.characterCount)
    except (NotImplementedError, GLib.GError, AttributeError):
        pass
    if role(node) == "combo box":
        for c in walk(node, into_opaque=True, only_showing=False):
            if role(c) == "text":
                return text_of(c)
    return name(node)


def extents(node):
    return node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)


class X:
    """Keys and mouse through xdotool on the session's screen."""

    def __init__(self, session):
        self.session = session

    def run(self, *args, check=True):
        r = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.session.environment(),
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=DEADLINE)
        if check and r.returncode != 0:
            raise RuntimeError("xdotool %s: %s" % (" ".join(map(str, args)),
                                                  r.stderr.decode(errors="replace")))
        return r.stdout.decode(errors="replace")

    def window_ids(self, title):
        out = self.run("search", "--onlyvisible", "--name", "^%s$" % re.escape(title),
                       check=False)
        return [w for w in out.split()]

    def bring(self, title):
        """Puts the window in front and gives it the keyboard, as a click on it would."""
        ids = self.window_ids(title)
        if not ids:
            return False
        wid = ids[-1]
        if self.session.window_manager:
            self.run("windowactivate", "--sync", wid, check=False)
        else:
            self.run("windowraise", wid, check=False)
            self.run("windowfocus", "--sync", wid, check=False)
        return True

    def key(self, *keys):
        self.run("key", "--clearmodifiers", *keys)

    def type(self, text):
        self.run("type", "--clearmodifiers", "--delay", "40", "--", text)

    def click(self, x, y, repeat=1, button=1):
        self.run("mousemove", "--sync", x, y)
        self.run("click", "--repeat", repeat, "--delay", "120", button)


class Window:
    def __init__(self, desktop, node, title):
        self.desktop, self.node, self.title = desktop, node, title

    def find(self, wanted_role, wanted_name, deadline=DEADLINE, into_opaque=False):
        wanted = bare(wanted_name) if wanted_name is not None else None

        def look():
            for n in walk(self.node, into_opaque=into_opaque):
                if role(n) == wanted_role and (wanted is None or name(n) == wanted):
                    return n
            return None
        return wait_until("%s '%s' in '%s'" % (wanted_role, wanted_name, self.title), look,
                          deadline)

    def all(self, wanted_role, into_opaque=False):
        return [n for n in walk(self.node, into_opaque) if role(n) == wanted_role]

    def button(self, caption, deadline=DEADLINE):
        return self.find("push button", caption, deadline)

    def buttons(self):
        return [n for n in walk(self.node) if role(n) == "push button"]

    def texts(self):
        return [name(n) for n in walk(self.node) if role(n) == "label"]

    def bring(self):
        self.desktop.x.bring(self.title)

    def key(self, *keys):
        self.bring()
        self.desktop.x.key(*keys)

    def press(self, caption):
        self.desktop.click(self.button(caption))

    def showing(self):
        return self.desktop.window_named(self.title) is not None


class Desktop:
    def __init__(self, session):
        self.session = session
        self.x = X(session)
        self._app = None

    def application(self):
        if self._app is not None:
            return self._app
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and name(app) == "Mavrel/32":
                self._app = app
                return app
        return None

    def windows(self):
        """The program's top-level windows on the screen: (title, role, node)."""
        app = self.application()
        return [(name(w), role(w), w) for w in children(app) if w is not None and showing(w)]

    def window_named(self, title, pattern=False):
        for t, r, node in self.windows():
            if (re.fullmatch(title, t) if pattern else t == title):
                return node
        return None

    def window(self, title, deadline=DEADLINE, pattern=False):
        node = wait_until("Fenster '%s'" % title,
                          lambda: self.window_named(title, pattern), deadline)
        return Window(self, node, name(node))

    def wait_closed(self, window, deadline=DEADLINE):
        """Waits until this very window is off the screen (another of its title may follow)."""
        wait_until("Fenster '%s' geschlossen" % window.title,
                   lambda: not showing(window.node), deadline)

    def wait_gone(self, title, deadline=DEADLINE):
        wait_until("Fenster '%s' geschlossen" % title,
                   lambda: self.window_named(title) is None, deadline)

    def message(self, titles=("Fehler", "Warnung", "Bestätigen", "Information", "Frage",
                              "Hinweis", "Mavrel/32"), deadline=DEADLINE):
        """The next message box: an alert or dialog with one of the message titles."""
        def look():
            for t, r, node in self.windows():
                if t in titles and r in ("alert", "dialog"):
                    return Window(self, node, t)
            return None
        return wait_until("eine Meldung (%s)" % ", ".join(titles), look, deadline)

    def no_message(self, titles=("Fehler", "Warnung", "Bestätigen", "Information", "Frage",
                                 "Hinweis", "Mavrel/32")):
        for t, r, node in self.windows():
            if t in titles and r in ("alert", "dialog"):
                return Window(self, node, t)
        return None

    def menu_item(self, caption, deadline=DEADLINE):
        """An entry of an open menu (a context menu is a window of its own)."""
        wanted = bare(caption)

        def look():
            for t, r, node in self.windows():
                for n in walk(node, into_opaque=True):
                    if role(n) == "menu item" and name(n).split("\t")[0] == wanted:
                        return n
            return None
        return wait_until("Menüeintrag '%s'" % caption, look, deadline)

    # --- Input as a person gives it ------------------------------------------------------

    def top_window_title(self, node):
        app = self.application()
        n = node
        while True:
            parent = n.parent
            if parent is None or parent == app:
                return name(n)
            n = parent

    def click(self, node, repeat=1, button=1, at=None):
        """A mouse click on the middle of a control, its window brought to the front first."""
        wait_until("'%s' ist auf dem Bildschirm" % name(node), lambda: showing(node))
        self.x.bring(self.top_window_title(node))
        e = extents(node)
        x, y = at if at else (e.x + e.width // 2, e.y + e.height // 2)
        if not (0 <= x < 1280 and 0 <= y < 1024):
            # Off the screen no person reaches it (a window placed outside is a finding of
            # its own); the control's own action goes on with the scenario.
            print("        '%s' liegt außerhalb des Bildschirms (%d,%d): über den Bus gedrückt"
                  % (name(node), x, y))
            self.act(node)
            return
        self.x.click(x, y, repeat=repeat, button=button)

    def act(self, node, names=("Press", "press", "click", "Toggle", "toggle", "Switch")):
        """The control's own action over the bus (a screen reader's press)."""
        action = node.queryAction()
        index = 0
        for i in range(action.nActions):
            if action.getName(i) in names:
                index = i
                break
        try:
            action.doAction(index)
        except GLib.GError:
            pass  # a press that opens a modal window is answered when that window closes

    def focus(self, node, deadline=DEADLINE):
        self.x.bring(self.top_window_title(node))
        try:
            node.queryComponent().grabFocus()
        except GLib.GError:
            pass
        wait_until("Fokus auf '%s'" % name(node),
                   lambda: state(node, pyatspi.STATE_FOCUSED) or self._focus_inside(node),
                   deadline)

    def _focus_inside(self, node):
        return any(state(c, pyatspi.STATE_FOCUSED)
                   for c in walk(node, into_opaque=True, only_showing=False))

    def type_into(self, node, text, replace=True, deadline=DEADLINE):
        """Clicks into a box and types as a person does (the old text selected and replaced)."""
        self.click(node)
        self.focus(node, deadline)
        if replace:
            self.x.key("ctrl+a")
        self.x.type(text)

    def set_text(self, node, text):
        """Text through the accessibility interface, as dictation and automation tools put it."""
        try:
            node.queryEditableText().setTextContents(text)
        except NotImplementedError:
            for c in walk(node, into_opaque=True, only_showing=False):
                if role(c) == "text":
                    c.queryEditableText().setTextContents(text)
                    return
            raise

    def wait_text(self, node, wanted, deadline=DEADLINE):
        def same():
            return text_of(node) == wanted
        try:
            wait_until("Text '%s'" % wanted, same, deadline)
            return True
        except TimeoutError:
            return False


def table_rows(table):
    """The texts of a grid's cells, row by row."""
    t = table.queryTable()
    return [[name(t.getAccessibleAt(r, c)) for c in range(t.nColumns)] for r in range(t.nRows)]


def selected_rows(table):
    try:
        return list(table.queryTable().getSelectedRows())
    except (NotImplementedError, GLib.GError):
        return []


def cell(table, row, column=0):
    return table.queryTable().getAccessibleAt(row, column)
