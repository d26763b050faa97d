# A picture of the whole virtual screen as PNG: xwd dumps the screen and the program's
# windows, and the dumps are turned into PNG here (struct and zlib only), so no image library
# is needed.
import os
import re
import struct
import subprocess
import zlib


def _png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2,
                                                              0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def _xwd_to_rgb_rows(dump):
    """The rows of a 24- or 32-bit ZPixmap dump as RGB bytes."""
    header = struct.unpack(">25I", dump[:100])
    header_size, pixmap_format, depth = header[0], header[2], header[3]
    width, height, byte_order = header[4], header[5], header[7]
    bits_per_pixel, bytes_per_line = header[11], header[12]
    red_mask, green_mask, blue_mask = header[14], header[15], header[16]
    colors = header[19]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32) or depth not in (24, 32):
        raise ValueError("xwd-Format %d/%d Bit wird nicht gelesen" % (pixmap_format,
                                                                       bits_per_pixel))
    data = dump[header_size + colors * 12:]
    order = "<" if byte_order == 0 else ">"

    def shift(mask):
        return (mask & -mask).bit_length() - 1
    rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
    rows = []
    fast = order == "<" and (rs, gs, bs) == (16, 8, 0)
    size = bits_per_pixel // 8
    for y in range(height):
        line = data[y * bytes_per_line:y * bytes_per_line + width * size]
        if fast:  # bytes B, G, R (and one unused): picked apart by slices
            row = bytearray(width * 3)
            row[0::3], row[1::3], row[2::3] = line[2::size], line[1::size], line[0::size]
            rows.append(bytes(row))
            continue
        if size == 3:  # each pixel widened to four bytes, the unused one on the high side
            pad = (lambda p: p + b"\0") if order == "<" else (lambda p: b"\0" + p)
            line = b"".join(pad(line[i:i + 3]) for i in range(0, len(line), 3))
        pixels = struct.unpack(order + "%dI" % width, line)
        rows.append(bytes(b for p in pixels
                          for b in ((p >> rs) & 255, (p >> gs) & 255, (p >> bs) & 255)))
    return width, height, rows


def _dump(display, *what):
    return subprocess.run(["xwd", "-silent", "-display", display] + list(what),
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60,
                          check=True).stdout


def _viewable(display, wid):
    """A hidden window keeps its place in the tree; dumped, it would lie black over the screen."""
    info = subprocess.run(["xwininfo", "-id", wid, "-display", display], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=60).stdout.decode("utf-8", "replace")
    return "IsViewable" in info


def _windows(display):
    """The program's mapped windows, top-most last: (id, x, y) on the screen."""
    listing = subprocess.run(["xwininfo", "-root", "-tree", "-display", display],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=60,
                             check=True).stdout.decode("utf-8", "replace")
    found = []
    for line in listing.splitlines():
        m = re.search(r'(0x[0-9a-f]+) ".*": \("mv32" .*\)\s+(\d+)x(\d+)\S*\s+\+(-?\d+)\+(-?\d+)',
                      line)
        if m and int(m.group(2)) > 1 and _viewable(display, m.group(1)):
            found.append((m.group(1), int(m.group(4)), int(m.group(5))))
    return list(reversed(found))


def take(display, path):
    """Saves the screen of display as the PNG file path; returns path, or None on failure.
    The root window's dump does not always hold the program's windows (Xvfb leaves some of
    them black there): each window is dumped by itself and laid over it where it stands."""
    try:
        width, height, rows = _xwd_to_rgb_rows(_dump(display, "-root"))
        rows = [bytearray(r) for r in rows]
        for wid, x, y in _windows(display):
            try:
                w, h, wrows = _xwd_to_rgb_rows(_dump(display, "-id", wid))
            except (subprocess.SubprocessError, ValueError, struct.error):
                continue  # closed in the meantime
            for dy in range(h):
                ty = y + dy
                if 0 <= ty < height:
                    left, right = max(0, x), min(width, x + w)
                    if left < right:
                        rows[ty][left * 3:right * 3] = wrows[dy][(left - x) * 3:(right - x) * 3]
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path + ".neu", "wb") as f:
            f.write(_png(width, height, [bytes(r) for r in rows]))
        os.replace(path + ".neu", path)
        return path
    except (OSError, ValueError, subprocess.SubprocessError) as e:
        print("Bildschirmfoto %s misslang: %s" % (path, e))
        return None
