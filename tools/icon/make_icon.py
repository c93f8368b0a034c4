#!/usr/bin/env python3
"""Draws the program icon (a teal ring with a tail, the letter Q, on a dark rounded tile)
and writes app/quorvale.ico with 16, 32 and 48 pixel images. Run again after changing it."""
import math
import struct
import sys


def pixel(size, x, y):
    c = (size - 1) / 2.0
    u, v = (x - c) / size, (y - c) / size
    # rounded square tile
    corner = 0.18
    qx, qy = max(abs(u) - (0.5 - corner), 0), max(abs(v) - (0.5 - corner), 0)
    if math.hypot(qx, qy) > corner:
        return (0, 0, 0, 0)
    r = math.hypot(u, v)
    ring = 0.24 <= r <= 0.34
    tail = 0.08 <= u <= 0.36 and abs(v - u - 0.02) < 0.06 and v > 0.1
    if ring or tail:
        return (0x26, 0xA6, 0x9A, 255)  # teal
    return (0x13, 0x17, 0x22, 255)  # dark navy


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up bitmap rows
        for x in range(size):
            r, g, b, a = pixel(size, x, y)
            rows.append(struct.pack("<BBBB", b, g, r, a))
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main(out):
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "app/quorvale.ico")
