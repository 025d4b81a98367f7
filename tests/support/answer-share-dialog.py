#!/usr/bin/python3
"""Answers the portal's "Screen Share" dialog on the private test desktop.

    answer-share-dialog.py [share|cancel] [TIMEOUT_SECONDS] [WINDOW_TITLE]

Finds the dialog's button through AT-SPI and runs its click action. Exits 0
once it has clicked, 1 when no dialog came within the time (default 20 s).
Shares the first monitor or window listed, or the window of that title.
"""
import sys
import warnings
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

warnings.simplefilter("ignore", DeprecationWarning)

# The buttons' labels; their accessible names hold the mnemonic ("_Share Share").
BUTTONS = {"share": "Share", "cancel": "Cancel"}
# Ticked before sharing, so that the portal hands out a restore token.
REMEMBER = "Remember this selection"
POLL_SECONDS = 0.2


def find(node, role, name, depth=0):
    if node is None or depth > 40:
        return None
    try:
        label = node.get_name()
        if node.get_role() == role and (label == name or name in label.replace("_", "").split(" ", 1)):
            return node
        for i in range(node.get_child_count()):
            found = find(node.get_child_at_index(i), role, name, depth + 1)
            if found is not None:
                return found
    except Exception:  # the dialog may close while we walk it
        return None
    return None


def checked(node):
    return node.get_state_set().contains(Atspi.StateType.CHECKED)


def click(button):
    # Atspi.Accessible.get_action_iface is deprecated: the object is the action.
    names = [Atspi.Action.get_action_name(button, i) for i in range(Atspi.Action.get_n_actions(button))]
    if "click" not in names:
        return False
    return Atspi.Action.do_action(button, names.index("click"))


def main():
    choice = sys.argv[1] if len(sys.argv) > 1 else "share"
    timeout = float(sys.argv[2]) if len(sys.argv) > 2 else 20.0
    name = BUTTONS[choice]
    title = sys.argv[3] if len(sys.argv) > 3 and sys.argv[3] else None
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is None or "portal" not in (app.get_name() or ""):
                continue
            button = find(app, Atspi.Role.PUSH_BUTTON, name)
            if button is None:
                continue
            remember = find(app, Atspi.Role.CHECK_BOX, REMEMBER)
            if choice == "share" and remember is not None and not checked(remember):
                click(remember)
            # Share stays insensitive until a monitor (or window) is chosen.
            choices = find(app, Atspi.Role.LIST, "GtkListBox")
            if choice == "share" and choices is not None:
                titles = [choices.get_child_at_index(i).get_name() for i in range(choices.get_child_count())]
                if title is not None and title not in titles:
                    continue  # not listed yet
                Atspi.Selection.select_child(choices, titles.index(title) if title else 0)
            if click(button):
                return 0
        time.sleep(POLL_SECONDS)
    print("answer-share-dialog: no dialog with a %s button" % name, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
