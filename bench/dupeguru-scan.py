#!/usr/bin/python3
# Runs dupeGuru's picture scan of one folder without its window, as its own program would with
# default preferences: its application object (core.app.DupeGuru) in picture mode, the options its
# Qt layer derives from default preferences (qt.app.DupeGuru._update_options: "Contents" scan,
# filter hardness 95, files under 10 KB ignored, same-size pictures only), its Qt picture reader,
# and its picture cache emptied first so that every picture is read (a cold scan).
#
# Usage: HOME=SCRATCH XDG_DATA_HOME=SCRATCH/data XDG_CONFIG_HOME=SCRATCH/config \
#          XDG_CACHE_HOME=SCRATCH/cache /usr/bin/python3 bench/dupeguru-scan.py FOLDER
# Needs Debian's dupeguru package (its code lives in /usr/share/dupeguru). Every file it writes
# (preferences, picture cache, hash cache, log) goes under the XDG folders given, so point them
# at a scratch folder. Prints one line:
#   dupeguru VERSION files=N groups=G grouped=P matches=M scan_wall=S scan_cpu=C reading_cpu=R
#     comparing_cpu=K scan_type=T min_match_percentage=H size_threshold=B match_scaled=X cache=PATH
# (files: files offered to the scan, before it leaves out small ones; grouped: pictures in groups;
# matches: the pairs that made the groups; scan_wall and scan_cpu: seconds from the scan's start
# to its end and CPU spent meanwhile, of which reading_cpu by this process, which reads the
# pictures one at a time, and comparing_cpu by the processes that compare them; then the options
# the scan ran with). Exit status 1 when the scan fails.
import logging
import os
import resource
import sys
import time

DUPEGURU_HOME = "/usr/share/dupeguru"


def cpu_seconds():
    """CPU seconds of this process (which reads the pictures, on one thread at a time) and of its
    ended children (the processes that compare them)."""
    own = resource.getrusage(resource.RUSAGE_SELF)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return own.ru_utime + own.ru_stime, children.ru_utime + children.ru_stime


class Messages(logging.Handler):
    """Keeps the engine's log lines, to read back how many files it scanned."""

    def __init__(self):
        super().__init__(logging.INFO)
        self.lines = []

    def emit(self, record):
        self.lines.append(record.getMessage())


class SilentView:
    """Stands in for the windows that the Qt layer binds to the application's parts; what they
    would show does not matter here. The results window is made when a scan starts."""

    def __init__(self, model=None):
        self.model = model

    def get_default(self, key, fallback=None):
        return None

    def create_results_window(self):
        self.model.result_table.view = SilentView()

    def set_default(self, key, value):
        pass

    def __getattr__(self, name):
        return lambda *args, **kwargs: None


class OptionsSource:
    """What qt.app.DupeGuru._update_options reads, so that its own code sets the scan options."""

    def __init__(self, model, prefs):
        self.model = model
        self.prefs = prefs
        self.details_dialog = None

    def _set_style(self, style):
        pass


def main():
    if len(sys.argv) != 2 or not os.path.isdir(sys.argv[1]):
        sys.stderr.write("usage: dupeguru-scan.py FOLDER\n")
        return 1
    folder = os.path.abspath(sys.argv[1])
    os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
    sys.path.insert(0, DUPEGURU_HOME)

    from PyQt5.QtCore import QCoreApplication
    from PyQt5.QtWidgets import QApplication

    # As dupeGuru's run.py: the names decide where its data folder is (under XDG_DATA_HOME).
    app = QApplication(["dupeguru"])
    QCoreApplication.setOrganizationName("Hardcoded Software")
    QCoreApplication.setApplicationName("dupeGuru")

    import core.pe.photo
    from core import __version__
    from core.app import AppMode, DupeGuru as Model
    from qt.app import DupeGuru as QtApp
    from qt.pe.photo import File as QtPhoto
    from qt.preferences import Preferences

    messages = Messages()
    logging.getLogger().addHandler(messages)
    logging.getLogger().setLevel(logging.INFO)

    prefs = Preferences()
    prefs.load()  # the scratch settings are empty: defaults
    view = SilentView()
    model = Model(view=view)
    view.model = model
    window = model.progress_window
    for part in (
        model.directory_tree,
        model.stats_label,
        window,
        window.jobdesc_textfield,
        window.progressdesc_textfield,
    ):
        part.view = SilentView()
    model.app_mode = AppMode.PICTURE
    core.pe.photo.PLAT_SPECIFIC_PHOTO_CLASS = QtPhoto  # as the Qt layer's _setup
    QtApp._update_options(OptionsSource(model, prefs))
    model.clear_picture_cache()
    model.clear_hash_cache()
    model.add_directory(folder)

    wall0, cpu0 = time.perf_counter(), cpu_seconds()
    model.start_scanning()
    # The job runs on its own thread; its progress turns None when it ends (what the window's
    # pulse timer watches).
    while window.last_progress is not None:
        time.sleep(0.01)
    wall, cpu = time.perf_counter() - wall0, [b - a for a, b in zip(cpu0, cpu_seconds())]
    if window.last_error is not None:
        raise window.last_error.with_traceback(window.last_traceback)

    groups = model.results.groups
    scanned = next((line.split()[1] for line in messages.lines if line.startswith("Scanning ")), "?")
    options = model.options
    print(
        f"dupeguru {__version__} files={scanned} groups={len(groups)} "
        f"grouped={sum(len(g) for g in groups)} matches={sum(len(g.matches) for g in groups)} "
        f"scan_wall={wall:.3f} scan_cpu={sum(cpu):.3f} reading_cpu={cpu[0]:.3f} "
        f"comparing_cpu={cpu[1]:.3f} scan_type={options['scan_type']} "
        f"min_match_percentage={options['min_match_percentage']} "
        f"size_threshold={options['size_threshold']} match_scaled={options['match_scaled']} "
        f"cache={model._get_picture_cache_path()}"
    )
    del app
    return 0


if __name__ == "__main__":
    sys.exit(main())
