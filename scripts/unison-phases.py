#!/usr/bin/env python3
"""Searches the first phases of the 100 grain voices (dsp/grain_voices.cpp,
unison_phases): a grid of n x n blocks on one pitch (n = 2 ... 10) must sum
to equal levels in both channels, nearly in phase (little loss in a mono
fold-down) and about as loud as unrelated voices. Prints the table."""
import cmath, math, random

def sums(phases, n):
    left = right = 0
    for i in range(1, n * n + 1):
        x = ((i - 1) % n) / (n - 1)
        p = cmath.exp(2j * math.pi * phases[i - 1])
        left += math.cos(x * math.pi / 2) * p
        right += math.sin(x * math.pi / 2) * p
    return left, right

def faults(phases):
    cost = 0
    for n in range(2, 11):
        left, right = sums(phases, n)
        l2, r2 = abs(left) ** 2 + 1e-12, abs(right) ** 2 + 1e-12
        balance = abs(10 * math.log10(l2 / r2))
        mono = -10 * math.log10(abs(left + right) ** 2 / (2 * (l2 + r2)) + 1e-12)
        level = abs(10 * math.log10((l2 + r2) / (n * n)))
        cost += max(0, balance - 0.2) ** 2 + max(0, mono - 0.3) ** 2 + max(0, level - 1.0) ** 2
    return cost

random.seed(7)
phases = [(0.2882 * i * i) % 1 for i in range(1, 101)]
cost = faults(phases)
step = 0.25
for round in range(40000):
    if cost == 0:
        break
    i = random.randrange(100)
    old = phases[i]
    phases[i] = (old + random.uniform(-step, step)) % 1
    new = faults(phases)
    if new <= cost:
        cost = new
    else:
        phases[i] = old
    if round % 5000 == 4999:
        step *= 0.7
for n in range(2, 11):
    left, right = sums(phases, n)
    print("// n=%d: balance %.2f dB, mono %.2f dB, level %.2f dB" % (
        n, 20 * math.log10(abs(left) / abs(right)),
        -10 * math.log10(abs(left + right) ** 2 / (2 * (abs(left) ** 2 + abs(right) ** 2))),
        10 * math.log10((abs(left) ** 2 + abs(right) ** 2) / (n * n))))
print(", ".join("%.4f" % p for p in phases))
