#!/usr/bin/env python3
"""Writes a genotype table shaped like a human microsatellite panel: 29
populations of 20 to 80 individuals (1350 in all) typed at 678 loci of 5 to
30 alleles (mostly 8 to 15), allele sizes in repeat steps. Each locus has
ancestral allele frequencies peaked around a modal length; each population
draws its own from them (Dirichlet, as after drift with F about 0.05), so the
loci are unlinked and the populations differ. About 2 % of the typings are
missing (both alleles of a locus empty), more at a few poorly typed loci.
The same table for the same arguments on every run.
Usage: make_panel.py [--loci L] [--populations P] [--individuals I] [--seed S] OUT.csv"""
import argparse
import math
import random

parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
parser.add_argument("--loci", type=int, default=678)
parser.add_argument("--populations", type=int, default=29)
parser.add_argument("--individuals", type=int, default=1350, help="in all populations together")
parser.add_argument("--seed", type=int, default=20261209)
parser.add_argument("out")
args = parser.parse_args()
rng = random.Random(args.seed)


def dirichlet(weights):
    draws = [rng.gammavariate(max(w, 1e-3), 1.0) for w in weights]
    total = sum(draws)
    return [d / total for d in draws]


def population_sizes():
    """Sizes of 20 to 80 that add up to the individuals asked for."""
    mean = args.individuals / args.populations
    sizes = [max(20, min(80, round(rng.gauss(mean, mean / 3)))) for _ in range(args.populations)]
    while sum(sizes) != args.individuals:
        i = rng.randrange(args.populations)
        step = 1 if sum(sizes) < args.individuals else -1
        if 20 <= sizes[i] + step <= 80:
            sizes[i] += step
    return sizes


def locus():
    """(allele labels, ancestral frequencies, missing rate) of one locus."""
    count = min(30, 5 + round(rng.gammavariate(2.0, 3.5)))
    step = rng.choice((2, 2, 2, 4, 4))
    first = rng.randrange(80, 300, step)
    labels = [str(first + step * i) for i in range(count)]
    mode = rng.uniform(0.3, 0.6) * (count - 1)
    spread = max(1.5, count / 4)
    peaked = [math.exp(-(((i - mode) / spread) ** 2)) + 0.02 for i in range(count)]
    ancestral = dirichlet([10 * p / sum(peaked) * count for p in peaked])
    missing = 0.15 if rng.random() < 0.02 else rng.uniform(0.0, 0.03)
    return labels, ancestral, missing


loci = [locus() for _ in range(args.loci)]
names = [f"M{i + 1:03d}" for i in range(args.loci)]
rows = ["population," + ",".join(f"{n}_1,{n}_2" for n in names)]
for p, size in enumerate(population_sizes()):
    theta = 19.0  # (1 - F) / F with F = 0.05
    frequencies = [dirichlet([theta * a for a in ancestral]) for _, ancestral, _ in loci]
    for _ in range(size):
        cells = []
        for (labels, _, missing), f in zip(loci, frequencies):
            if rng.random() < missing:
                cells += ["", ""]
            else:
                cells += rng.choices(labels, weights=f, k=2)
        rows.append(f"Pop{p + 1:02d}," + ",".join(cells))
with open(args.out, "w") as out:
    out.write("\n".join(rows) + "\n")
