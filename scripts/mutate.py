#!/usr/bin/env python3
"""Mutation run: plants each fault of scripts/mutants.txt in a copy of the
source, rebuilds, runs the tests, and reports which tests caught it.

    scripts/mutate.py [--work DIR] [--only ID,ID] [--full] [--quick-only]

The quick group (the unit and X11 tests) runs for every mutant. The slow group
(the end-to-end, screen, signal and recorder runs and the soak) runs only for
the mutants the quick group let through, unless --full is given. Results go to
DIR/results.tsv, one line a mutant, and a kill table is printed at the end.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The asset generator's test reads only tools/, which no mutant touches.
QUICK = ["-LE", "e2e|record", "-E", r"^AssetGenerator\."]
SLOW = ["-R", r"^(e2e|screen|signals|record)\."]
TARGETS = ["unit_tests", "x11_tests", "show", "show-record", "close_window"]


def read_mutants(path):
    mutants = []
    for block in re.split(r"\n\s*\n", open(path).read()):
        lines = [l for l in block.splitlines() if l.strip() and not l.startswith("#")]
        if not lines:
            continue
        head, file, old, new = lines[0], lines[1], lines[2], lines[3] if len(lines) > 3 else "+"
        if not (head.startswith("@ ") and old.startswith("- ") and new.startswith("+")):
            sys.exit("malformed mutant:\n" + block)
        ident, _, effect = head[2:].partition(":")
        mutants.append(dict(id=ident.strip(), effect=effect.strip(), file=file.strip(),
                            old=old[2:], new=new[2:]))
    return mutants


def run(cmd, cwd, env=None, log=None):
    with open(log or os.devnull, "w") as out:
        return subprocess.call(cmd, cwd=cwd, env=env, stdout=out, stderr=subprocess.STDOUT)


def failed_tests(build, env, selection, log, timeout, jobs=2, again=True):
    failed_log = os.path.join(build, "Testing", "Temporary", "LastTestsFailed.log")
    if os.path.exists(failed_log):
        os.remove(failed_log)
    run(["ctest", "-j%d" % jobs, "--timeout", str(timeout)] + selection, build, env, log)
    if not os.path.exists(failed_log):
        return []
    failed = [line.strip().split(":", 1)[1] for line in open(failed_log) if ":" in line]
    if not (failed and again):
        return failed
    # A test counts as catching the fault only if it fails a second time: on a
    # loaded machine the odd timing-bound run fails by itself.
    return failed_tests(build, env, ["-R", "^(%s)$" % "|".join(map(re.escape, failed))], log, timeout, jobs, False)


def start_x_server():
    # A display number well away from the ones other runs pick by themselves.
    for number in range(300 + os.getpid() % 300, 1000):
        if os.path.exists("/tmp/.X11-unix/X%d" % number):
            continue
        server = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1024x768x16",
                                   "-nolisten", "tcp", "-noreset"], stderr=subprocess.DEVNULL)
        env = dict(os.environ, DISPLAY=":%d" % number)
        for _ in range(50):
            if subprocess.call(["xdpyinfo"], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL) == 0:
                return server, env
            time.sleep(0.1)
        server.kill()
    sys.exit("no X server starts")


def copy_source(tree, work):
    """The tree's files under git, in work/src-copy; unchanged ones keep their dates."""
    source = os.path.join(work, "src-copy")
    files = set(subprocess.check_output(["git", "ls-files"], cwd=tree, text=True).split())
    for folder, _, names in os.walk(source):
        if folder.startswith(os.path.join(source, "build")):
            continue
        for name in names:
            path = os.path.join(folder, name)
            if os.path.relpath(path, source) not in files:
                os.remove(path)  # gone from the tree: a stale test would still build
    for name in files:
        target = os.path.join(source, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if not os.path.exists(target) or open(os.path.join(tree, name), "rb").read() != open(target, "rb").read():
            shutil.copy2(os.path.join(tree, name), target)
    return source


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tree", default=ROOT, help="the source tree whose tests are judged")
    parser.add_argument("--work", default=os.path.join(ROOT, "build-mutants"))
    parser.add_argument("--mutants", default=os.path.join(ROOT, "scripts", "mutants.txt"))
    parser.add_argument("--only", default="", help="the mutants to plant, by id")
    parser.add_argument("--count", type=int, default=0, help="only the first COUNT mutants")
    parser.add_argument("--full", action="store_true", help="run the slow group for every mutant")
    parser.add_argument("--resume", action="store_true", help="skip the mutants in results.tsv")
    parser.add_argument("--quick-only", action="store_true", help="skip the slow group")
    parser.add_argument("--slow-only", action="store_true",
                        help="run only the slow group (for the survivors of a --quick-only run)")
    parser.add_argument("--report", action="store_true",
                        help="only print the kill table of results.tsv (a mutant's last line counts)")
    args = parser.parse_args()

    mutants = read_mutants(args.mutants)
    if args.report:
        return report(mutants, os.path.join(args.work, "results.tsv"))
    if args.count:
        mutants = mutants[:args.count]
    done_file = os.path.join(args.work, "results.tsv")
    if args.resume and os.path.exists(done_file):
        done = {line.split("\t")[0] for line in open(done_file)}
        mutants = [m for m in mutants if m["id"] not in done]
    if args.only:
        wanted = set(args.only.split(","))
        mutants = [m for m in mutants if m["id"] in wanted]

    os.makedirs(args.work, exist_ok=True)
    source = copy_source(args.tree, args.work)
    build = os.path.join(source, "build")
    log = os.path.join(args.work, "last.log")
    if run(["cmake", "-S", source, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DSHOW_TESTS=ON"], ROOT) or \
       run(["cmake", "--build", build, "-j2", "--target"] + TARGETS, ROOT, log=log):
        sys.exit("the unmutated source does not build: see " + log)
    server, env = start_x_server()
    results = os.path.join(args.work, "results.tsv")
    try:
        for m in mutants:
            started = time.monotonic()
            status, killers = plant(m, source, build, env, log, args)
            with open(results, "a") as out:
                out.write("%s\t%s\t%s\t%.0f s\n" % (m["id"], status, " ".join(killers),
                                                     time.monotonic() - started))
            print("%-36s %-8s %s" % (m["id"], status, " ".join(killers)[:100]), flush=True)
    finally:
        server.terminate()
    report(mutants, results)


def plant(m, source, build, env, log, args):
    """Builds the source with the mutant in and runs the tests; the status and the killers."""
    path = os.path.join(source, m["file"])
    original = open(path).read()
    if original.count(m["old"]) != 1:
        return "unplaced", []
    open(path, "w").write(original.replace(m["old"], m["new"]))
    try:
        if run(["cmake", "--build", build, "-j2", "--target"] + TARGETS, ROOT, log=log):
            return "unbuilt", []
        killers = [] if args.slow_only else failed_tests(build, env, QUICK, log, 60)
        if args.full or args.slow_only or not (killers or args.quick_only):
            killers += failed_tests(build, env, SLOW, log, 300, jobs=3)
        return ("killed" if killers else "survived"), killers
    finally:
        open(path, "w").write(original)


def report(mutants, results):
    rows = {}
    for line in open(results):
        ident, status, killers = line.rstrip("\n").split("\t")[:3]
        rows[ident] = status, killers.split()
    counts = {}
    for status, _ in rows.values():
        counts[status] = counts.get(status, 0) + 1
    print("\nmutants %d: %s" % (len(rows), ", ".join("%s %d" % kv for kv in sorted(counts.items()))))
    for m in mutants:
        if rows.get(m["id"], ("",))[0] == "survived":
            print("  survived %-34s %s (%s)" % (m["id"], m["effect"], m["file"]))
    sole = {}
    for ident, (_, killers) in rows.items():
        if len(killers) == 1:
            sole.setdefault(killers[0], []).append(ident)
    print("\nTests that alone catch a mutant:")
    for test, ids in sorted(sole.items()):
        print("  %-60s %s" % (test, " ".join(ids)))


if __name__ == "__main__":
    main()
