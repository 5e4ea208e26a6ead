"""The busy section of the benchmark: the default run against -j 1 while other
processes keep the cores busy, as when the solver or another job runs beside
the translation.

With B busy processes (`yes > /dev/null`, one per core but one, then one per
core), the translator runs in pairs, the default threads and -j 1 one after
the other (the order alternating), and each pair gives the ratio default /
-j 1 of its wall times. The report gives the median wall time of each and the
median of the pairs' ratios, against the target of 1.05.

The busy processes are started by the bench itself, in its own session: Linux
shares the cores between sessions first (autogroup) and then between the
threads of a session, so busy processes started from another terminal weigh
like one process, whatever their number.
"""

import os
import statistics
import subprocess

BUSY_TARGET = 1.05  # default run / -j 1, wall seconds, with busy processes beside them


def busy_counts(cores):
    """One busy process per core but one (when that is any), and one per core."""
    return sorted({max(cores - 1, 1), cores})


def start_busy(count):
    return [subprocess.Popen(["yes"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
            for _ in range(count)]


def stop_busy(processes):
    for p in processes:
        p.kill()
    for p in processes:
        p.wait()


def bench_busy(translator, dirs, reps, cores, timed_run, clear_outputs):
    """Rows of the busy section: `dirs` holds a scratch directory with the
    model for "default" and for "j1"; `timed_run(program, d, args)` times one
    run and checks how it ended."""
    rows = []
    for busy in busy_counts(cores):
        processes = start_busy(busy)
        walls = {"default": [], "j1": []}
        try:
            for rep in range(reps):
                order = ["default", "j1"] if rep % 2 == 0 else ["j1", "default"]
                for kind in order:
                    args = ("-j", "1") if kind == "j1" else ()
                    seconds = timed_run(translator, dirs[kind], args)[0]
                    walls[kind].append(seconds)
                    clear_outputs(dirs[kind])
        finally:
            stop_busy(processes)
        ratios = [d / j for d, j in zip(walls["default"], walls["j1"])]
        for kind in walls:
            print("  1M   busy %d %-8s wall %s" % (busy, kind, " ".join("%.2f" % x for x in walls[kind])),
                  flush=True)
        rows.append({"busy": busy, "reps": reps, "default": statistics.median(walls["default"]),
                     "j1": statistics.median(walls["j1"]), "ratio": statistics.median(ratios),
                     "worst": max(ratios)})
    return rows


def render_busy(rows, jobs):
    """One line per number of busy processes."""
    lines = []
    for r in rows:
        lines.append("- busy, 1M, %d busy process%s beside the run, %d pairs: default (-j %d) %.3f s "
                     "wall, -j 1 %.3f s; default/-j 1 %.2f (median of the pairs; the worst pair "
                     "%.2f), target <= %.2f: %s"
                     % (r["busy"], "" if r["busy"] == 1 else "es", r["reps"], jobs, r["default"],
                        r["j1"], r["ratio"], r["worst"], BUSY_TARGET,
                        "met" if r["ratio"] <= BUSY_TARGET else "NOT met"))
    return "\n".join(lines)


def cores():
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:
        return os.cpu_count() or 1
