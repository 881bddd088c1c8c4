"""Wraps a PNG picture into a Windows icon file (one PNG-compressed image, as Windows
reads since Vista): the icon built into the Windows executables.

Usage: png_to_ico.py INPUT.png OUTPUT.ico"""

import struct
import sys


def main():
    source, target = sys.argv[1:3]
    with open(source, "rb") as f:
        png = f.read()
    if png[:8] != b"\x89PNG\r\n\x1a\n" or png[12:16] != b"IHDR":
        sys.exit(f"{source}: not a PNG picture")
    width, height = struct.unpack(">II", png[16:24])
    if not (0 < width <= 256 and 0 < height <= 256):
        sys.exit(f"{source}: an icon is at most 256 x 256 pixels")
    header = struct.pack("<HHH", 0, 1, 1)  # reserved, type icon, one image
    # Width and height 256 are written as 0; planes 1, 32 bits, the image after the header.
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(png), 6 + 16)
    with open(target, "wb") as f:
        f.write(header + entry + png)


if __name__ == "__main__":
    main()
