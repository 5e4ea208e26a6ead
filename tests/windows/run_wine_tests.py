#!/usr/bin/env python3
"""The Windows program under Wine against the Linux program, case by case.

    tests/windows/run_wine_tests.py WINDOWS_EXE LINUX_PROGRAM [UNIT_TESTS_EXE]

UNIT_TESTS_EXE, when given, is the GoogleTest program of the Windows side
of src/system (system_windows_tests.exe); it runs first and must pass.

Every case is run twice in two copies of one scratch tree: by the Linux
program, and by the .exe under Wine. The exit status, standard output and
standard error (the scratch tree's path shown as @DIR@, Windows separators
after it as /) and every file of the tree afterwards must be the same, byte
for byte: the outputs, the earlier files a failed run keeps, and no
temporary left behind.

Beside them, runs of the .exe alone: Ctrl-C during a run (temporaries
removed, Windows' status), a model named on another drive, odd model names,
and a refusal line run 200 times under load (windows_user_cases.py).

Cases: every case of tests/e2e (as it is, with -j1, --check, --vtu, --skin,
--renumber), the accepted and refused command lines of the command-line tests,
and models under directories whose names are not ASCII.

Without Wine or the .exe it fails: a CI run never passes by skipping."""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import windows_user_cases

SOURCE = Path(__file__).resolve().parents[2]
E2E = SOURCE / "tests" / "e2e"
FOUR_NODE = E2E / "four_node_example" / "ANSYS_Model.cdb"
WINE_LOADERS = ["/usr/lib/wine/wine64", "wine64", "/usr/lib/wine/wine", "wine"]
NON_ASCII = "modèles/Ünï cødé 模型"


def find_wine():
    for loader in WINE_LOADERS:
        found = shutil.which(loader)
        if found:
            return found
    return None


def e2e_setup(case):
    def setup(root):
        model = case / "ANSYS_Model.cdb"
        if (case / "model.txt").exists():
            model = SOURCE / (case / "model.txt").read_text().strip()
        if model.exists():
            shutil.copyfile(model, root / "ANSYS_Model.cdb")
        for name in ("input.dat", "input.plt"):
            if (case / "existing" / name).exists():
                shutil.copyfile(case / "existing" / name, root / name)
    return setup


def command_line_setup(root):
    (root / "model" / "empty").mkdir(parents=True)
    shutil.copyfile(FOUR_NODE, root / "model" / "ANSYS_Model.cdb")
    (root / "afile").write_bytes(b"not a directory\n")


def non_ascii_setup(root):
    (root / NON_ASCII).mkdir(parents=True)
    shutil.copyfile(FOUR_NODE, root / NON_ASCII / "ANSYS_Model.cdb")
    shutil.copyfile(FOUR_NODE, root / NON_ASCII / "Bügel ø.cdb")
    (root / "leer" / "ñ").mkdir(parents=True)


def long_path_setup(root):
    """A model whose full path is 250 characters on Linux, 252 under Wine
    (Z: before it): beyond what Windows opens without its long-path form,
    within what the program accepts (256)."""
    room = 250 - len(str(root)) - len("/long//ANSYS_Model.cdb")
    relative = "long/" + "x" * room + "/ANSYS_Model.cdb"
    (root / relative).parent.mkdir(parents=True)
    shutil.copyfile(FOUR_NODE, root / relative)
    return [relative]


def read_only_setup(root):
    """An earlier input.dat that its owner may not write: replaced, the new
    one read-only again (the attribute on Windows), nothing left beside it.
    Run by a user other than root, both programs refuse it alike."""
    shutil.copyfile(FOUR_NODE, root / "ANSYS_Model.cdb")
    (root / "input.dat").write_bytes(b"earlier\r\n")
    (root / "input.dat").chmod(0o444)
    return []


def leftover_setup(root):
    """A temporary that a killed run of this host left beside input.dat: the
    next run removes it (the process 999999 is gone on either system)."""
    shutil.copyfile(FOUR_NODE, root / "ANSYS_Model.cdb")
    host = socket.gethostname()[:64].replace("/", "_")
    (root / (".input.dat.999999@%s.Ab12Cd" % host)).write_bytes(b"cut short")
    (root / (".input.dat.999999@other-host.Ab12Cd")).write_bytes(b"another host's")
    return []


