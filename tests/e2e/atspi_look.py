"""How a drive looks at the running program through AT-SPI, shared by the
screen-reader drives (read_aloud.py, field_aloud.py).

An accessible object dies with its window, and windows and menus open and
close while a drive looks: every lookup here treats an object that is gone
as not there, and wait_for looks again until its deadline."""

import time

from gi.repository import GLib
import pyatspi


class Gone(Exception):
    """An object asked about no longer exists (its window closed)."""


def ask(question, *arguments):
    """Asks an accessible object something; raises Gone if it has vanished."""
    try:
        return question(*arguments)
    except GLib.GError as error:
        raise Gone(str(error)) from error


def answer(question, default=None):
    """The answer to question(), or default when the object has gone."""
    try:
        return ask(question)
    except Gone:
        return default


def children(node):
    """The node's children that still exist, as it lists them now."""
    for i in range(ask(lambda: node.childCount)):
        child = ask(node.getChildAtIndex, i)
        if child is not None:
            yield child


def find(node, predicate):
    """The first node of the tree under node (itself included) for which
    predicate holds; None when there is none."""
    if ask(predicate, node):
        return node
    for child in children(node):
        found = find(child, predicate)
        if found is not None:
            return found
    return None


def named(role, name):
    return lambda n: n.getRole() == role and n.name == name


def program(name="quimbel"):
    for app in children(pyatspi.Registry.getDesktop(0)):
        if ask(lambda: app.name) == name:
            return app
    return None


def showing_window(app, *roles):
    """The application's first showing window of one of the roles."""
    for window in children(app):
        if ask(window.getRole) in roles and \
                ask(window.getState).contains(pyatspi.STATE_SHOWING):
            return window
    return None


class Drive:
    """What a drive heard, its deadline for each step, and how it waits."""

    def __init__(self, deadline_s, idle=lambda seconds: time.sleep(seconds)):
        self.deadline_s = deadline_s
        self.heard = []
        self.idle = idle

    def fail(self, message):
        print("FAIL: " + message)
        print("heard: " + " | ".join(self.heard))
        raise SystemExit(1)

    def hear(self, line):
        self.heard.append(line)
        print(line)

    def wait_for(self, what, look):
        """look()'s first answer that is not None; an object that vanished
        while it looked counts as not found yet."""
        deadline = time.monotonic() + self.deadline_s
        last = ""
        while time.monotonic() < deadline:
            try:
                found = look()
            except Gone as gone:
                found, last = None, " (last: an object vanished: %s)" % gone
            if found is not None:
                return found
            self.idle(0.05)
        self.fail("no %s within %g s%s" % (what, self.deadline_s, last))
