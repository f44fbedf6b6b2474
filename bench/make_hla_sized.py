#!/usr/bin/env python3
"""Writes bench/data/hla_sized.csv: one population of 220 individuals, 3 loci
of 11, 9 and 8 alleles (792 haplotypes), drawn from a few founder haplotypes
(LD) with mutation, fully typed. The same file on every run (fixed seed)."""
import random

rng = random.Random(20261207)
alleles = {"DRB": 11, "DQA": 9, "DQB": 8}
loci = list(alleles)
rows = ["population," + ",".join(f"{l}_1,{l}_2" for l in loci)]
founders = [[rng.randrange(alleles[l]) for l in loci] for _ in range(6)]
for _ in range(220):
    haplotypes = []
    for _ in range(2):
        h = list(rng.choice(founders))
        for i, l in enumerate(loci):
            if rng.random() < 0.35:
                h[i] = rng.randrange(alleles[l])
        haplotypes.append(h)
    cells = [f"{l}*{h[i] + 1:02d}" for i, l in enumerate(loci) for h in haplotypes]
    rows.append("Cohort," + ",".join(cells))
with open("bench/data/hla_sized.csv", "w") as out:
    out.write("\n".join(rows) + "\n")
