"""Checks the program's pictures in res/images/ and the script that draws them.

Run from the work tree's root with Debian's python3 (it has PIL):

    /usr/bin/python3 -m unittest discover -s tests -p 'art_test.py'
"""

import os
import struct
import subprocess
import sys
import tempfile
import unittest

from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
IMAGES = os.path.join(ROOT, "res", "images")
SCRIPT = os.path.join(ROOT, "tools", "make_art.py")

# name, width, height, PNG colour type (6 = RGBA, 2 = RGB), frame height
STRIPS = [
    ("png_160.png", 28, 112, 6, 28),
    ("png_162.png", 24, 96, 6, 24),
    ("png_166.png", 30, 120, 2, 30),
    ("png_189.png", 29, 120, 2, 30),
    ("png_168.png", 29, 120, 2, 30),
    ("png_169.png", 29, 120, 2, 30),
    ("png_167.png", 64, 120, 2, 30),
    ("png_164.png", 106, 120, 2, 30),
    ("png_170.png", 82, 120, 2, 30),
    ("png_171.png", 61, 120, 2, 30),
    ("png_1000.png", 87, 120, 2, 30),
    ("png_175.png", 74, 104, 2, 26),
    ("png_176.png", 74, 104, 2, 26),
]

# name, width, height, bits per pixel
BITMAPS = [
    ("bmp_136.bmp", 66, 30, 24),
    ("bmp_141.bmp", 144, 30, 24),
    ("bmp_177.bmp", 256, 110, 24),
    ("bmp_187.bmp", 57, 40, 8),
]

ALL_FILES = sorted(["png_155.png", "icon_128.ico"] + [s[0] for s in STRIPS] + [b[0] for b in BITMAPS])


def read(name):
    with open(os.path.join(IMAGES, name), "rb") as f:
        return f.read()


def png_header(data):
    """(width, height, bit depth, colour type) from a PNG's IHDR chunk."""
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise AssertionError("not a PNG")
    w, h, depth, ctype = struct.unpack(">IIBB", data[16:26])
    return w, h, depth, ctype


def rect_alpha_extrema(img, box):
    return img.getchannel("A").crop(box).getextrema()


