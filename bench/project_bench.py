#!/usr/bin/env python3
"""Times checking a whole project in one run against compiling its top scripts one process each.

Generates a project of 1,000 top scripts of 200 lines each; every top script includes 5 of
20 shared files (lib/s00.vs, with the names every script uses, and 4 others). Then, side by
side and alternating, the best of several runs of:

  loop      a shell loop that runs `vorn TOP out.bin` once per top script;
  project   `vorn-check --project` in the project folder.

The project check must take at most a quarter of the loop's time. Then the project model
(vorn-project-bench) loads the project and takes one change of lib/s00.vs, which all 1,000
top scripts include: the time, the compiles and the memory of bringing it up to date.

Usage: project_bench.py [--bin FOLDER] [--tops N] [--runs N] [--keep DIR]
Standard library only.
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_BIN = os.path.join(HERE, "..", "build", "src")

SHARED = 20
INCLUDES = 5
LINES = 200
COMMANDS = {"Wait": 1, "Say": 1, "Stop": 0, "If": 3, "Set": 2, "Add": 2}
CONDITIONS = ["Equal", "NotEqual", "LessThan", "GreaterThan"]
EVENTS = 64


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)


def statement(rng, variables, constants):
    name = rng.choice(list(COMMANDS))
    if name == "Wait":
        return f"  Wait({rng.randrange(100)})"
    if name == "Say":
        return f'  Say("line {rng.randrange(1000)} said")'
    if name == "Stop":
        return "  Stop()"
    if name == "If":
        return f"  If({rng.choice(variables)}, {rng.choice(CONDITIONS)}, {rng.choice(constants)})"
    if name == "Set":
        return f"  Set({rng.choice(variables)}, {rng.choice(constants)})"
    return f"  Add({rng.choice(variables)}, &{rng.randrange(1, 4)})"


def generate(folder, tops):
    rng = random.Random(15)
    write(os.path.join(folder, "events.lst"), "".join(f"Event{i:02d} {i + 1}\n" for i in range(EVENTS)))
    write(os.path.join(folder, "command.lst"),
          "".join(f"{name} {i} {count}\n" for i, (name, count) in enumerate(COMMANDS.items())))
    # Every shared file defines five variables and five constants of its own, and uses them.
    for s in range(SHARED):
        variables = [f"V{s:02d}x{k}" for k in range(5)]
        constants = [f"C{s:02d}x{k}" for k in range(5)]
        lines = [f"; shared file {s}"]
        lines += [f"defvar {v} {s * 5 + k}" for k, v in enumerate(variables)]
        lines += [f"defnum {c} {s * 100 + k}" for k, c in enumerate(constants)]
        lines += [statement(rng, variables + ["Self"], constants) for _ in range(9)]
        write(os.path.join(folder, "lib", f"s{s:02d}.vs"), "\n".join(lines) + "\n")
    for t in range(tops):
        shared = [0] + rng.sample(range(1, SHARED), INCLUDES - 1)
        variables = ["Self", "Time"] + [f"V{s:02d}x{k}" for s in shared for k in range(5)]
        constants = [f"C{s:02d}x{k}" for s in shared for k in range(5)]
        lines = [f"include lib\\/s{s:02d}.vs" for s in shared]
        lines.append(f"defvar Mine{t} 200")
        variables.append(f"Mine{t}")
        events = iter(rng.sample(range(EVENTS), EVENTS))
        while len(lines) < LINES:
            r = rng.random()
            if r < 0.05:
                lines.append(f"Event{next(events):02d}:")
            elif r < 0.12:
                lines.append(f"; comment {len(lines)}")
            else:
                lines.append(statement(rng, variables, constants))
        write(os.path.join(folder, f"top{t:04d}.vs"), "\n".join(lines) + "\n")


def timed(argv, cwd):
    start = time.perf_counter()
    done = subprocess.run(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    return elapsed, done


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", default=DEFAULT_BIN, help="folder holding vorn, vorn-check and vorn-project-bench's build")
    parser.add_argument("--tops", type=int, default=1000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--keep", help="generate the project here and keep it")
    args = parser.parse_args()
    build = os.path.abspath(args.bin)
    vorn = os.path.join(build, "vorn")
    check = os.path.join(build, "vorn-check")
    change = os.path.join(build, "..", "bench", "vorn-project-bench")
    for program in (vorn, check, change):
        if not os.access(program, os.X_OK):
            sys.exit(f"project_bench: {program} is not built")

    folder = args.keep or tempfile.mkdtemp(prefix="vorn-project-bench-")
    try:
        generate(folder, args.tops)
        loop = ["bash", "-c", 'for f in top*.vs; do "$0" "$f" out.bin > /dev/null || exit 1; done', vorn]
        project = [check, "--project"]
        loop_times, project_times = [], []
        for _ in range(args.runs):
            elapsed, done = timed(loop, folder)
            if done.returncode != 0:
                sys.exit(f"project_bench: the loop of vorn failed: {done.stderr.decode()}")
            loop_times.append(elapsed)
            elapsed, done = timed(project, folder)
            if done.returncode != 0:
                sys.exit(f"project_bench: vorn-check --project ended with {done.returncode}")
            project_times.append(elapsed)
        best_loop, best_project = min(loop_times), min(project_times)
        ratio = best_project / best_loop
        print(f"project: {args.tops} top scripts of {LINES} lines, each including {INCLUDES} of {SHARED} shared files")
        print(f"  loop of vorn, one process per top script: {best_loop:8.3f} s  (runs: "
              + ", ".join(f"{t:.3f}" for t in loop_times) + ")")
        print(f"  vorn-check --project:                     {best_project:8.3f} s  (runs: "
              + ", ".join(f"{t:.3f}" for t in project_times) + ")")
        print(f"  ratio: {ratio:.3f} (at most 0.25 wanted)")

        done = subprocess.run([change, folder, "lib/s00.vs"], stdout=subprocess.PIPE, check=True)
        figures = json.loads(done.stdout)
        print(f"one change of lib/s00.vs, which {figures['reaching']} top scripts include:")
        print(f"  load of the project model: {figures['load_seconds']:.3f} s, {figures['load_compiles']} compiles, "
              f"{figures['rss_loaded_kib'] / 1024:.1f} MiB resident")
        print(f"  the change: {figures['change_seconds']:.3f} s, {figures['change_compiles']} compiles; "
              f"diagnostics and names again: {figures['requery_seconds']:.3f} s")
        print(f"  memory: {figures['rss_after_kib'] / 1024:.1f} MiB resident after it, peak {figures['peak_kib'] / 1024:.1f} MiB")
        return 0 if ratio <= 0.25 else 1
    finally:
        if not args.keep:
            shutil.rmtree(folder)


if __name__ == "__main__":
    sys.exit(main())