COMMAND_LINES = [
    ["-C", "model"], ["-Cmodel"], ["--directory=model"], ["--directory", "model"],
    ["--dir=model"], ["-C", "model", "-j", "1"], ["-C", "model", "-j3"],
    ["--jobs=256", "-C", "model"], ["--jobs", "2", "--jobs", "1", "-Cmodel"],
    ["-C", "model/empty", "-C", ".."], ["--"], ["-C", "model/empty"], ["-C", "missing"],
    ["--directory=afile"], ["-C", "model", "-C", "missing"],
    ["--help"], ["--he"], ["-C", "model", "--help"], ["--version"],
    ["--version", "-C", "missing"], ["--help", "--version"],
    ["--foo"], ["--foo=bar"], ["-x"], ["x"], ["-"], ["--", "--help"],
    ["-C", "model", "ANSYS_Model.cdb"], ["-C"], ["--directory"], ["--help=yes"], ["--vtu="],
    ["--check", "--vtu", "m.vtu"], ["-j", "0"], ["-j-1"], ["--jobs=257"],
    ["--jobs=99999999999"], ["-j", "+2"], ["-j", "2x"], ["-j", " 2"], ["--jobs="],
    ["-j", "two", "-C", "model"], ["-j"], ["--=x"], ["--help", "--foo"], ["--version", "x"],
    ["-C", "model", "--check"], ["-C", "model", "--vtu", "model.vtu"],
    ["-C", "model", "--vtu", "input.dat"], ["-C", "model", "--vtu", "ANSYS_Model.cdb"],
    ["-C", "model", "--vtu", "missing/m.vtu"], ["model/ANSYS_Model.cdb"],
    ["--vtu", "m.vtu", "model/ANSYS_Model.cdb"], ["model/missing.cdb"], ["-C", "model", "-h"],
]

NON_ASCII_LINES = [
    ["-C", NON_ASCII], ["-C", NON_ASCII, "--vtu", "résultat ü.vtu"], ["-C", NON_ASCII, "--check"],
    ["-C", "leer/ñ"], ["-C", "leer/ñ", "--check"], ["-C", "fehlt/ß"],
    [NON_ASCII + "/Bügel ø.cdb"], ["-C", NON_ASCII, "--check", "Bügel ø.cdb"],
    ["leer/ñ/fehlt ß.cdb"],
]


# Windows spellings of the same command lines: (Linux, Windows).
WINDOWS_SPELLINGS = [
    (["-C", "model/empty", "-C", ".."], ["-C", "model\\empty", "-C", ".."]),
    (["model/ANSYS_Model.cdb"], ["model\\ANSYS_Model.cdb"]),
    (["model/missing.cdb"], ["model\\missing.cdb"]),
    (["--vtu", "m.VTU", "model/ANSYS_Model.cdb"], ["--vtu", "m.VTU", "model\\ANSYS_Model.cdb"]),
    (["--vtu", "../m.vtu", "model/ANSYS_Model.cdb"], ["--vtu", "..\\m.vtu", "model\\ANSYS_Model.cdb"]),
]


def cases():
    found = []
    for case in sorted(p for p in E2E.iterdir() if (p / "README.md").exists()):
        for extra in ([], ["-j1"], ["--check"], ["--vtu", "model.vtu"], ["--skin"],
                      ["--renumber", "--vtu", "model.vtu"]):
            found.append((" ".join(["e2e/" + case.name] + extra), e2e_setup(case), extra))
    for args in COMMAND_LINES:
        found.append(("command line " + " ".join(repr(a) for a in args), command_line_setup, args))
    found.append(("long path", long_path_setup, None))
    found.append(("leftover of a killed run", leftover_setup, None))
    found.append(("read-only input.dat", read_only_setup, None))
    for linux_args, windows_args in WINDOWS_SPELLINGS:
        found.append(("spelt for Windows " + " ".join(repr(a) for a in windows_args),
                      command_line_setup, (linux_args, windows_args)))
    for args in NON_ASCII_LINES:
        found.append(("non-ASCII " + " ".join(repr(a) for a in args), non_ascii_setup, args))
    return found


def snapshot(root):
    files = {}
    for path in sorted(root.rglob("*")):
        name = path.relative_to(root).as_posix()
        files[name] = path.read_bytes() if path.is_file() else b"(directory)"
        if path.is_file() and not path.stat().st_mode & 0o200:
            files[name] += b" (read-only)"
    return files


