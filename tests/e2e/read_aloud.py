"""What a screen reader finds in the running program, through AT-SPI: the
welcome dialog's text, then, after pressing 英寸换算厘米 on an empty field
as a screen-reader user would (the button's own action), the prompt that
opens, an alert carrying its message. Prints what it read; exits 1 with the
reason when something is missing.

An accessible object dies with its window, and windows open and close while
the drive looks: every lookup treats an object that is gone as not there and
looks again until its deadline.

Run with the program started on an accessibility bus; argument: seconds to
wait for each step."""

import sys

import pyatspi

from atspi_look import Drive, Gone, ask, children, find, named, program, showing_window

drive = Drive(float(sys.argv[1]) if len(sys.argv) > 1 else 20.0)
fail = drive.fail
wait_for = drive.wait_for


def reading(window):
    """What a reader says of a window as it opens (role, name, description),
    then of each control in it as the user moves there: one line each."""
    lines = ["%s %s: %s" % (ask(window.getRoleName), ask(lambda: window.name),
                            ask(lambda: window.description))]

    def each(node):
        for child in children(node):
            if not ask(child.getState).contains(pyatspi.STATE_SHOWING):
                continue
            text = "  %s %s" % (ask(child.getRoleName), ask(lambda: child.name))
            description = ask(lambda: child.description)
            if description:
                text += " (" + description + ")"
            lines.append(text)
            each(child)

    each(window)
    return lines


def shown(app, *roles):
    """The first showing window of one of the roles, with what a reader says
    of it, read whole while it lasts; None when there is none."""
    for role in roles:
        window = showing_window(app, role)
        if window is not None:
            return window, reading(window)
    return None


def say(lines):
    drive.heard.append(lines[0])
    for line in lines:
        print(line.replace("\n", " / "))


def press(button, what):
    try:
        ask(lambda: button.queryAction().doAction(0))
    except Gone:
        fail(what + " was gone before it could be pressed")


app = wait_for("program on the accessibility bus", program)

welcome, lines = wait_for("welcome dialog", lambda: shown(app, pyatspi.ROLE_DIALOG))
say(lines)
if "欢迎使用" not in lines[0].partition(": ")[2]:
    fail("the welcome dialog does not carry its greeting")
ok = wait_for("确定 button in the welcome dialog",
              lambda: find(welcome, named(pyatspi.ROLE_PUSH_BUTTON, "确定")))
press(ok, "the welcome dialog's 确定")

main, lines = wait_for("main window",
                       lambda: shown(app, pyatspi.ROLE_WINDOW, pyatspi.ROLE_FRAME))
say(lines)
inches = "英寸（in）（吋）："


def field_heard():
    field = find(main, named(pyatspi.ROLE_TEXT, inches))
    if field is None:
        return None
    labels = [ask(lambda: target.name)
              for relation in ask(field.getRelationSet)
              if ask(relation.getRelationType) == pyatspi.RELATION_LABELLED_BY
              for target in (ask(relation.getTarget, i)
                             for i in range(ask(relation.getNTargets)))]
    return "field %s (%s), labelled by %s" % (ask(lambda: field.name),
                                              ask(lambda: field.description), labels)


drive.heard.append(wait_for("field named " + inches, field_heard))
print(drive.heard[-1])
convert = wait_for("英寸换算厘米 button", lambda: find(main, named(pyatspi.ROLE_PUSH_BUTTON, "英寸换算厘米")))
press(convert, "英寸换算厘米")

message = "你还未输入英寸的数据，请输入！"
prompt, lines = wait_for("prompt", lambda: shown(app, pyatspi.ROLE_ALERT))
say(lines)
if ask(lambda: prompt.description) != message:
    fail("the prompt does not carry its message as its description")
wait_for("the prompt's message among its labels",
         lambda: find(prompt, named(pyatspi.ROLE_LABEL, message)))
print("PASS: the prompt says " + message)
