#!/usr/bin/env python3
"""Peak resident memory of whole runs against --max-memory: a table with
long pair lists (a polymorphic locus missing in a third of the individuals),
the overall test and the pair tests on 1, 2 and 4 threads; and memory that
stays flat from 500 to 2000 permutations. Each run's peak is read from the
kernel (the child's maximum resident set), not timed.
Usage: memory_peak.py QUARNEL WORK_DIR"""
import os
import random
import resource
import shutil
import subprocess
import sys

program, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
MIB = 1 << 20
BUDGET = 32 * MIB
ALLOWED = BUDGET * 1.1 + 64 * MIB  # glibc and the program's own text besides

# 120 individuals of 6 loci of 9 alleles; a third miss their typings at one locus.
rng = random.Random(11)
loci = [f"L{i + 1}" for i in range(6)]
lines = ["population," + ",".join(f"{n}_1,{n}_2" for n in loci)]
for i in range(120):
    cells = []
    missing = rng.randrange(6) if i % 3 == 0 else -1
    for k in range(6):
        pair = ["", ""] if k == missing else [f"a{rng.randrange(9) + 1}" for _ in range(2)]
        cells += pair
    lines.append("P1," + ",".join(cells))
table = os.path.join(work, "long_lists.csv")
with open(table, "w") as out:
    out.write("\n".join(lines) + "\n")


def peak(name, *arguments, starts="3"):
    """Runs the program in its own process and returns its peak in bytes."""
    pid = os.fork()
    if pid == 0:
        os.chdir(work)
        with open(os.devnull, "w") as null:
            os.dup2(null.fileno(), 1)
        os.execv(program, [program, "--genotypes", table, "--out", name, "--quiet",
                           "--em-starts", starts, *arguments])
    _, status, usage = os.wait4(pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"FAIL: {name} ended with {os.waitstatus_to_exitcode(status)}")
    return usage.ru_maxrss * 1024


failures = []
for threads in (1, 2, 4):
    for mode, extra in (("overall", ["--permutations", "60"]),
                        ("pairs", ["--pairs", "--permutations", "60"])):
        name = f"{mode}{threads}"
        got = peak(name, "--threads", str(threads), "--max-memory", "32M", *extra)
        print(f"{name}: peak {got / MIB:.1f} MiB, allowed {ALLOWED / MIB:.1f} MiB")
        if got > ALLOWED:
            failures.append(name)
few = peak("few", "--threads", "2", "--permutations", "500", starts="1")
many = peak("many", "--threads", "2", "--permutations", "2000", starts="1")
print(f"500 permutations: {few / MIB:.1f} MiB, 2000: {many / MIB:.1f} MiB")
# The permuted statistics grow by 8 bytes a data set; anything else is growth.
if many > few * 1.15 + 8 * MIB:
    failures.append("flat with permutations")
if failures:
    sys.exit("FAIL: " + ", ".join(failures))
