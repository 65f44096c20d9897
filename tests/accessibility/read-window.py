"""Reads parvelle's window through AT-SPI as a screen reader does: finds Refresh, Remove,
the Undo page tab and the Close title-bar button by role and name, removes the first cache
entry (a row selected through the table, then Remove pressed), selects the Undo page
through its tab's action, unchecks its entries with the check box, maximises the window
(the Maximize button becomes Restore) and closes it through Close.
Exits 0 when every check passed."""
import sys
import time

import pyatspi
from gi.repository import Atspi, GLib

failures = []
events = []


def check(name, condition):
    print(("PASS " if condition else "FAIL ") + name)
    if not condition:
        failures.append(name)


def pump(seconds, until=lambda: False):
    """Delivers the bus's events for up to SECONDS, or until UNTIL() holds."""
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while not until() and time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.05)
    return until()


def fresh(node):
    node.clear_cache()
    return node


def find(root, role, name):
    return pyatspi.findDescendant(root, lambda node: node is not None and node.getRole() == role
                                  and node.name == name)


def the_window():
    for app in pyatspi.Registry.getDesktop(0):
        for window in app or []:
            if window is not None and window.name.endswith("- Parvelle"):
                return window
    return None


def has_state(node, state):
    return fresh(node).getState().contains(state)


def actions(node):
    action = node.queryAction()
    return [action.getName(i) for i in range(action.nActions)]


def press(node, name):
    action = node.queryAction()
    action.doAction(actions(node).index(name))


def event_from(kind, source_name, detail):
    return lambda: any(e.type == kind and e.source is not None and e.source.name == source_name
                       and e.detail1 == detail for e in events)


def main():
    window = None
    def ready():
        # Refresh shown and the table filled: the cache may be read after the window shows.
        if window is None or find(window, pyatspi.ROLE_PUSH_BUTTON, "Refresh") is None:
            return False
        table = pyatspi.findDescendant(window, lambda node: node is not None and "Table" in pyatspi.listInterfaces(node))
        return table is not None and fresh(table).queryTable().nRows > 0
    deadline = time.monotonic() + 30
    while not ready() and time.monotonic() < deadline:
        window = the_window()
        pump(0.3)
    if not ready():
        print("FAIL the window's Refresh button and filled table never appeared on the accessibility bus")
        return 1
    # Listened for once the window is on the bus: the program learns of listeners when they
    # register, and one registered while its bridge was starting could go unheard.
    listener = Atspi.EventListener.new(events.append)
    for kind in ("object:state-changed:selected", "object:state-changed:checked",
                 "object:property-change:accessible-name"):
        listener.register(kind)
    pump(0.5)

    refresh = find(window, pyatspi.ROLE_PUSH_BUTTON, "Refresh")
    check("Refresh is a focusable, enabled push button that can be pressed",
          has_state(refresh, pyatspi.STATE_FOCUSABLE) and has_state(refresh, pyatspi.STATE_ENABLED)
          and actions(refresh)[0] == "Press")
    remove = find(window, pyatspi.ROLE_PUSH_BUTTON, "Remove Item from ARPCache")
    check("Remove is a push button", remove is not None)

    tabs = pyatspi.findDescendant(window, lambda node: node is not None
                                  and node.getRole() == pyatspi.ROLE_PAGE_TAB_LIST)
    names = [tab.name for tab in tabs] if tabs else []
    check("the page tab list names the five pages", names == [
        "About Parvelle", "ARPCache List", "Other Programs", "Help", "Undo"])
    undo = find(window, pyatspi.ROLE_PAGE_TAB, "Undo")
    listing = find(window, pyatspi.ROLE_PAGE_TAB, "ARPCache List")
    check("the ARPCache List tab is selected, the Undo tab is not",
          undo is not None and listing is not None and has_state(listing, pyatspi.STATE_SELECTED)
          and not has_state(undo, pyatspi.STATE_SELECTED))
    check("the ARPCache List tab holds the page with Refresh",
          listing is not None and find(listing, pyatspi.ROLE_PUSH_BUTTON, "Refresh") is not None)

    close = find(window, pyatspi.ROLE_PUSH_BUTTON, "Close")
    titles = [button.name for button in close.parent
              if button is not None and button.getRole() == pyatspi.ROLE_PUSH_BUTTON] if close else []
    check("the title bar holds System menu, Minimize, Maximize and Close",
          titles == ["System menu", "Minimize", "Maximize", "Close"])

    # A row chosen through the table's selection, then Remove pressed: the Undo page gets
    # the removed entry to restore.
    table = pyatspi.findDescendant(window, lambda node: node is not None and "Table" in pyatspi.listInterfaces(node))
    before = table.queryTable().nRows if table else 0
    if table is not None and remove is not None:
        table.queryTable().addRowSelection(0)
        press(remove, "Press")
    check("Remove takes the row selected through the table",
          pump(15, lambda: fresh(table).queryTable().nRows == before - 1))

    if undo is not None:
        press(undo, "Press")
        check("pressing the Undo tab selects it (and says so)",
              pump(15, event_from("object:state-changed:selected", "Undo", 1))
              and has_state(undo, pyatspi.STATE_SELECTED) and not has_state(listing, pyatspi.STATE_SELECTED))
        check("the Undo page shows", has_state(undo[0], pyatspi.STATE_SHOWING))

    box = find(window, pyatspi.ROLE_CHECK_BOX, "Check / Uncheck All")
    if box is not None:
        was = has_state(box, pyatspi.STATE_CHECKED)
        press(box, "Toggle")
        check("toggling the check box changes its checked state (and says so)",
              pump(15, event_from("object:state-changed:checked", "Check / Uncheck All", int(not was)))
              and has_state(box, pyatspi.STATE_CHECKED) != was)
    else:
        check("the Undo page has its check box", False)

    maximize = find(window, pyatspi.ROLE_PUSH_BUTTON, "Maximize")
    if maximize is not None:
        press(maximize, "Press")
        check("the maximised window's Maximize button is renamed Restore (and says so)",
              pump(15, lambda: any(e.type.startswith("object:property-change:accessible-name")
                                   and e.source is not None and e.source.name == "Restore" for e in events)))

    if close is not None:
        press(close, "Press")
    return 1 if failures else 0


sys.exit(main())
