#!/usr/bin/env python3
"""Times cdb2bem, on one thread (-j 1) and on its default threads, against
the floor program on the benchmark models, and `cdb2bem --check` against the
translation.

    run_bench.py [--sizes 10k,1M,1M-i10,4M] [--sections main,vtu,skin,sync,busy] [--reps N]
                 [--callgrind] [--keep] [--no-record]

Builds the Release translator (build-bench/), the floor and the I/O limit,
generates the models when bench/models/ lacks them (1M-i10 is the 1M model
with its elements in ten-column fields, '(19i10)', as current ANSYS releases
write them; the others have nine-column ones), then for each size runs the
translator, the floor and the I/O limit (io_limit.cpp: it reads the model and
writes two files of the outputs' sizes, converting nothing) in their own
scratch directories, each beside a link of the
model named ANSYS_Model.cdb, several times in rotating order; the
translator runs twice per round, with -j 1 and without -j (one thread per
core, at most 16), and both must write the same bytes. The scratch
directories are in /dev/shm when it has room (else bench/out/; the variable
CDB2BEM_BENCH_SCRATCH names another place). Every run must end with status 0,
print only the closing line and write files of the expected sizes; a floor
output that differs from the translator's is reported. Prints the medians,
the ratio translator/floor, model MB/s, peak resident memory beside the bytes
of the ten tables, the wall time against the I/O limit's, the system times,
and the targets. The check runs in a directory of its own, rotating with the
other programs; it must end with status 0, print a report that
begins "nodes: " and write no file. With --callgrind it adds the instruction
counts of both programs on the smallest model. With the 1M size it also times
`cdb2bem --skin` on the 1M-brick volume model (generate_model.py --volume)
against the plain translation of the 1M surface model, alternating, with the
peak resident memory of the skin run, and the default run with its outputs
synced to the disk and with CDB2BEM_NO_SYNC=1, in the scratch directory and,
when that is in memory, in bench/out on the disk, and, in the busy section (busy_bench.py), the
default run against -j 1 on the 1M model with one busy process per core but one and with one per
core. A run of every size and section writes the table to bench/RESULTS.md.
"""

import argparse
import datetime
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import time

BENCH = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(BENCH)
sys.path.insert(0, BENCH)
sys.dont_write_bytecode = True
import busy_bench  # noqa: E402
import generate_model  # noqa: E402

BUILD = os.path.join(ROOT, "build-bench")
TRANSLATOR = os.path.join(BUILD, "cdb2bem")
FLOOR = os.path.join(BUILD, "bench_floor")
IO_LIMIT = os.path.join(BUILD, "bench_io_limit")
MODELS = os.path.join(BENCH, "models")
OUT = os.path.join(BENCH, "out")
# Scratch directories go to memory (tmpfs) when it has room, so that the
# write-back of gigabytes of output to the disk does not blur the timings.
SHM = "/dev/shm"
MODEL_VERSION = 1  # raise when generate_model.py changes the models it writes

# Repetitions: the 1M models, which the targets judge, get more, since the
# system time of one run on this shared virtual machine varies by half.
SIZES = {"10k": (10_000, 5), "1M": (1_000_000, 9), "1M-i10": (1_000_000, 9), "4M": (4_000_000, 3)}
ELEMENT_WIDTHS = {"1M-i10": 10}  # the element fields' columns, 9 when not named
CLOSING = b"  Data Translation from ANSYS to BEM is done!\r\n"
MIB = 1024 * 1024
MEMORY_ALLOWANCE = 16 * MIB
RATIO_TARGET = 0.7      # translator -j 1 / floor on the 1M models, CPU seconds
WALL_TARGET = 0.5       # translator (default threads) / floor on the 1M models, wall seconds
IO_TARGET = 2.5         # translator (default threads) / I/O limit on the 1M models, wall seconds
CPU_TARGET = 1.1        # translator (default threads) / floor on the 1M model, CPU seconds
THREAD_ALLOWANCE = 8 * MIB  # memory each thread beyond the first may add
SYNC_TARGET = 0.10      # wall time the sync of the outputs adds to the 1M run, on the bench's directory
CHECK_TARGET = 1.5      # cdb2bem --check / translator on the 1M model
SCALE_TARGET = 4.4      # translator 4M / translator 1M
VTU_TARGET = 0.5        # cost of --vtu / the plain translation, on the 1M model
SKIN_TARGET = 1.5       # cdb2bem --skin on the 1M-brick model / the plain 1M translation, wall
SKIN_PEAK_TARGET = 320 * 1024 * 1024  # peak resident bytes of that skin run
VOLUME_BRICKS = 1_000_000
BUSY_REPS = 7           # pairs of runs per number of busy processes
SECTIONS = ("main", "vtu", "skin", "sync", "busy")


