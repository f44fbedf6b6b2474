#!/usr/bin/env python3
"""Writes a genotype table for the benchmarks: POPULATIONS populations of
INDIVIDUALS individuals typed at LOCI loci of ALLELES alleles, fully typed,
haplotypes drawn from a few founder haplotypes per population (LD) with
mutation. The same table for the same arguments on every run.
Usage: make_table.py POPULATIONS INDIVIDUALS LOCI ALLELES OUT.csv"""
import random
import sys

populations, individuals, loci, alleles = (int(a) for a in sys.argv[1:5])
rng = random.Random(populations * 1000003 + individuals * 1009 + loci * 17 + alleles)
names = [f"L{i + 1}" for i in range(loci)]
rows = ["population," + ",".join(f"{n}_1,{n}_2" for n in names)]
for p in range(populations):
    founders = [[rng.randrange(alleles) for _ in names] for _ in range(4)]
    for _ in range(individuals):
        haplotypes = []
        for _ in range(2):
            h = list(rng.choice(founders))
            for i in range(loci):
                if rng.random() < 0.4:
                    h[i] = rng.randrange(alleles)
            haplotypes.append(h)
        cells = [f"a{h[i] + 1}" for i in range(loci) for h in haplotypes]
        rows.append(f"P{p + 1}," + ",".join(cells))
with open(sys.argv[5], "w") as out:
    out.write("\n".join(rows) + "\n")
