# Runs one scenario against the real program: its own accessibility bus (a session bus of its
# own through dbus-run-session), virtual screen, window manager when asked for, and program
# folders. Exit status 0 when every check held, 1 when one failed or a step could not be done,
# 77 (skipped) when the screen or the bus cannot be had outside CI; in CI that is a failure.
#
#   run_scenario.py --program mv32 --tool mv32db --pictures DIR [--no-window-manager] NAME
import argparse
import importlib
import os
import shutil
import sys
import tempfile
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # nothing of the run is left in the source tree
sys.path.insert(0, HERE)

SKIP = 77


def unavailable(reason):
    if os.environ.get("CI") == "true":
        print("Im CI muss der Bildschirm bereitstehen: " + reason)
        return 1
    print("übersprungen: " + reason)
    return SKIP


def missing_tools(window_manager):
    tools = ["Xvfb", "dbus-run-session", "xdotool", "xwd"] + (["openbox"] if window_manager
                                                               else [])
    missing = [t for t in tools if shutil.which(t) is None]
    if not os.access("/usr/libexec/at-spi-bus-launcher", os.X_OK):
        missing.append("at-spi-bus-launcher")
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        missing.append("pyatspi")
    return missing


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--no-window-manager", action="store_true")
    parser.add_argument("--keep", action="store_true", help="Arbeitsordner behalten")
    parser.add_argument("scenario")
    args = parser.parse_args()
    window_manager = not args.no_window_manager
    args.program, args.tool = os.path.abspath(args.program), os.path.abspath(args.tool)

    missing = missing_tools(window_manager)
    if missing:
        return unavailable("es fehlen " + ", ".join(missing))
    if os.environ.get("MV32_SZENARIO_BUS") != "1":
        os.environ["MV32_SZENARIO_BUS"] = "1"
        # The accessibility bus puts its socket into the runtime folder: one of its own, so
        # that two scenarios at a time do not share it.
        os.environ["XDG_RUNTIME_DIR"] = tempfile.mkdtemp(prefix="mv32-bus-")
        os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable] + sys.argv)

    from checks import Checks, picture_path
    from desktop import Desktop
    from session import Session, SetupError
    import screenshot
    from tables import Tables
    import steps

    tag = args.scenario + ("" if window_manager else "-ohne-wm")
    session = Session(args.program, args.tool, tag, window_manager, args.pictures)

    def shoot(label):
        if session.display is None:
            return None
        return screenshot.take(session.display, picture_path(args.pictures, tag, label))

    checks = Checks(shoot)
    desktop = Desktop(session)
    desktop.checks = checks
    run = steps.Run(session, desktop, Tables(args.tool), checks)
    module = importlib.import_module("scenarios." + args.scenario)
    status = 0
    try:
        session.start_bus()
        module.prepare(run)
        session.start(reached=lambda: steps.main_window_node(desktop) is not None)
        module.run(run)
    except SetupError as e:
        session.stop(keep=args.keep)
        shutil.rmtree(os.environ["XDG_RUNTIME_DIR"], ignore_errors=True)
        return unavailable(str(e))
    except Exception as e:  # a step that could not be done ends the scenario
        traceback.print_exc()
        picture = shoot("abbruch")
        print("ABBRUCH: %s%s" % (e, "\n        Bild: " + picture if picture else ""))
        print("Fenster: %s" % ", ".join("%s (%s)" % (t, r) for t, r, _ in
                                        safe_windows(desktop)))
        status = 1
    report = session.sanitizer_report()
    if report:
        print("Sanitizer-Meldung des Programms:\n" + report)
        status = 1
    if status or checks.failed or args.keep:
        print("--- Ausgabe des Programms (%s) ---\n%s" % (session.log_path,
                                                          session.log()[-6000:]))
    session.stop(keep=args.keep)
    shutil.rmtree(os.environ["XDG_RUNTIME_DIR"], ignore_errors=True)
    print("--- Ergebnis %s ---\n%s" % (tag, checks.summary()))
    print("%d passed, %d failed" % (len(checks.passed), len(checks.failed)))
    return 1 if status or checks.failed else 0


def safe_windows(desktop):
    try:
        return desktop.windows()
    except Exception:
        return []


if __name__ == "__main__":
    sys.exit(main())
