#!/usr/bin/env python3
"""Draws the five 16 x 16 icons of the user tool dialog as PNG files.

icon144 Replace (two arrows in a circle), icon145 Delete (red cross),
icon146 Down (arrow), icon147 Up (arrow), icon148 Add (green plus).
Run it in this folder; it needs nothing beyond the standard library.
"""
import struct
import zlib

N = 16
CLEAR = (0, 0, 0, 0)


def canvas():
    return [[CLEAR] * N for _ in range(N)]


def put(img, x, y, c):
    if 0 <= x < N and 0 <= y < N:
        img[y][x] = c


def rect(img, x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            put(img, x, y, c)


def outline(img, dark):
    """Adds a one-pixel dark rim around the drawn shape for contrast."""
    src = [row[:] for row in img]
    for y in range(N):
        for x in range(N):
            if src[y][x][3] == 0:
                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                    xx, yy = x + dx, y + dy
                    if 0 <= xx < N and 0 <= yy < N and src[yy][xx][3] and src[yy][xx] != dark:
                        img[y][x] = dark
                        break


def plus():
    img = canvas()
    green = (40, 170, 60, 255)
    rect(img, 6, 2, 9, 13, green)
    rect(img, 2, 6, 13, 9, green)
    outline(img, (20, 90, 30, 255))
    return img


def cross():
    img = canvas()
    red = (215, 40, 40, 255)
    for i in range(2, 14):
        for w in (-1, 0, 1):
            put(img, i + w, i, red)
            put(img, 15 - i + w, i, red)
    outline(img, (120, 20, 20, 255))
    return img


def arrow(up):
    img = canvas()
    blue = (40, 90, 200, 255)
    # Head: a triangle 12 wide, then the shaft.
    for row in range(6):
        y = 2 + row
        rect(img, 7 - row - 1, y, 8 + row, y, blue)
    rect(img, 5, 8, 10, 13, blue)
    outline(img, (20, 40, 110, 255))
    if not up:
        img = img[::-1]
    return img


def replace():
    img = canvas()
    col = (200, 140, 20, 255)
    # Upper arrow pointing right.
    rect(img, 2, 4, 11, 5, col)
    for k in range(4):
        rect(img, 10 + k, 2 + k, 10 + k, 7 - k, col)
    # Lower arrow pointing left.
    rect(img, 4, 10, 13, 11, col)
    for k in range(4):
        rect(img, 5 - k, 8 + k, 5 - k, 13 - k, col)
    outline(img, (110, 70, 10, 255))
    return img


def write_png(path, img):
    raw = b"".join(b"\x00" + b"".join(bytes(px) for px in row) for row in img)

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", N, N, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    write_png("icon144.png", replace())
    write_png("icon145.png", cross())
    write_png("icon146.png", arrow(up=False))
    write_png("icon147.png", arrow(up=True))
    write_png("icon148.png", plus())
