#!/usr/bin/env python3
"""Draws the program's icon: the hodgepodge automaton of examples/spirals.csp
grown on a small torus, one cell per pixel (48 x 48) and four (192 x 192).
Run once from the repository root; the PNG files are kept in desktop/."""
import random
import struct
import zlib

SIZE, NS, R1, R2, K = 48, 100, 3.0, 3.0, 25.0
GENERATIONS = 400


def step(grid):
    new = [[0] * SIZE for _ in range(SIZE)]
    for r in range(SIZE):
        for c in range(SIZE):
            ill = infected = total = 0
            for dr in (-1, 0, 1):
                for dc in (-1, 0, 1):
                    if dr or dc:
                        v = grid[(r + dr) % SIZE][(c + dc) % SIZE]
                        if v >= NS - 1:
                            ill += 1
                        elif v:
                            infected += 1
                            total += v
            v = grid[r][c]
            if v == 0:
                nxt = int(infected / R1) + int(ill / R2)
            elif v >= NS - 1:
                nxt = 0
            else:
                nxt = int(total / infected + K) if infected else int(K)
            new[r][c] = min(nxt, NS - 1)
    return new


def colour(state):
    t = state / (NS - 1)  # deep blue through teal to warm white
    return (int(20 + 235 * t ** 1.5), int(30 + 200 * t), int(80 + 140 * (1 - abs(2 * t - 1))))


def png(path, grid, scale):
    side = SIZE * scale
    rows = b""
    for r in range(side):
        rows += b"\0" + b"".join(bytes(colour(grid[r // scale][c // scale])) for c in range(side))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


random.seed(7)
cells = [[random.randrange(NS) for _ in range(SIZE)] for _ in range(SIZE)]
for _ in range(GENERATIONS):
    cells = step(cells)
png("desktop/zelmora-48.png", cells, 1)
png("desktop/zelmora-192.png", cells, 4)
