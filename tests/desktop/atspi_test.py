#!/usr/bin/python3
"""Glimra as a screen reader meets it, through AT-SPI: every picture button is a push button
that can be found by its name and pressed (and says its shortcut), the lists and the picture
have names, the information dialog's fields are read with their labels, and the dialogs close
by their close button.

    atspi_test.py GLIMRA [TREE_FILE]

Runs itself on its own X display and D-Bus session and starts the accessibility bus itself.
TREE_FILE, if given, receives the tree as the screen reader reads it."""

import os
import struct
import subprocess
import sys
import tempfile
import time

if not os.environ.get("GLIMRA_ATSPI_INNER"):
    os.environ["GLIMRA_ATSPI_INNER"] = "1"
    display = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "on_own_display.sh")
    os.execvp("sh", ["sh", display, "dbus-run-session", "--", "/usr/bin/python3"] + sys.argv)

import pyatspi  # noqa: E402  (only inside the session bus)

glimra = sys.argv[1]
tree_file = sys.argv[2] if len(sys.argv) > 2 else None
failures = []


def check(ok, what):
    print(("PASS: " if ok else "FAIL: ") + what, flush=True)
    if not ok:
        failures.append(what)


def wait_for(find, seconds=20.0):
    end = time.monotonic() + seconds
    while True:
        found = find()
        if found or time.monotonic() > end:
            return found
        time.sleep(0.1)


def bmp(path, width, height, rgb):
    row = bytes(rgb[::-1]) * width
    row += b"\0" * ((4 - len(row) % 4) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def children(acc):
    try:
        return [acc.getChildAtIndex(i) for i in range(acc.childCount)]
    except Exception:
        return []


def walk(acc):
    yield acc
    for child in children(acc):
        if child is not None:
            yield from walk(child)


def actions(acc):
    try:
        a = acc.queryAction()
    except NotImplementedError:
        return []
    return [(a.getName(i), a.getKeyBinding(i)) for i in range(a.nActions)]


def labelled_by(acc):
    for relation in acc.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            return relation.getTarget(0).name
    return None


def describe(acc, depth=0):
    lines = []
    text = "  " * depth + f"[{acc.getRoleName()}] \"{acc.name}\""
    if acc.description:
        text += f" ({acc.description})"
    label = labelled_by(acc)
    if label:
        text += f" labelled by \"{label}\""
    if acc.getRole() == pyatspi.ROLE_TEXT:
        text += " = \"" + acc.queryText().getText(0, -1) + "\""
    acts = actions(acc)
    if acts:
        text += " actions: " + ", ".join(f"{n}({k})" if k else n for n, k in acts)
    lines.append(text)
    for child in children(acc):
        if child is not None and len(lines) < 400:
            lines.extend(describe(child, depth + 1))
    return lines


def find(root, role, name):
    for acc in walk(root):
        if acc.getRole() == role and acc.name == name:
            return acc
    return None


def press(acc):
    if acc is None:
        return False
    a = acc.queryAction()
    for i in range(a.nActions):
        if a.getName(i) == "Press":
            return a.doAction(i)
    return False


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in children(desktop):
        if app is not None and app.name == "glimra":
            return app
    return None


def window(app, title):
    for acc in children(app):
        if acc is not None and acc.name == title:
            return acc
    return None


launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately",
                             "--a11y=1"])


def bus_has(name):
    reply = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                            "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                            "string:" + name], capture_output=True, text=True)
    return "boolean true" in reply.stdout