def run(cmd, **kw):
    subprocess.run(cmd, check=True, **kw)


def build():
    jobs = str(os.cpu_count() or 2)
    run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release", "-DCDB2BEM_TESTS=OFF"],
        stdout=subprocess.DEVNULL)
    run(["cmake", "--build", BUILD, "-j", jobs], stdout=subprocess.DEVNULL)
    for program, name in ((FLOOR, "floor.cpp"), (IO_LIMIT, "io_limit.cpp")):
        source = os.path.join(BENCH, name)
        if not os.path.exists(program) or os.path.getmtime(program) < os.path.getmtime(source):
            run(["g++", "-O2", "-std=c++20", "-ffp-contract=off", "-o", program, source])


def model_path(label):
    return os.path.join(MODELS, "sphere_%s_v%d.cdb" % (label, MODEL_VERSION))


def ensure_model(label, target):
    path = model_path(label)
    if not os.path.exists(path):
        os.makedirs(MODELS, exist_ok=True)
        start = time.perf_counter()
        generate_model.write_model(path, target, ELEMENT_WIDTHS.get(label, 9))
        print("generated %s in %.1f s" % (os.path.relpath(path, ROOT), time.perf_counter() - start),
              flush=True)
    return path


def expected_sizes(c):
    """Bytes of input.dat and input.plt for the counts `c`, records ended by CR LF."""
    n, t, fp, fc = c["NodeCount"], c["TriangleCount"], c["FieldPointCount"], c["FieldCellCount"]
    free_form = ["          0                              ! Number of remote stress loading",
                 "      1.0d0       0.3d0                  ! Material constants E and v",
                 "      1.0d0       0.0d0                  ! alpha, beta (in dual BIE)",
                 "$ Nodes:", "$ Elements and Boundary Conditions:", "$ Field Points",
                 "$ Field Cells", "$ End of the File"]
    dat_fixed = [77, 87, 83] + [1 + len(text) for text in free_form]
    dat = sum(x + 2 for x in dat_fixed) + 82 * n + 131 * t + 84 * fp + 62 * fc
    plt = (47 + 2) + (8 + 2) + (26 + 2) + (49 + 2) + (39 + 2) + 47 * n + 3 + 47 * t
    if fp != 0:
        plt += (56 + 2) + (44 + 2) + 47 * fp + 3 + 62 * fc
    return dat, plt


def table_bytes(c):
    n, e, fp, fc = c["NodeCount"], c["ElementCount"], c["FieldPointCount"], c["FieldCellCount"]
    return (8 * 3 * n + 4 * 3 * 2 * e + 4 * e * 2 + 8 * 3 * 2 * e + 4 * 3 * 2 * e
            + 8 * 3 * n + 4 * 3 * 2 * e + 8 * 3 * fp + 4 * 4 * fc)


def scratch_root(counts):
    """bench/out, or a directory in tmpfs when it has room for both programs' outputs."""
    override = os.environ.get("CDB2BEM_BENCH_SCRATCH")
    if override:
        return override
    need = 2 * sum(expected_sizes(counts)) + 256 * MIB
    if os.path.isdir(SHM) and os.access(SHM, os.W_OK):
        st = os.statvfs(SHM)
        if st.f_bavail * st.f_frsize > need:
            return os.path.join(SHM, "cdb2bem-bench-%d" % os.getuid())
    return OUT


def prepare_dir(root, label, program, model):
    d = os.path.join(root, label, program)
    os.makedirs(d, exist_ok=True)
    link = os.path.join(d, "ANSYS_Model.cdb")
    if os.path.lexists(link):
        os.unlink(link)
    try:
        os.link(model, link)
    except OSError:  # another file system: a symbolic link reads the same
        os.symlink(model, link)
    return d


def drop_scratch(root, label):
    """Removes the scratch directories of `label` when they are in memory."""
    if root == OUT:
        return
    shutil.rmtree(os.path.join(root, label), ignore_errors=True)
    try:
        os.rmdir(root)
    except OSError:
        pass


def clear_outputs(d):
    for name in ("input.dat", "input.plt", "input-map.csv"):
        p = os.path.join(d, name)
        if os.path.exists(p):
            os.unlink(p)


def check_report_error(status, stdout, stderr, d):
    """Why a run of cdb2bem --check is not the expected one, or None."""
    if status != 0 or not stdout.startswith(b"nodes: ") or stderr != b"":
        return "status %d" % status
    written = [n for n in ("input.dat", "input.plt") if os.path.exists(os.path.join(d, n))]
    return "wrote %s" % ", ".join(written) if written else None