class PngFormatTest(unittest.TestCase):
    def test_launcher_format(self):
        self.assertEqual(png_header(read("png_155.png")), (980, 668, 8, 6))

    def test_strip_formats_and_frames(self):
        for name, w, h, ctype, frame in STRIPS:
            with self.subTest(name=name):
                self.assertEqual(png_header(read(name)), (w, h, 8, ctype))
                self.assertEqual(h % 4, 0)
                self.assertEqual(h // 4, frame)

    def test_hover_and_pressed_frames_differ_from_normal(self):
        for name, w, h, _ctype, frame in STRIPS:
            with self.subTest(name=name):
                img = Image.open(os.path.join(IMAGES, name)).convert("RGBA")
                frames = [img.crop((0, k * frame, w, (k + 1) * frame)).tobytes() for k in range(4)]
                self.assertNotEqual(frames[0], frames[1], "hover looks like normal")
                self.assertNotEqual(frames[0], frames[2], "pressed looks like normal")
                self.assertNotEqual(frames[1], frames[2], "pressed looks like hover")


class LauncherShapeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.img = Image.open(os.path.join(IMAGES, "png_155.png"))
        cls.img.load()

    def test_opaque_places(self):
        places = [
            ("core panel", (75, 60, 940, 630)),
            ("browser", (270, 141, 901, 585)),
            ("minimise button", (859, 90, 859 + 24, 90 + 24)),
            ("close button", (901, 82, 901 + 28, 82 + 28)),
        ]
        for label, box in places:
            with self.subTest(place=label):
                self.assertEqual(rect_alpha_extrema(self.img, box), (255, 255))

    def test_transparent_margin(self):
        w, h = self.img.size
        for label, box in [("top", (0, 0, w, 8)), ("bottom", (0, h - 8, w, h)),
                           ("left", (0, 0, 8, h)), ("right", (w - 8, 0, w, h))]:
            with self.subTest(edge=label):
                self.assertEqual(rect_alpha_extrema(self.img, box), (0, 0))

    def test_alpha_fractions(self):
        hist = self.img.getchannel("A").histogram()
        n = float(self.img.size[0] * self.img.size[1])
        transparent = hist[0] / n
        partial = sum(hist[1:255]) / n
        self.assertTrue(0.22 <= transparent <= 0.26, transparent)
        self.assertTrue(0.015 <= partial <= 0.035, partial)


class ColourKeyTest(unittest.TestCase):
    def test_no_opaque_pure_yellow(self):
        for name in ("png_155.png", "png_160.png", "png_162.png"):
            with self.subTest(name=name):
                img = Image.open(os.path.join(IMAGES, name)).convert("RGBA")
                hits = sum(1 for px in img.getdata() if px == (255, 255, 0, 255))
                self.assertEqual(hits, 0)


class BitmapTest(unittest.TestCase):
    def test_bitmap_headers(self):
        for name, w, h, bpp in BITMAPS:
            with self.subTest(name=name):
                data = read(name)
                self.assertEqual(data[:2], b"BM")
                file_size, _r, pixel_offset = struct.unpack("<IIi", data[2:14])
                self.assertEqual(file_size, len(data))
                size, bw, bh, planes, bits, compression = struct.unpack("<IiiHHI", data[14:34])
                self.assertEqual(size, 40)                 # BITMAPINFOHEADER
                self.assertEqual((bw, bh), (w, h))         # positive height: bottom-up
                self.assertEqual((planes, bits, compression), (1, bpp, 0))
                stride = (w * bpp + 31) // 32 * 4
                self.assertEqual(len(data) - pixel_offset, stride * h)

    def test_cleaner_background_is_all_black(self):
        img = Image.open(os.path.join(IMAGES, "bmp_187.bmp"))
        self.assertEqual(img.mode, "P")
        self.assertEqual(img.convert("RGB").getextrema(), ((0, 0), (0, 0), (0, 0)))

    def test_bitmaps_decode_to_their_size(self):
        for name, w, h, _bpp in BITMAPS:
            with self.subTest(name=name):
                self.assertEqual(Image.open(os.path.join(IMAGES, name)).size, (w, h))


class IconTest(unittest.TestCase):
    def test_single_64_pixel_32_bpp_image(self):
        data = read("icon_128.ico")
        reserved, kind, count = struct.unpack("<HHH", data[:6])
        self.assertEqual((reserved, kind, count), (0, 1, 1))
        w, h, colours, _r, planes, bits, length, offset = struct.unpack("<BBBBHHII", data[6:22])
        self.assertEqual((w, h, colours, bits), (64, 64, 0, 32))
        self.assertIn(planes, (0, 1))
        self.assertEqual(offset, 22)
        self.assertEqual(offset + length, len(data))
        image = data[offset:]
        if image[:8] == b"\x89PNG\r\n\x1a\n":
            self.assertEqual(png_header(image), (64, 64, 8, 6))
        else:
            size, bw, bh, bplanes, bbits, compression = struct.unpack("<IiiHHI", image[:20])
            self.assertEqual((size, bw, bh, bplanes, bbits, compression), (40, 64, 128, 1, 32, 0))
            xor = 64 * 64 * 4
            andm = 64 * 8
            self.assertEqual(len(image), 40 + xor + andm)
            alphas = image[40 + 3:40 + xor:4]
            self.assertEqual(max(alphas), 255, "the emblem is opaque somewhere")
            self.assertEqual(min(alphas), 0, "the corners are transparent")


class ReproducibleTest(unittest.TestCase):
    def test_script_reproduces_the_committed_files(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([sys.executable, SCRIPT, out], check=True)
            self.assertEqual(sorted(os.listdir(out)), ALL_FILES)
            for name in ALL_FILES:
                with self.subTest(name=name):
                    with open(os.path.join(out, name), "rb") as f:
                        self.assertTrue(f.read() == read(name), "%s differs from a fresh run" % name)


if __name__ == "__main__":
    unittest.main()