# The viewer asks for the accessibility bus once, as it starts: it must be there by then, however
# slow the machine.
check(wait_for(lambda: bus_has("org.a11y.Bus"), 30), "the accessibility bus is up")
work = tempfile.TemporaryDirectory()
folder = os.path.join(work.name, "Снимки от лятото")
os.mkdir(folder)
picture = os.path.join(folder, "мост на реката.bmp")
bmp(picture, 40, 30, (0x12, 0xAB, 0x34))
env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
viewer = subprocess.Popen([glimra, picture], env=env)
tree = []
try:
    app = wait_for(application, 30)
    check(app is not None, "the viewer appears on the accessibility bus")
    if app is None:
        sys.exit(1)
    main = wait_for(lambda: window(app, "Glimra 2.0"))
    check(main is not None, "its window is there, by its title")
    wait_for(lambda: find(main, pyatspi.ROLE_IMAGE, "мост на реката.bmp, 40 на 30 пиксела"))
    tree += ["Main window:"] + describe(main)

    for name, key in [("Скрий менюто", "Ctrl+H"), ("Информация за изображението", "Ctrl+I"),
                      ("За програмата", "F1"), ("Изход", "Ctrl+Q")]:
        button = find(main, pyatspi.ROLE_PUSH_BUTTON, name)
        check(button is not None and ("Press", key) in actions(button),
              f"push button \"{name}\" presses, shortcut {key}")
    check(main.getRole() == pyatspi.ROLE_FRAME, "the window is a frame")
    for role, name in [(pyatspi.ROLE_LIST, "Файлове"), (pyatspi.ROLE_LIST, "Папки"),
                       (pyatspi.ROLE_IMAGE, "мост на реката.bmp, 40 на 30 пиксела")]:
        check(find(main, role, name) is not None, f"{role} \"{name}\"")
    # On Linux a combo box is named by its value; what it is goes in its description.
    drives = next((acc for acc in walk(main) if acc.getRole() == pyatspi.ROLE_COMBO_BOX), None)
    check(drives is not None and drives.description == "Устройство",
          "the drive list is described as such")
    folders = find(main, pyatspi.ROLE_LIST, "Папки")
    levels = [acc.description for acc in walk(folders)
              if acc.getRole() == pyatspi.ROLE_LIST_ITEM] if folders else []
    check(len(levels) > 2 and levels[0] == "ниво 1" and levels[1] == "ниво 2",
          "the folder list tells each folder's level: " + ", ".join(levels[:4]))

    expected = {"Име:": "мост на реката.bmp", "Папка:": folder,
                "Формат:": "Bitmap изображение", "Размери:": "40 * 30 пиксела"}
    for button, title in [("Информация за изображението", "Информация"),
                          ("За програмата", "За програмата")]:
        press(find(main, pyatspi.ROLE_PUSH_BUTTON, button))
        dialog = wait_for(lambda: window(app, title))
        check(dialog is not None, f"pressing \"{button}\" opens \"{title}\"")
        if dialog is None:
            continue
        tree += [f"Dialog {title}:"] + describe(dialog)
        if title == "Информация":
            fields = {labelled_by(acc): acc.queryText().getText(0, -1)
                      for acc in walk(dialog) if acc.getRole() == pyatspi.ROLE_TEXT}
            check(fields == expected, f"its fields read with their labels: {fields}")
        close = find(dialog, pyatspi.ROLE_PUSH_BUTTON, "Затвори")
        check(close is not None and press(close), "its close picture is a button that presses")
        check(wait_for(lambda: window(app, title) is None), f"\"{title}\" closes")

    panel = next((acc for acc in walk(main) if acc.name == "Картина"), None)
    check(panel is not None, "the viewport has a name")
    if panel is not None:
        before = panel.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).x
        press(find(main, pyatspi.ROLE_PUSH_BUTTON, "Скрий менюто"))
        moved = wait_for(lambda: panel.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).x
                         == before - 154, 5)
        check(moved, "pressing \"Скрий менюто\" covers the panel")
    press(find(main, pyatspi.ROLE_PUSH_BUTTON, "Изход"))
    try:
        viewer.wait(10)
        check(True, "pressing \"Изход\" ends the program")
    except subprocess.TimeoutExpired:
        check(False, "pressing \"Изход\" ends the program")
finally:
    if viewer.poll() is None:
        viewer.kill()
        viewer.wait()
    launcher.terminate()
    launcher.wait()
    if tree_file:
        with open(tree_file, "w", encoding="utf-8") as f:
            f.write("\n".join(tree) + "\n")

sys.exit(1 if failures else 0)