def normalized(text, directories):
    for directory in directories:
        text = text.replace(directory.encode(), b"@DIR@")
    # The separators of a path shown after the directory: Windows' \ as /.
    return re.sub(rb"@DIR@[^'\r\n,]*", lambda m: m.group(0).replace(b"\\", b"/"), text)


def first_difference(what, linux, windows):
    if linux == windows:
        return None
    at = next((i for i, (a, b) in enumerate(zip(linux, windows)) if a != b),
              min(len(linux), len(windows)))
    return "%s differs at byte %d:\n  linux:   %r\n  windows: %r" % (
        what, at, linux[max(0, at - 40):at + 40], windows[max(0, at - 40):at + 40])


def run_case(setup, args, scratch, linux, wine, exe, env):
    differences = []
    results = {}
    # Roots of one length: a path has one length in both trees (but for Z:).
    for side in ("lin", "win"):
        root = scratch / side
        root.mkdir()
        made_args = setup(root)  # a setup may make the arguments, from the tree it made
        side_args = args if isinstance(args, list) else args and args[side == "win"]
        if made_args is not None:
            side_args = made_args
        command = [linux] + side_args if side == "lin" else [wine, exe] + side_args
        # Into files, not pipes: Wine's own services may hold a pipe open.
        out, err = scratch / (side + ".out"), scratch / (side + ".err")
        with open(out, "wb") as out_file, open(err, "wb") as err_file:
            run = subprocess.run(command, cwd=root, env=env if side == "win" else None,
                                 stdin=subprocess.DEVNULL, stdout=out_file, stderr=err_file,
                                 timeout=120)
        shown = [str(root)] if side == "lin" else ["Z:" + str(root).replace("/", "\\")]
        results[side] = (run.returncode & 0xFF, normalized(out.read_bytes(), shown),
                         normalized(err.read_bytes(), shown), snapshot(root))
    linux_result, windows_result = results["lin"], results["win"]
    if linux_result[0] != windows_result[0]:
        differences.append("status: linux %d, windows %d" % (linux_result[0], windows_result[0]))
    for index, what in ((1, "standard output"), (2, "standard error")):
        difference = first_difference(what, linux_result[index], windows_result[index])
        if difference:
            differences.append(difference)
    linux_files, windows_files = linux_result[3], windows_result[3]
    if linux_files.keys() != windows_files.keys():
        differences.append("files: linux %s, windows %s" % (sorted(linux_files), sorted(windows_files)))
    for name in sorted(linux_files.keys() & windows_files.keys()):
        difference = first_difference(name, linux_files[name], windows_files[name])
        if difference:
            differences.append(difference)
    return differences


# What every Windows has: the .exe needs no DLL beside it.
SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "shell32.dll", "user32.dll", "advapi32.dll"}


def imported_dlls(exe):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True,
                          text=True, check=True).stdout
    return {line.split(":", 1)[1].strip().lower() for line in dump.splitlines()
            if line.strip().startswith("DLL Name:")}


# Status of a console program that Ctrl-C ended (0xC000013A), as a shell sees it.
INTERRUPTED_STATUS = 0xC000013A & 0xFF


def interrupted_run(scratch, wine, exe, env):
    """Ctrl-C (Wine turns SIGINT into it) while the outputs are being written:
    the temporaries are removed, nothing else is written, and the run ends
    with Windows' status for Ctrl-C. Windows only: there is no Linux run to
    compare with."""
    root = scratch / "win"
    root.mkdir()
    subprocess.run([sys.executable, str(SOURCE / "bench" / "generate_model.py"), "200000",
                    str(root / "ANSYS_Model.cdb")], stdout=subprocess.DEVNULL, check=True)
    with open(scratch / "out", "wb") as out, open(scratch / "err", "wb") as err:
        run = subprocess.Popen([wine, exe], cwd=root, env=env, stdin=subprocess.DEVNULL,
                               stdout=out, stderr=err)
        deadline = time.monotonic() + 60
        while (time.monotonic() < deadline and run.poll() is None
               and not any(p.name.startswith(".input.") for p in root.iterdir())):
            time.sleep(0.01)
        if run.poll() is not None:
            return ["the run ended (status %d) before it could be interrupted" % run.returncode]
        run.send_signal(signal.SIGINT)
        status = run.wait(timeout=60) & 0xFF
    differences = []
    if status != INTERRUPTED_STATUS:
        differences.append("status %d, not %d" % (status, INTERRUPTED_STATUS))
    left = sorted(p.name for p in root.iterdir())
    if left != ["ANSYS_Model.cdb"]:
        differences.append("files left: %s" % left)
    if (scratch / "out").read_bytes():
        differences.append("standard output: %r" % (scratch / "out").read_bytes())
    return differences


