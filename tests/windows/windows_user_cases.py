"""Whole runs of the .exe under Wine that have no Linux run to compare with,
for run_wine_tests.py: a model named relative to another drive's working
folder, paths that are no proper model names, and the refusal line of a
model under load, run after run."""

import multiprocessing
import os
import shutil
import subprocess
import tempfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
FOUR_NODE = SOURCE / "tests" / "e2e" / "four_node_example"
CORNER_OUTSIDE = SOURCE / "tests" / "e2e" / "corner_outside_nodes"


def run_exe(wine, exe, args, cwd, env):
    """Status (as a shell sees it), standard output and error of one run;
    a run that does not end within a minute is reported as a hang. Into
    files, not pipes: Wine's own services may hold a pipe open."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        try:
            run = subprocess.run([wine, exe] + args, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                 stdout=out, stderr=err, timeout=60)
        except subprocess.TimeoutExpired:
            return None, b"", b"(the run hangs)"
        out.seek(0)
        err.seek(0)
        return run.returncode & 0xFF, out.read(), err.read()


def drive_relative_runs(scratch, wine, exe, env):
    """The working folder on drive Z:, the model named on drive C: as
    "C:folder\\ANSYS_Model.cdb", relative to C:'s working folder (its root,
    the prefix's drive_c): the outputs go beside the model, failures name
    the model's full path, on one thread and on several."""
    folder = "cdb2bem-drive-%d" % os.getpid()
    beside = Path(env["WINEPREFIX"]) / "drive_c" / folder
    differences = []
    try:
        beside.mkdir(parents=True)
        shutil.copyfile(FOUR_NODE / "ANSYS_Model.cdb", beside / "ANSYS_Model.cdb")
        expected_plt = (FOUR_NODE / "input.plt").read_bytes()
        cases = [
            (["C:%s\\ANSYS_Model.cdb" % folder], 0, b"  Data Translation from ANSYS to BEM is done!\r\n", b""),
            (["-j1", "C:%s\\ANSYS_Model.cdb" % folder], 0,
             b"  Data Translation from ANSYS to BEM is done!\r\n", b""),
            (["C:%s\\missing.cdb" % folder], 29, b"",
             b"runerr: severe (29): file not found, unit 5, file C:\\%s\\missing.cdb\r\n"
             % folder.encode()),
        ]
        for args, status, out, err in cases:
            for name in ("input.dat", "input.plt"):
                (beside / name).unlink(missing_ok=True)
            got = run_exe(wine, exe, args, scratch, env)
            if got != (status, out, err):
                differences.append("%s: %r, not %r" % (args, got, (status, out, err)))
            elif status == 0 and (beside / "input.plt").read_bytes() != expected_plt:
                differences.append("%s: input.plt beside the model differs" % args)
            left = sorted(p.name for p in Path(scratch).iterdir())
            if left:
                differences.append("%s: written in the working folder: %s" % (args, left))
    finally:
        shutil.rmtree(beside, ignore_errors=True)
    return differences


# Names that are no proper model path: each run ends with a status of its
# own kind, never a crash or a hang.
ODD_MODEL_NAMES = ["Z:", "C:", "Z:.", "Z:..", "::", "C:\\", "Z:nowhere\\m.cdb", "\\\\?\\",
                   "\\\\.\\NUL", "NUL", "CON:", "Z:\\tmp\\::$DATA", "a:b:c.cdb"]
ORDERLY_STATUSES = {0, 1, 2, 4, 9, 24, 29, 30, 39, 42, 43}


def odd_path_runs(scratch, wine, exe, env):
    differences = []
    for name in ODD_MODEL_NAMES:
        status, _, err = run_exe(wine, exe, [name], scratch, env)
        if status not in ORDERLY_STATUSES or (status != 0 and not err.endswith(b"\r\n")
                                               and not err.endswith(b"\n")):
            differences.append("%r: status %s, standard error %r" % (name, status, err))
    return differences


def _spin(stop):
    os.nice(10)  # load beside the runs, not ahead of them
    while not stop.is_set():
        pass


def lost_message_runs(scratch, wine, exe, env, runs=200):
    """The refusal of corner_outside_nodes with --vtu, run after run while
    every core is kept busy: each run prints its one line on standard error."""
    shutil.copyfile(CORNER_OUTSIDE / "ANSYS_Model.cdb", Path(scratch) / "ANSYS_Model.cdb")
    expected = (1, b"", (CORNER_OUTSIDE / "stderr.txt").read_bytes())
    stop = multiprocessing.Event()
    spinners = [multiprocessing.Process(target=_spin, args=(stop,))
                for _ in range(os.cpu_count() or 2)]
    for spinner in spinners:
        spinner.start()
    differences = []
    try:
        for run in range(runs):
            got = run_exe(wine, exe, ["--vtu", "model.vtu"], scratch, env)
            if got != expected:
                differences.append("run %d of %d: %r" % (run + 1, runs, got))
    finally:
        stop.set()
        for spinner in spinners:
            spinner.join()
    return differences
