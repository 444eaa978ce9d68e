#!/usr/bin/python3
"""Reads Sorvel's window as a screen reader does, over a running AT-SPI registry.

  accessibility-walk.py tree              every node: role, name, description, value, actions
  accessibility-walk.py press ROLE NAME   presses the first node of that role and name
  accessibility-walk.py check             the rules the window keeps, one line per fault
"""
import sys
import time

import pyatspi

APP = "sorvel"
INTERACTIVE = {"push button", "toggle button", "check box", "page tab", "radio button",
               "combo box", "menu item", "list item", "table row", "link", "slider"}


def application(deadline=20.0):
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name and APP in app.name.lower() and app.childCount > 0:
                return app
        time.sleep(0.2)
    sys.exit("no %s application on the accessibility bus" % APP)


def value_of(node):
    try:
        return str(node.queryValue().currentValue)
    except NotImplementedError:
        pass
    try:
        text = node.queryText()
        return text.getText(0, text.characterCount)
    except NotImplementedError:
        return ""


def actions_of(node):
    try:
        action = node.queryAction()
        return [action.getName(i) for i in range(action.nActions)]
    except NotImplementedError:
        return []


def showing(node):
    states = node.getState()
    return states.contains(pyatspi.STATE_SHOWING) and states.contains(pyatspi.STATE_VISIBLE)


def walk(node, depth=0, path=()):
    """Yields (depth, node, index path); stops at 2000 children of one node (a long list)."""
    yield depth, node, path
    for i in range(min(node.childCount, 2000)):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1, path + (i,))


def line(node):
    parts = ["[%s]" % node.getRoleName(), repr(node.name)]
    if node.description:
        parts.append("desc=%r" % node.description)
    value = value_of(node)
    if value and value != node.name:
        parts.append("value=%r" % value)
    acts = actions_of(node)
    if acts:
        parts.append("actions=%s" % ",".join(acts))
    states = node.getState()
    if states.contains(pyatspi.STATE_CHECKED):
        parts.append("(checked)")
    elif states.contains(pyatspi.STATE_CHECKABLE) or node.getRoleName() == "check box":
        parts.append("(not checked)")
    if states.contains(pyatspi.STATE_SELECTED):
        parts.append("(selected)")
    if not showing(node):
        parts.append("(hidden)")
    return " ".join(parts)


def tree(app):
    for depth, node, _ in walk(app):
        print("  " * depth + line(node))


def find(app, role, name):
    for _, node, _ in walk(app):
        if node.getRoleName() == role and node.name == name and showing(node):
            return node
    return None


def press(app, role, name):
    node = find(app, role, name)
    if node is None:
        sys.exit("no showing %s named %r" % (role, name))
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if not names:
        sys.exit("%s %r has no action" % (role, name))
    action.doAction(0)
    print("pressed %s %r (%s)" % (role, name, names[0]))


def check(app):
    """Faults a screen reader would meet: unnamed showing things, controls that cannot act,
    children whose parent or index does not lead back to them."""
    faults = []
    for _, node, path in walk(app):
        if not showing(node):
            continue
        role = node.getRoleName()
        where = "/".join(map(str, path))
        if role == "filler" and not node.name and node.childCount == 0:
            faults.append("%s: unnamed empty filler" % where)
        if role in INTERACTIVE and not node.name:
            faults.append("%s: unnamed %s" % (where, role))
        if role in INTERACTIVE and not actions_of(node):
            faults.append("%s: %s %r has no action" % (where, role, node.name))
        for i in range(min(node.childCount, 2000)):
            child = node.getChildAtIndex(i)
            if child is None:
                faults.append("%s: child %d is missing" % (where, i))
            elif child.getIndexInParent() != i:
                faults.append("%s: child %d says it is child %d" % (where, i, child.getIndexInParent()))
    for fault in faults:
        print(fault)
    print("%d faults" % len(faults))
    return 1 if faults else 0


def main(argv):
    app = application()
    if len(argv) < 2 or argv[1] == "tree":
        tree(app)
        return 0
    if argv[1] == "press" and len(argv) == 4:
        press(app, argv[2], argv[3])
        return 0
    if argv[1] == "check":
        return check(app)
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
