"""What a screen reader hears while the user edits the main window's first
field on Linux, through AT-SPI events as Orca gets them: the text each
BackSpace or Delete removes (not blanks), and, in the field's context menu,
a focus event naming each item the Down key reaches, in Chinese. Keys and
clicks come from xdotool, as a user's would. Prints what it heard; exits 1
with the reason when something is missing.

Run with the program started on an accessibility bus and DISPLAY set;
argument: seconds to wait for each step.

An object can vanish between an event and a question about it (a window or
menu closing): that reads as "not there", and the drive looks again."""

import subprocess
import sys
import time

from gi.repository import GLib
import pyatspi

from atspi_look import Drive, answer, children, find, program, showing_window

events = []
context = GLib.MainContext.default()


def pump(seconds):
    """Lets AT-SPI's events in for a while."""
    end = time.monotonic() + seconds
    while True:
        while context.pending():
            context.iteration(False)
        if time.monotonic() >= end:
            return
        time.sleep(0.01)


drive = Drive(float(sys.argv[1]) if len(sys.argv) > 1 else 20.0, idle=pump)
fail = drive.fail
hear = drive.hear
wait_for = drive.wait_for


def on_event(event):
    source = event.source
    role = answer(lambda: source.getRole()) if source is not None else None
    name = answer(lambda: source.name) if source is not None else None
    events.append((event.type, role, name, event.detail1, event.any_data))


for kind in ("object:state-changed:focused", "focus:", "object:text-changed:delete",
             "object:state-changed:showing"):
    pyatspi.Registry.registerEventListener(on_event, kind)


def next_event(what, test):
    """Waits for an event for which test holds; the events before it are
    dropped."""
    deadline = time.monotonic() + drive.deadline_s
    while time.monotonic() < deadline:
        while events:
            event = events.pop(0)
            if test(event):
                return event
        pump(0.05)
    fail("no " + what + " within %g s" % drive.deadline_s)


def xdotool(*words):
    if subprocess.run(["xdotool"] + list(words), timeout=10).returncode != 0:
        fail("xdotool %s failed" % " ".join(words))


app = wait_for("program on the accessibility bus", program)
welcome = wait_for("welcome dialog", lambda: showing_window(app, pyatspi.ROLE_DIALOG))
ok = wait_for("确定 button", lambda: find(
    welcome, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == "确定"))
ok.queryAction().doAction(0)
main = wait_for("main window", lambda: showing_window(
    app, pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW))
inches = "英寸（in）（吋）："
field = wait_for("field " + inches, lambda: find(
    main, lambda n: n.getRole() == pyatspi.ROLE_TEXT and n.name == inches))


def placed():
    """The field's centre on the screen, once it shows and has a size."""
    if not answer(lambda: field.getState().contains(pyatspi.STATE_SHOWING), False):
        return None
    box = answer(lambda: field.queryComponent().getExtents(pyatspi.DESKTOP_COORDS))
    if box is None or box.width <= 0 or box.height <= 0:
        return None
    return (str(box.x + box.width // 2), str(box.y + box.height // 2))


def focused():
    return answer(lambda: field.getState().contains(pyatspi.STATE_FOCUSED), False) or None


centre = wait_for("field " + inches + " placed on the screen", placed)
# The window may take its first click only to come to the front: the field
# is clicked until it says it has the focus.
deadline = time.monotonic() + drive.deadline_s
while not focused():
    if time.monotonic() > deadline:
        fail("clicks on the field gave it no focus within %g s" % drive.deadline_s)
    xdotool("mousemove", *centre, "click", "1")
    end = time.monotonic() + 2
    while time.monotonic() < end and not focused():
        pump(0.05)

# --- what BackSpace and Delete remove ------------------------------------------

xdotool("type", "--delay", "30", "12 45")
pump(0.3)
# keys, the text they remove (the field then holds "12 45", "12 4", "1 4",
# "" in turn)
for keys, removed in ((["BackSpace"], "5"),
                      (["Left", "Left", "BackSpace"], "2"),
                      (["End", "ctrl+a", "Delete"], "1 4")):
    events.clear()
    xdotool("key", *keys)
    event = next_event("text removed by " + " ".join(keys),
                       lambda e: e[0] == "object:text-changed:delete")
    hear("%s: removed %r at %d" % (" ".join(keys), event[4], event[3]))
    if event[4] != removed:
        fail("%s removed %r but the event says %r" % (" ".join(keys), removed, event[4]))

# --- the context menu --------------------------------------------------------------

# Undo has something to take back, and a selection gives Cut, Copy and Delete;
# the clipboard of this X server is empty, so Paste and Redo are off.
xdotool("type", "17")
xdotool("key", "ctrl+a")
pump(0.3)
events.clear()
xdotool("mousemove", *centre, "click", "3")
menu_event = next_event("context menu shown",
                        lambda e: e[0] == "object:state-changed:showing" and e[3] == 1 and
                        e[1] == pyatspi.ROLE_POPUP_MENU)
listed = [answer(c.getRoleName) for c in answer(lambda: list(children(app)), [])]
hear("context menu shown; the application lists %s" % listed)
items = []
for _ in range(5):
    xdotool("key", "Down")
    event = next_event("focus on a menu item",
                       lambda e: e[0] == "focus:" and e[1] == pyatspi.ROLE_MENU_ITEM)
    # The name carries the shortcut after a tab, as the menu shows it.
    items.append(event[2].split("\t")[0])
hear("Down in the menu: " + ", ".join(items))
expected = ["撤消(U)", "剪切(T)", "复制(C)", "删除", "全选"]
if items != expected:
    fail("Down in the menu should reach %s" % ", ".join(expected))
xdotool("key", "Escape")
next_event("focus back on the field after Escape",
           lambda e: e[0] == "focus:" and e[1] == pyatspi.ROLE_TEXT and e[2] == inches)
print("PASS: a reader hears the removed text and each menu item in Chinese")