def default_jobs():
    """The threads cdb2bem takes without -j: the cores it may use, at most 16."""
    try:
        return max(1, min(16, len(os.sched_getaffinity(0))))
    except AttributeError:
        return max(1, min(16, os.cpu_count() or 1))


def timed_run(program, d, args=(), check=False, stdout_expected=CLOSING):
    """Wall seconds, CPU seconds (user + system), peak resident bytes and
    system seconds of one run of `program` with `args` in `d`; `check` for
    cdb2bem --check."""
    clear_outputs(d)
    time_file, out_file, err_file = (os.path.join(d, n) for n in ("time.txt", "stdout.txt", "stderr.txt"))
    with open(out_file, "wb") as out, open(err_file, "wb") as err:
        start = time.perf_counter()
        proc = subprocess.Popen(["/usr/bin/time", "-v", "-o", time_file, program, *args], cwd=d,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        _, status, usage = os.wait4(proc.pid, 0)  # usage includes the program /usr/bin/time waited for
        seconds = time.perf_counter() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
    with open(out_file, "rb") as f:
        stdout = f.read()
    with open(err_file, "rb") as f:
        stderr = f.read()
    if check:
        error = check_report_error(proc.returncode, stdout, stderr, d)
        if error:
            sys.exit("%s %s in %s: %s\nstdout: %r\nstderr: %r"
                     % (program, " ".join(args), d, error, stdout[:500], stderr[:500]))
    elif proc.returncode != 0 or stdout != stdout_expected or stderr != b"":
        sys.exit("%s in %s: status %d\nstdout: %r\nstderr: %r"
                 % (program, d, proc.returncode, stdout[:500], stderr[:500]))
    with open(time_file) as f:
        report = f.read()
    for name in (time_file, out_file, err_file):
        os.unlink(name)
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", report).group(1)) * 1024
    return seconds, usage.ru_utime + usage.ru_stime, rss, usage.ru_stime


def check_outputs(label, dirs, counts):
    want = expected_sizes(counts)
    for program, d in dirs.items():
        if program == "check":
            continue
        got = tuple(os.path.getsize(os.path.join(d, n)) for n in ("input.dat", "input.plt"))
        if got != want:
            sys.exit("%s %s: output sizes %s, expected %s" % (label, program, got, want))
    for name in ("input.dat", "input.plt"):
        a, b = (os.path.join(dirs[p], name) for p in ("cdb2bem", "cdb2bem-j1"))
        if subprocess.run(["cmp", "-s", a, b]).returncode != 0:
            sys.exit("%s: %s of -j 1 and of the default threads differ" % (label, name))
    for name in ("input.dat", "input.plt"):
        a, b = (os.path.join(dirs[p], name) for p in ("cdb2bem", "floor"))
        diff = subprocess.run(["cmp", a, b], stdout=subprocess.PIPE, text=True).stdout.strip()
        if diff:  # same sizes, other bytes: the floor may not format the same values
            print("  warning, %s: %s" % (label, diff), flush=True)


def warm(path):
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass


def bench_size(label, reps, keep):
    target, default_reps = SIZES[label]
    reps = reps or default_reps
    counts = generate_model.plan(target)
    model = ensure_model(label, target)
    root = scratch_root(counts)
    dirs = {p: prepare_dir(root, label, p, model) for p in ("cdb2bem", "cdb2bem-j1", "floor", "io")}
    dat, plt = expected_sizes(counts)
    programs = {"cdb2bem": (TRANSLATOR,), "cdb2bem-j1": (TRANSLATOR, "-j", "1"), "floor": (FLOOR,),
                "io": (IO_LIMIT, str(dat), str(plt))}
    check_dir = prepare_dir(root, label, "check", model)
    warm(model)
    times = {p: [] for p in list(programs) + ["check"]}
    cpus = {p: [] for p in times}
    peaks = {p: 0 for p in times}
    syss = {p: [] for p in times}
    for rep in range(reps):
        order = ["cdb2bem", "floor", "cdb2bem-j1", "io", "check"]
        order = order[rep % 5:] + order[:rep % 5]
        for p in order:
            if p == "check":
                s, cpu, rss, sys_s = timed_run(TRANSLATOR, check_dir, ("--check",), check=True)
            else:
                s, cpu, rss, sys_s = timed_run(programs[p][0], dirs[p], programs[p][1:],
                                               stdout_expected=b"" if p == "io" else CLOSING)
            times[p].append(s)
            cpus[p].append(cpu)
            syss[p].append(sys_s)
            peaks[p] = max(peaks[p], rss)
            if p == "check":
                continue
            if rep > 0 and not (keep and rep == reps - 1):
                clear_outputs(dirs[p])
        if rep == 0:
            check_outputs(label, dirs, counts)
            if not (keep and reps == 1):
                for d in dirs.values():
                    clear_outputs(d)
    if not keep:
        drop_scratch(root, label)
    med = {p: statistics.median(times[p]) for p in times}
    med_cpu = {p: statistics.median(cpus[p]) for p in times}
    med_sys = {p: statistics.median(syss[p]) for p in times}
    mb = os.path.getsize(model) / 1e6
    row = {"label": label, "counts": counts, "model_mb": mb, "reps": reps,
           "t": med["cdb2bem"], "f": med["floor"], "ratio": med["cdb2bem"] / med["floor"],
           "tc": med_cpu["cdb2bem"], "fc": med_cpu["floor"],
           "cpu_ratio": med_cpu["cdb2bem"] / med_cpu["floor"], "mbs": mb / med_cpu["cdb2bem"],
           "rss_t": peaks["cdb2bem"], "rss_f": peaks["floor"], "tables": table_bytes(counts),
           "t1": med["cdb2bem-j1"], "tc1": med_cpu["cdb2bem-j1"], "rss_t1": peaks["cdb2bem-j1"],
           "check": med_cpu["check"], "check_wall": med["check"], "rss_check": peaks["check"],
           "check_ratio": med_cpu["check"] / med_cpu["cdb2bem"],
           "io": med["io"], "io_cpu": med_cpu["io"], "sys": med_sys}
    for p in times:
        print("  %-6s %-10s wall %s   cpu %s   sys %s" % (
            label, p, " ".join("%.2f" % x for x in times[p]), " ".join("%.2f" % x for x in cpus[p]),
            " ".join("%.2f" % x for x in syss[p])), flush=True)
    return row


def bench_vtu(label, reps):
    """CPU seconds of the plain translation and of the run with --vtu on model
    `label`, alternating; the .vtu costs the difference of their medians."""
    target, default_reps = SIZES[label]
    model = ensure_model(label, target)
    root = scratch_root(generate_model.plan(target))
    d = prepare_dir(root, label, "vtu", model)
    vtu = os.path.join(d, "model.vtu")
    warm(model)
    cpus = {"plain": [], "vtu": []}
    for rep in range(reps or default_reps):
        order = [("plain", []), ("vtu", ["--vtu", vtu])]
        for kind, args in order if rep % 2 == 0 else reversed(order):
            clear_outputs(d)
            if os.path.exists(vtu):
                os.unlink(vtu)
            out_file = os.path.join(d, "stdout.txt")
            with open(out_file, "wb") as out:
                proc = subprocess.Popen([TRANSLATOR] + args, cwd=d, stdin=subprocess.DEVNULL,
                                        stdout=out, stderr=subprocess.PIPE)
                _, status, usage = os.wait4(proc.pid, 0)
            with open(out_file, "rb") as f:
                stdout = f.read()
            if os.waitstatus_to_exitcode(status) != 0 or stdout != CLOSING:
                sys.exit("%s %s in %s: status %d, stdout %r" % (
                    TRANSLATOR, " ".join(args), d, os.waitstatus_to_exitcode(status), stdout[:500]))
            cpus[kind].append(usage.ru_utime + usage.ru_stime)
    vtu_mb = os.path.getsize(vtu) / 1e6
    drop_scratch(root, label)
    plain, with_vtu = (statistics.median(cpus[k]) for k in ("plain", "vtu"))
    print("  %-4s --vtu    cpu plain %s   with --vtu %s" % (
        label, " ".join("%.2f" % x for x in cpus["plain"]),
        " ".join("%.2f" % x for x in cpus["vtu"])), flush=True)
    return {"label": label, "plain": plain, "vtu": with_vtu - plain, "vtu_mb": vtu_mb}


def volume_model_path():
    return os.path.join(MODELS, "cube_%d_v%d.cdb" % (VOLUME_BRICKS, MODEL_VERSION))


def bench_skin(reps):
    """Wall seconds of the plain translation of the 1M surface model and of
    --skin on the 1M-brick volume model, alternating; the skin run's peak."""
    surface = ensure_model("1M", SIZES["1M"][0])
    volume = volume_model_path()
    if not os.path.exists(volume):
        os.makedirs(MODELS, exist_ok=True)
        start = time.perf_counter()
        generate_model.write_volume_model(volume, VOLUME_BRICKS)
        print("generated %s in %.1f s" % (os.path.relpath(volume, ROOT), time.perf_counter() - start),
              flush=True)
    root = scratch_root(generate_model.plan(SIZES["1M"][0]))
    dirs = {"plain": prepare_dir(root, "skin", "plain", surface),
            "skin": prepare_dir(root, "skin", "skin", volume)}
    warm(surface)
    warm(volume)
    walls = {"plain": [], "skin": []}
    cpus = {"plain": [], "skin": []}
    peak = 0
    for rep in range(reps or SIZES["1M"][1]):
        order = ["plain", "skin"] if rep % 2 == 0 else ["skin", "plain"]
        for kind in order:
            s, cpu, rss, _ = timed_run(TRANSLATOR, dirs[kind], ("--skin",) if kind == "skin" else ())
            walls[kind].append(s)
            cpus[kind].append(cpu)
            if kind == "skin":
                peak = max(peak, rss)
            clear_outputs(dirs[kind])
    drop_scratch(root, "skin")
    for kind in walls:
        print("  1M   %-10s wall %s   cpu %s" % (kind, " ".join("%.2f" % x for x in walls[kind]),
                                                " ".join("%.2f" % x for x in cpus[kind])), flush=True)
    med = {k: statistics.median(v) for k, v in walls.items()}
    med_cpu = {k: statistics.median(v) for k, v in cpus.items()}
    return {"plain": med["plain"], "skin": med["skin"], "plain_cpu": med_cpu["plain"],
            "skin_cpu": med_cpu["skin"], "peak": peak, "counts": generate_model.plan_volume(VOLUME_BRICKS)}


def render_skin(r):
    ratio = r["skin"] / r["plain"]
    c = r["counts"]
    return ("- --skin, 1M bricks (%d nodes, %d skin faces, %d triangles): %.3f s wall (%.3f CPU) "
            "against the plain translation of the 1M surface model's %.3f s (%.3f CPU): %.2f, "
            "target <= %.1f: %s; peak %.1f MiB, target <= %.0f MiB: %s\n"
            % (c["NodeCount"], c["SkinFaces"], c["TriangleCount"], r["skin"], r["skin_cpu"],
               r["plain"], r["plain_cpu"], ratio, SKIN_TARGET,
               "met" if ratio <= SKIN_TARGET else "NOT met", r["peak"] / MIB,
               SKIN_PEAK_TARGET / MIB, "met" if r["peak"] <= SKIN_PEAK_TARGET else "NOT met"))


def render_vtu(rows):
    """One line per size: what --vtu adds to the translation."""
    lines = []
    for r in rows:
        share = r["vtu"] / r["plain"]
        judged = (", target <= %.1f: %s" % (VTU_TARGET, "met" if share <= VTU_TARGET else "NOT met")
                  if r["label"] == "1M" else "")
        lines.append("- .vtu, %s: --vtu adds %.3f CPU s to the translation's %.3f (%.2f of it; "
                     "the .vtu is %.0f MB, the model check included)%s"
                     % (r["label"], r["vtu"], r["plain"], share, r["vtu_mb"], judged))
    return "\n".join(lines)


def file_system(path):
    """The type of the file system holding `path`, from /proc/mounts."""
    best, kind = "", "?"
    real = os.path.realpath(path)
    try:
        with open("/proc/mounts") as f:
            for line in f:
                fields = line.split()
                point = fields[1]
                if (real == point or real.startswith(point.rstrip("/") + "/")) and len(point) > len(best):
                    best, kind = point, fields[2]
    except OSError:
        pass
    return kind


def bench_sync(label, reps):
    """Wall and CPU seconds of the default run on model `label` with its outputs
    synced to the disk and with CDB2BEM_NO_SYNC=1, alternating, in the bench's
    scratch directory and, when that is in memory, in bench/out on the disk.
    Each is the fastest of its runs: the difference is small beside what other
    work on a shared machine adds to some runs."""
    target, _ = SIZES[label]
    default_reps = 9
    model = ensure_model(label, target)
    root = scratch_root(generate_model.plan(target))
    places = [root] if root == OUT else [root, OUT]
    warm(model)
    rows = []
    for place in places:
        d = prepare_dir(place, label, "sync", model)
        walls = {"synced": [], "unsynced": []}
        cpus = {"synced": [], "unsynced": []}
        for rep in range(reps or default_reps):
            order = ["synced", "unsynced"]
            for kind in order if rep % 2 == 0 else reversed(order):
                clear_outputs(d)
                subprocess.run(["sync"])  # the outputs of the run before are not waited for
                env = dict(os.environ)
                env.pop("CDB2BEM_NO_SYNC", None)
                if kind == "unsynced":
                    env["CDB2BEM_NO_SYNC"] = "1"
                start = time.monotonic()
                proc = subprocess.Popen([TRANSLATOR], cwd=d, env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                _, status, usage = os.wait4(proc.pid, 0)
                walls[kind].append(time.monotonic() - start)
                cpus[kind].append(usage.ru_utime + usage.ru_stime)
                if os.waitstatus_to_exitcode(status) != 0:
                    sys.exit("%s in %s: status %d" % (TRANSLATOR, d, os.waitstatus_to_exitcode(status)))
        clear_outputs(d)
        drop_scratch(place, label)
        print("  %-4s sync     %s: wall synced %s   unsynced %s" % (
            label, file_system(d), " ".join("%.2f" % x for x in walls["synced"]),
            " ".join("%.2f" % x for x in walls["unsynced"])), flush=True)
        rows.append({"label": label, "place": "bench's directory" if place == root else "bench/out",
                     "fs": file_system(place),
                     "reps": len(walls["synced"]),
                     **{k + "_wall": min(v) for k, v in walls.items()},
                     **{k + "_cpu": min(v) for k, v in cpus.items()}})
    return rows


def render_sync(rows):
    """One line per place: what syncing the outputs adds to the default run."""
    lines = []
    for r in rows:
        added = r["synced_wall"] - r["unsynced_wall"]
        share = added / r["unsynced_wall"]
        judged = (", target <= %.2f on the bench's directory: %s"
                  % (SYNC_TARGET, "met" if share <= SYNC_TARGET else "NOT met")
                  if r["place"] == "bench's directory" else "")
        lines.append("- sync, %s, %s (%s), fastest of %d: synced %.3f s wall (%.3f CPU), "
                     "CDB2BEM_NO_SYNC=1 %.3f s (%.3f CPU): the sync adds %.3f s, %.2f of the run%s"
                     % (r["label"], r["place"], r["fs"], r["reps"], r["synced_wall"],
                        r["synced_cpu"], r["unsynced_wall"], r["unsynced_cpu"], added, share,
                        judged))
    return "\n".join(lines)


def run_busy(reps):
    """The busy section on the 1M model (see busy_bench.py)."""
    model = ensure_model("1M", SIZES["1M"][0])
    root = scratch_root(generate_model.plan(SIZES["1M"][0]))
    dirs = {kind: prepare_dir(root, "busy", kind, model) for kind in ("default", "j1")}
    warm(model)
    rows = busy_bench.bench_busy(TRANSLATOR, dirs, reps or BUSY_REPS, busy_bench.cores(), timed_run,
                                 clear_outputs)
    drop_scratch(root, "busy")
    return busy_bench.render_busy(rows, default_jobs())


def callgrind_counts(label):
    """Instructions executed by each program on model `label`, by callgrind."""
    model = ensure_model(label, SIZES[label][0])
    result = {}
    root = scratch_root(generate_model.plan(SIZES[label][0]))
    for p, program in (("cdb2bem", TRANSLATOR), ("floor", FLOOR)):
        d = prepare_dir(root, label, p, model)
        clear_outputs(d)
        out = os.path.join(d, "callgrind.out")
        proc = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, program],
                              cwd=d, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        m = re.search(r"Collected : (\d+)", proc.stderr)
        if proc.returncode != 0 or m is None:
            sys.exit("callgrind of %s failed:\n%s" % (p, proc.stderr[-2000:]))
        result[p] = int(m.group(1))
        clear_outputs(d)
        os.unlink(out)
    drop_scratch(root, label)
    return result


def render(rows, callgrind, small_label):
    jobs = default_jobs()
    allowance = MEMORY_ALLOWANCE + THREAD_ALLOWANCE * (jobs - 1)
    lines = []
    lines.append("cdb2bem runs with -j 1 and with its default threads (-j %d on this machine)." % jobs)
    lines.append("")
    lines.append("| model | nodes | elements | model MB | floor CPU s | floor wall s "
                 "| -j 1 CPU s | -j 1 wall s | -j 1 CPU ratio "
                 "| -j %d CPU s | -j %d wall s | CPU ratio | wall ratio | MB/s wall "
                 "| -j 1 peak MiB | -j %d peak MiB | floor peak MiB | tables MiB | allowed MiB |"
                 % (jobs, jobs, jobs))
    lines.append("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for r in rows:
        c = r["counts"]
        lines.append("| %s | %d | %d | %.0f | %.3f | %.3f | %.3f | %.3f | %.2f | %.3f | %.3f | %.2f | %.2f "
                     "| %.0f | %.1f | %.1f | %.1f | %.1f | %.1f |" % (
                         r["label"], c["NodeCount"] + c["FieldPointCount"],
                         c["ElementCount"] + c["FieldCellCount"], r["model_mb"], r["fc"], r["f"],
                         r["tc1"], r["t1"], r["tc1"] / r["fc"], r["tc"], r["t"], r["cpu_ratio"],
                         r["ratio"], r["model_mb"] / r["t"], r["rss_t1"] / MIB, r["rss_t"] / MIB,
                         r["rss_f"] / MIB, r["tables"] / MIB, (r["tables"] + allowance) / MIB))
    lines.append("")
    lines.append("| model | I/O limit wall s | I/O limit CPU s | -j %d wall / I/O limit wall "
                 "| sys s: I/O limit | floor | -j 1 | -j %d |" % (jobs, jobs))
    lines.append("|---|---:|---:|---:|---:|---:|---:|---:|")
    for r in rows:
        lines.append("| %s | %.3f | %.3f | %.2f | %.3f | %.3f | %.3f | %.3f |" % (
            r["label"], r["io"], r["io_cpu"], r["t"] / r["io"], r["sys"]["io"], r["sys"]["floor"],
            r["sys"]["cdb2bem-j1"], r["sys"]["cdb2bem"]))
    lines.append("")
    lines.append("| model | cdb2bem CPU s | check CPU s | check/cdb2bem | check wall s | check peak MiB |")
    lines.append("|---|---:|---:|---:|---:|---:|")
    for r in rows:
        lines.append("| %s | %.3f | %.3f | %.2f | %.3f | %.1f |" % (
            r["label"], r["tc"], r["check"], r["check_ratio"], r["check_wall"], r["rss_check"] / MIB))
    lines.append("")
    lines.append("Nodes and elements count the field points and field cells too. CPU seconds are "
                 "user + system time of all threads; wall seconds are what the user waits, and on "
                 "this shared machine they also count the time spent waiting for a CPU. Ratios are "
                 "cdb2bem / floor. MB/s wall is model MB per second of the default run. Peaks are "
                 "the maximum resident set size of `/usr/bin/time -v`; allowed is the ten tables "
                 "+ 16 MiB + 8 MiB per thread beyond the first. The I/O limit reads the model "
                 "and writes two files of the outputs' sizes, converting nothing; sys s is the "
                 "system time, medians.")
    lines.append("")
    by = {r["label"]: r for r in rows}
    for label in ("1M", "1M-i10"):
        if label not in by:
            continue
        r = by[label]
        lines.append("- one thread, %s: cdb2bem -j 1/floor = %.2f CPU (wall %.2f), target <= %.2f: %s"
                     % (label, r["tc1"] / r["fc"], r["t1"] / r["f"], RATIO_TARGET,
                        "met" if r["tc1"] / r["fc"] <= RATIO_TARGET else "NOT met"))
        lines.append("- threads, %s: cdb2bem/floor = %.2f wall, target <= %.2f: %s; %.2f CPU, "
                     "target <= %.1f: %s"
                     % (label, r["ratio"], WALL_TARGET, "met" if r["ratio"] <= WALL_TARGET else "NOT met",
                        r["cpu_ratio"], CPU_TARGET, "met" if r["cpu_ratio"] <= CPU_TARGET else "NOT met"))
        io = r["t"] / r["io"]
        lines.append("- I/O limit, %s: cdb2bem/I/O limit = %.2f wall (%.3f s against %.3f s), "
                     "target <= %.1f: %s; sys %.3f s against %.3f s"
                     % (label, io, r["t"], r["io"], IO_TARGET, "met" if io <= IO_TARGET else "NOT met",
                        r["sys"]["cdb2bem"], r["sys"]["io"]))
    if "1M" in by:
        r = by["1M"]
        lines.append("- check, 1M: cdb2bem --check/cdb2bem = %.2f, target <= %.1f: %s"
                     % (r["check_ratio"], CHECK_TARGET,
                        "met" if r["check_ratio"] <= CHECK_TARGET else "NOT met"))
    for r in rows:
        ok = r["rss_t"] <= r["tables"] + allowance and r["rss_t1"] <= r["tables"] + MEMORY_ALLOWANCE
        lines.append("- memory, %s: cdb2bem peak %.1f MiB (-j 1: %.1f), allowed %.1f MiB (-j 1: %.1f): %s"
                     % (r["label"], r["rss_t"] / MIB, r["rss_t1"] / MIB, (r["tables"] + allowance) / MIB,
                        (r["tables"] + MEMORY_ALLOWANCE) / MIB, "met" if ok else "NOT met"))
    if "1M" in by and "4M" in by:
        s = by["4M"]["t"] / by["1M"]["t"]
        lines.append("- scale: cdb2bem 4M/1M = %.2f wall (CPU %.2f; -j 1 CPU %.2f; floor %.2f; model "
                     "size %.2f), target <= %.1f: %s"
                     % (s, by["4M"]["tc"] / by["1M"]["tc"], by["4M"]["tc1"] / by["1M"]["tc1"],
                        by["4M"]["fc"] / by["1M"]["fc"], by["4M"]["model_mb"] / by["1M"]["model_mb"],
                        SCALE_TARGET, "met" if s <= SCALE_TARGET else "NOT met"))
    if callgrind:
        lines.append("- callgrind, %s model: cdb2bem %d instructions, floor %d, ratio %.2f"
                     % (small_label, callgrind["cdb2bem"], callgrind["floor"],
                        callgrind["cdb2bem"] / callgrind["floor"]))
    return "\n".join(lines)


def machine_facts():
    model = ""
    try:
        out = subprocess.run(["lscpu"], stdout=subprocess.PIPE, text=True).stdout
        m = re.search(r"Model name:\s*(.+)", out)
        model = m.group(1).strip() if m else ""
    except OSError:
        pass
    mem = ""
    try:
        with open("/proc/meminfo") as f:
            kb = int(re.search(r"MemTotal:\s*(\d+)", f.read()).group(1))
            mem = "%.0f GiB RAM" % (kb / 1024 / 1024)
    except (OSError, AttributeError):
        pass
    gxx = subprocess.run(["g++", "--version"], stdout=subprocess.PIPE, text=True).stdout.splitlines()[0]
    return "%s, %d CPUs (nproc), %s, %s %s, %s" % (
        model, os.cpu_count() or 0, mem, platform.system(), platform.release(), gxx)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[1].strip())
    ap.add_argument("--sizes", default="10k,1M,1M-i10,4M")
    ap.add_argument("--reps", type=int, default=0, help="repetitions per size (default 9 for the 1M models, 3 for 4M, 5 for 10k)")
    ap.add_argument("--callgrind-size", default=None,
                    help="the model callgrind counts on (default the smallest size)")
    ap.add_argument("--callgrind", action="store_true", help="also count instructions on the small model")
    ap.add_argument("--keep", action="store_true", help="keep the output files of the last run")
    ap.add_argument("--no-record", action="store_true", help="do not write bench/RESULTS.md")
    ap.add_argument("--sections", default=",".join(SECTIONS),
                    help="what to run (default all): main (the table and targets), vtu, skin, "
                    "sync, busy (the last three with the 1M size only)")
    args = ap.parse_args()
    labels = args.sizes.split(",")
    sections = args.sections.split(",")
    for section in sections:
        if section not in SECTIONS:
            sys.exit("unknown section %s (known: %s)" % (section, ", ".join(SECTIONS)))
    for label in labels:
        if label not in SIZES:
            sys.exit("unknown size %s (known: %s)" % (label, ", ".join(SIZES)))
    if not os.path.exists("/usr/bin/time"):
        sys.exit("/usr/bin/time is missing: apt-get install time")
    load = os.getloadavg()
    build()
    for label in labels:
        ensure_model(label, SIZES[label][0])
    parts = []
    rows = []
    callgrind = None
    if "main" in sections:
        rows = [bench_size(label, args.reps, args.keep) for label in labels]
        small = args.callgrind_size or min(labels, key=lambda x: SIZES[x][0])
        callgrind = callgrind_counts(small) if args.callgrind else None
        parts.append(render(rows, callgrind, small))
    if "vtu" in sections:
        parts.append(render_vtu([bench_vtu(label, args.reps) for label in labels
                                 if label not in ELEMENT_WIDTHS]))
    if "1M" in labels and "skin" in sections:
        parts.append(render_skin(bench_skin(args.reps)))
    if "1M" in labels and "sync" in sections:
        parts.append(render_sync(bench_sync("1M", args.reps)))
    if "1M" in labels and "busy" in sections:
        parts.append(run_busy(args.reps))
    table = "\n".join(parts)
    print()
    print(table)
    if not args.no_record and set(labels) == set(SIZES) and set(sections) == set(SECTIONS):
        stamp = datetime.datetime.now().strftime("%Y-%m-%d %H:%M")
        results = os.path.join(BENCH, "RESULTS.md")
        # The sections written by hand after the figures (analyses, before
        # and after) are kept.
        notes = ""
        if os.path.exists(results):
            with open(results) as f:
                old = f.read()
            at = old.find("\n## ")
            notes = old[at:] if at >= 0 else ""
        with open(results, "w") as f:
            f.write("# Benchmark results\n\nThe last full `make bench`%s.\n\n"
                    "- date: %s\n- machine: %s\n- load average at the start: %.2f %.2f %.2f "
                    "(the machine is shared)\n- repetitions: %s; times are medians, the order of "
                    "the programs rotating between repetitions\n\n%s\n"
                    % (" (with `--callgrind`)" if callgrind else "", stamp, machine_facts(), *load,
                       ", ".join("%s %d" % (r["label"], r["reps"]) for r in rows), table))
            f.write(notes)
    return 0


if __name__ == "__main__":
    sys.exit(main())