# Runs of the .exe alone, each in a scratch folder of its own.
WINDOWS_ONLY_CHECKS = [
    ("Ctrl-C", interrupted_run),
    ("a model on another drive's working folder", windows_user_cases.drive_relative_runs),
    ("model names that are no proper path", windows_user_cases.odd_path_runs),
    ("the refusal line, 200 runs under load", windows_user_cases.lost_message_runs),
]


def windows_path(path):
    """A Linux path as Wine's Windows side names it."""
    return "Z:" + str(path).replace("/", "\\")


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit("usage: run_wine_tests.py WINDOWS_EXE LINUX_PROGRAM [UNIT_TESTS_EXE]")
    exe, linux = (str(Path(p).resolve()) for p in sys.argv[1:3])
    unit_tests = str(Path(sys.argv[3]).resolve()) if len(sys.argv) == 4 else None
    wine = find_wine()
    if wine is None:
        sys.exit("windows tests: no Wine (%s); scripts/install-build-deps.sh windows installs it"
                 % ", ".join(WINE_LOADERS))
    for program in (exe, linux) + ((unit_tests,) if unit_tests else ()):
        if not os.path.isfile(program):
            sys.exit("windows tests: no program %s" % program)
    prefix = os.environ.get("WINEPREFIX") or str(Path(exe).parent / "wine-prefix")
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", LANG="C.UTF-8",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    foreign = imported_dlls(exe) - SYSTEM_DLLS
    if foreign:
        sys.exit("windows: %s needs DLLs that Windows does not have: %s"
                 % (exe, ", ".join(sorted(foreign))))
    started = time.monotonic()
    # One Wine server for every run; the first run makes the prefix.
    server = shutil.which("wineserver") or "/usr/lib/wine/wineserver64"
    subprocess.run([wine, exe, "--version"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    subprocess.run([server, "-p"], env=env, check=False)
    prepared = time.monotonic()
    failed = []
    all_cases = cases()
    try:
        if unit_tests:
            with tempfile.TemporaryFile() as out:
                # The program and a model, as the Windows side names them.
                unit_env = dict(env, CDB2BEM_EXE=windows_path(exe),
                                CDB2BEM_TEST_MODEL=windows_path(FOUR_NODE))
                unit = subprocess.run([wine, unit_tests, "--gtest_brief=1"], env=unit_env,
                                      stdin=subprocess.DEVNULL, stdout=out,
                                      stderr=subprocess.STDOUT, timeout=300)
                out.seek(0)
                text = out.read().decode(errors="replace")
            summary = [line for line in text.splitlines()
                       if line.startswith("[  PASSED") or line.startswith("[  FAILED")]
            print("windows: system unit tests: %s" % (" ".join(summary) or "no summary"))
            if unit.returncode != 0:
                sys.stdout.write(text)
                failed.append("system unit tests")
        for name, check in WINDOWS_ONLY_CHECKS:
            with tempfile.TemporaryDirectory(prefix="cdb2bem-wine-") as scratch:
                differences = check(Path(scratch), wine, exe, env)
            if differences:
                failed.append(name)
                print("FAILED %s\n  %s" % (name, "\n  ".join(differences)), flush=True)
        for name, setup, args in all_cases:
            with tempfile.TemporaryDirectory(prefix="cdb2bem-wine-") as scratch:
                differences = run_case(setup, args, Path(scratch), linux, wine, exe, env)
            if differences:
                failed.append(name)
                print("FAILED %s\n  %s" % (name, "\n  ".join(differences)), flush=True)
    finally:
        subprocess.run([server, "-k"], env=env, check=False)
    elapsed = time.monotonic() - started
    total = len(all_cases) + len(WINDOWS_ONLY_CHECKS)
    print("windows: %d of %d cases passed under Wine in %.1f s (%.1f s for Wine to start)"
          % (total - len(failed), total, elapsed, prepared - started))
    if failed:
        sys.exit("windows: %d cases differ: %s" % (len(failed), ", ".join(failed)))


if __name__ == "__main__":
    main()
