"""What a screen reader finds in the running program, through AT-SPI: the
welcome dialog's text, then, after pressing 英寸换算厘米 on an empty field
as a screen-reader user would (the button's own action), the prompt that
opens, an alert carrying its message. Prints what it read; exits 1 with the
reason when something is missing.

Run with the program started on an accessibility bus; argument: seconds to
wait for each step."""

import sys
import time

import pyatspi

deadline_s = float(sys.argv[1]) if len(sys.argv) > 1 else 20.0
heard = []


def fail(message):
    print("FAIL: " + message)
    print("heard: " + " | ".join(heard))
    sys.exit(1)


def wait_for(what, find):
    deadline = time.monotonic() + deadline_s
    while time.monotonic() < deadline:
        found = find()
        if found is not None:
            return found
        time.sleep(0.1)
    fail("no " + what + " within %g s" % deadline_s)


def program():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "quimbel":
            return app
    return None


def showing_window(app, role):
    for i in range(app.childCount):
        window = app.getChildAtIndex(i)
        if window is not None and window.getRole() == role and \
                window.getState().contains(pyatspi.STATE_SHOWING):
            return window
    return None


def find(node, predicate):
    if predicate(node):
        return node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            found = find(child, predicate)
            if found is not None:
                return found
    return None


def say(window):
    """What a reader says of a window as it opens (role, name, description),
    then of each control in it as the user moves there."""
    line = "%s %s: %s" % (window.getRoleName(), window.name, window.description)
    heard.append(line)
    print(line.replace("\n", " / "))

    def each(node):
        for i in range(node.childCount):
            child = node.getChildAtIndex(i)
            if child is None or not child.getState().contains(pyatspi.STATE_SHOWING):
                continue
            text = "  %s %s" % (child.getRoleName(), child.name)
            if child.description:
                text += " (" + child.description + ")"
            print(text)
            each(child)

    each(window)


app = wait_for("program on the accessibility bus", program)

welcome = wait_for("welcome dialog", lambda: showing_window(app, pyatspi.ROLE_DIALOG))
say(welcome)
if "欢迎使用" not in welcome.description:
    fail("the welcome dialog does not carry its greeting")
ok = find(welcome, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == "确定")
if ok is None:
    fail("no 确定 button in the welcome dialog")
ok.queryAction().doAction(0)

main = wait_for("main window", lambda: showing_window(app, pyatspi.ROLE_WINDOW)
                or showing_window(app, pyatspi.ROLE_FRAME))
say(main)
field = find(main, lambda n: n.getRole() == pyatspi.ROLE_TEXT and n.name == "英寸（in）（吋）：")
if field is None:
    fail("no field named 英寸（in）（吋）：")
labels = [target.name for relation in field.getRelationSet()
          if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
          for target in (relation.getTarget(i) for i in range(relation.getNTargets()))]
heard.append("field %s (%s), labelled by %s" % (field.name, field.description, labels))
print(heard[-1])
convert = find(main, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name == "英寸换算厘米")
if convert is None:
    fail("no 英寸换算厘米 button")
convert.queryAction().doAction(0)

prompt = wait_for("prompt", lambda: showing_window(app, pyatspi.ROLE_ALERT))
say(prompt)
message = "你还未输入英寸的数据，请输入！"
if prompt.description != message:
    fail("the prompt does not carry its message as its description")
if find(prompt, lambda n: n.getRole() == pyatspi.ROLE_LABEL and n.name == message) is None:
    fail("the prompt's message is not among its labels")
print("PASS: the prompt says " + message)
