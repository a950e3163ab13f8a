"""Walks Sonabrix's stages as a screen reader meets them, through AT-SPI: the app runs on the
private sound server, and everything it is asked, pressed and told goes over the accessibility
bus. Fails on an unnamed control, a trim handle that is not a slider with a value, a move that
is not announced, focus that does not follow the stage, or a recording or save nobody hears of.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

Role = Atspi.Role
State = Atspi.StateType
# Leaves a screen reader stops at that are fine without a name: lines and layout.
UNNAMED_OK = {Role.SEPARATOR, Role.FILLER, Role.PANEL}

failures = []
heard = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message, flush=True)
    return condition


def pump(seconds=0.0):
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while True:
        while context.iteration(False):
            pass
        if time.monotonic() >= end:
            return
        time.sleep(0.02)


def wait_for(predicate, timeout=10.0):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        pump()
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    return None


def listen(event):
    try:
        name = event.source.get_name()
        role = event.source.get_role()
    except GLib.Error:
        return
    heard.append((event.type, role, name, event.detail1, event.source))


def tree(node):
    yield node
    for index in range(node.get_child_count()):
        child = node.get_child_at_index(index)
        if child is not None:
            yield from tree(child)


def showing(node):
    return node.get_state_set().contains(State.SHOWING)


def find(root, role, name=None):
    try:
        for node in tree(root):
            if node.get_role() != role or not showing(node):
                continue
            if name is None or node.get_name() == name:
                return node
    except GLib.Error:
        # A control went away while the tree was walked (a stage was being replaced): the
        # caller's next look finds the new stage.
        return None
    return None


def focused(root=None):
    """What the last focus event went to: what a screen reader just said."""
    for kind, _, _, detail, source in reversed(heard):
        if kind == "object:state-changed:focused" and detail == 1:
            return source
    return None


def has_focus(name):
    if wait_for(lambda: focused() is not None and focused().get_name() == name):
        return True
    def named(node):
        try:
            return describe(node) if node else "nothing"
        except GLib.Error:
            return "a control that is gone"
    print("  focus events, last last:", [named(source) for kind, _, _, detail, source in heard
                                          if kind == "object:state-changed:focused" and detail == 1],
          flush=True)
    return False


def describe(node):
    return f"{node.get_role_name()} '{node.get_name()}'"


def check_named(frame, stage):
    for node in tree(frame):
        if not showing(node) or node.get_role() in UNNAMED_OK:
            continue
        control = node.get_child_count() == 0 or node.get_role() in (Role.PUSH_BUTTON, Role.SLIDER)
        if control and node.get_role() != Role.MENU_BAR:
            check(node.get_name().strip(), f"{stage}: unnamed {node.get_role_name()} in "
                  f"{describe(node.get_parent())} at {node.get_extents(Atspi.CoordType.WINDOW)}")


def press(node):
    Atspi.Action.do_action(node, 0)


def heard_event(kind, role=None, name=None, since=0):
    return any(
        e[0] == kind and (role is None or e[1] == role) and (name is None or e[2] == name)
        for e in heard[since:]
    )


def slider_value(node):
    return Atspi.Value.get_current_value(node)


def keys(*names):
    subprocess.run(["xdotool", "key", "--clearmodifiers", *names], check=True)
    pump(0.2)


def main(app_path):
    scratch = tempfile.mkdtemp(prefix="sonabrix-atspi-")
    env = dict(os.environ)
    for variable in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"):
        env[variable] = os.path.join(scratch, variable)
    env.update(TMPDIR=scratch, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               QT_ACCESSIBILITY="1")
    tone = os.path.join(scratch, "tone.wav")
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                    "aevalsrc=0.5*sin(2*PI*440*t)*between(t\\,1\\,2.5):s=48000:c=stereo:d=3.5",
                    "-y", tone], check=True)

    listener = Atspi.EventListener.new(listen)
    for kind in ("object:property-change:accessible-name",
                 "object:property-change:accessible-value",
                 "object:state-changed:showing", "object:state-changed:focused"):
        listener.register(kind)

    app = subprocess.Popen([app_path], env=env)
    try:
        desktop = Atspi.get_desktop(0)
        application = wait_for(lambda: next(
            (desktop.get_child_at_index(i) for i in range(desktop.get_child_count())
             if desktop.get_child_at_index(i) is not None
             and desktop.get_child_at_index(i).get_process_id() == app.pid), None), 20)
        if not check(application, "the app never appeared on the accessibility bus"):
            return
        frame = wait_for(lambda: find(application, Role.FRAME))
        check(frame and frame.get_name() == "Sonabrix", "the window is named Sonabrix")
        window = wait_for(lambda: subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--pid", str(app.pid)],
            capture_output=True, text=True).stdout.split(), 10)
        subprocess.run(["xdotool", "windowfocus", "--sync", window[0]], check=True)

        # Start screen: everything named, Record has the keys.
        record = wait_for(lambda: find(frame, Role.PUSH_BUTTON, "Record System Audio"))
        check(record, "start screen: a Record button")
        check(has_focus("Record System Audio"), "start screen: Record has the focus")
        check_named(frame, "start screen")

        # Recording: the state is told, the clock is read and heard as it changes.
        mark = len(heard)
        keys("ctrl+r")
        stop = wait_for(lambda: find(frame, Role.PUSH_BUTTON, "Stop Recording"))
        check(stop, "recording: a Stop button")
        subprocess.Popen(["paplay", tone])
        check(has_focus("Pause"), "recording: Pause has the focus")
        check(wait_for(lambda: heard_event("object:property-change:accessible-name", Role.FRAME,
                                           "Recording — Sonabrix", mark)),
              "recording: the window's new name is announced")
        check(wait_for(lambda: heard_event("object:state-changed:showing", Role.NOTIFICATION,
                                           "Recording started", mark)),
              "recording: a notification says so")
        check(wait_for(lambda: heard_event("object:property-change:accessible-name", Role.LABEL,
                                           "Elapsed time 00:02", mark), 6),
              "recording: the clock's changes are announced")
        check_named(frame, "recording")
        pump(1.8)

        # The editor: two named sliders with values; every move is announced.
        press(stop)
        start = wait_for(lambda: find(frame, Role.SLIDER, "Trim start"), 15)
        end = find(frame, Role.SLIDER, "Trim end")
        if not check(start and end, "editor: two sliders, Trim start and Trim end"):
            return
        duration = slider_value(end)
        check(slider_value(start) == 0.0 and duration > 2.0,
              f"editor: the whole recording selected (0 … {duration})")
        check(Atspi.Value.get_minimum_value(start) == 0.0
              and Atspi.Value.get_maximum_value(end) == duration, "editor: slider ranges")
        check(has_focus("Trim start"), "editor: the start handle has the focus")
        check_named(frame, "editor")

        def announced(slider, expected, what):
            ok = wait_for(lambda: any(
                e[0] == "object:property-change:accessible-value" and e[4] == slider
                for e in heard[mark:]) and abs(slider_value(slider) - expected) < 1e-6, 3)
            check(ok, f"editor: {what} is announced (at {slider_value(slider)}, "
                      f"expected {expected})")

        mark = len(heard)
        keys("End")
        announced(start, duration - 0.05, "End on the start handle")
        mark = len(heard)
        keys("Home")
        announced(start, 0.0, "Home on the start handle")
        mark = len(heard)
        keys("shift+Right")
        announced(start, 1.0, "Shift+Right on the start handle")
        mark = len(heard)
        # Halfway between the start and the end, wherever that falls in this recording.
        middle = round((1.0 + duration) / 2, 2)
        Atspi.Value.set_current_value(end, middle)
        announced(end, middle, "a value set through AT-SPI")
        mark = len(heard)
        press(find(frame, Role.PUSH_BUTTON, "Auto-Trim Silence"))
        wait_for(lambda: slider_value(start) != 1.0)
        announced(start, slider_value(start), "auto-trim of the start")

        # Save by keys through the save dialog; the save is confirmed out loud.
        destination = os.path.join(scratch, "by-ear.m4a")
        mark = len(heard)
        keys("ctrl+s")
        dialog = wait_for(lambda: find(application, Role.DIALOG), 10)
        check(dialog, "save: a dialog comes up")
        pump(0.5)
        keys("ctrl+a")
        subprocess.run(["xdotool", "type", "--delay", "5", destination], check=True)
        keys("Return")
        check(wait_for(lambda: heard_event("object:state-changed:showing", Role.NOTIFICATION,
                                           "Trimmed audio saved", mark), 20),
              "save: a notification confirms it")
        check(os.path.exists(destination), "save: the file is there")

        # Back to the start, by keys: Record has the keys again. Without a window manager
        # nobody gives the window back its focus after the dialog; do what one would.
        subprocess.run(["xdotool", "windowfocus", "--sync", window[0]], check=True)
        pump(0.3)
        keys("ctrl+n")
        check(has_focus("Record System Audio"), "new recording: Record has the focus")
    finally:
        app.terminate()
        app.wait(10)
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1])
    print("AT-SPI walk:", "failed" if failures else "passed", flush=True)
    sys.exit(1 if failures else 0)
