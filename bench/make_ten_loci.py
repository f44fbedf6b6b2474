#!/usr/bin/env python3
"""Writes bench/data/ten_loci.csv: 2 populations x 100 individuals, 10 loci of
6 alleles, haplotypes drawn from a few founder haplotypes (LD) with mutation,
about 1 in 500 typings missing. The same file on every run (fixed seed)."""
import random

rng = random.Random(20261207)
loci = [f"L{i + 1}" for i in range(10)]
rows = ["population," + ",".join(f"{l}_1,{l}_2" for l in loci)]
for pop in ("North", "South"):
    founders = [[rng.randrange(6) for _ in loci] for _ in range(4)]
    for _ in range(100):
        haplotypes = []
        for _ in range(2):
            h = list(rng.choice(founders))
            for i in range(len(h)):
                if rng.random() < 0.3:
                    h[i] = rng.randrange(6)
            haplotypes.append(h)
        cells = []
        for i in range(len(loci)):
            for h in haplotypes:
                cells.append("" if rng.random() < 0.002 else f"a{h[i] + 1}")
        rows.append(pop + "," + ",".join(cells))
with open("bench/data/ten_loci.csv", "w") as out:
    out.write("\n".join(rows) + "\n")
