#!/usr/bin/env python3
"""Splits the web build's pack of assets in three, and encodes the first frame's pictures and the 2x set as AVIF.

    tools/pack_2x.py PACK SITE CACHE [--first NAMES] [--measure]

PACK is the build's moxsim-assets.bin, which holds every asset the module leaves out: the first frame's pictures
(named one a line in the file NAMES), the late assets and the 2x set (names ending in @2x). SITE/moxsim-first.bin
gets the first frame's pictures as AVIF 4:4:4 (Debian's libavif-bin), fetched beside the module;
SITE/moxsim-assets.bin the late assets as they are; SITE/moxsim-2x.bin the 2x set as AVIF, which only a page at a
device pixel ratio above 1 fetches. CACHE keeps each encoding by the digest of what it was made from, so a build
encodes only what changed. --measure prints each picture's size and SSIM per RGB channel (of the colour as it
shows, alpha premultiplied) against the picture it was made from.

A first frame's picture takes the coarsest quantizer at which its SSIM is 0.983 or more on every channel, or stays
as it is where no AVIF is smaller.

A picture keyed on the page colour (its corners are #27150a) must key the same after AVIF: the page makes
see-through whatever lies within 8 of that colour per channel, so every pixel the source keys stays keyed and
none of the shape comes near the key. Where the first quality leaves a fringe, the encoding takes the next finer
quantizer until none is left.
"""
import hashlib
import io
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np
from PIL import Image

MAGIC = b"MOXPACK1"
KEY = np.array([0x27, 0x15, 0x0A])
KEY_TOLERANCE = 8   # the page's (web_runtime.js)
KEYED_SOURCE = 6    # what the generator guarantees for the see-through pixels of the source
SHAPE_CLEAR = 11    # source pixels this far from the key are shape: they must stay out of the page's tolerance
# Quantizers (0-63, 0 lossless) for colour: the first at which the set looks as the source does (SSIM >= 0.98 per
# channel), then finer ones for keyed pictures that need them.
QUANTIZERS = [18, 12, 8, 4, 0]
# The first frame's pictures, drawn at their own size, each at the coarsest quantizer that looks as its source does;
# encoded at a slower speed of the encoder's, which makes them a sixth smaller (they are few and small).
FIRST_QUANTIZERS = list(range(24, -1, -1))
FIRST_SPEED = 2
SSIM_BAR = 0.983


def read_pack(data):
    if not data.startswith(MAGIC):
        sys.exit("pack_2x: not a pack")
    at, out = len(MAGIC), []
    while at < len(data):
        n = int.from_bytes(data[at:at + 4], "little")
        name = data[at + 4:at + 4 + n].decode()
        at += 4 + n
        size = int.from_bytes(data[at:at + 4], "little")
        out.append((name, data[at + 4:at + 4 + size]))
        at += 4 + size
    return out


def write_pack(entries):
    out = bytearray(MAGIC)
    for name, data in entries:
        raw = name.encode()
        out += len(raw).to_bytes(4, "little") + raw + len(data).to_bytes(4, "little") + data
    return bytes(out)


def pixels(data):
    image = Image.open(io.BytesIO(data))
    return np.asarray(image.convert("RGBA" if "A" in image.mode else "RGB")).astype(np.int16)


def visible(px):
    """The colour as it shows: a picture with alpha premultiplied by it (a see-through pixel's colour is never seen)."""
    return px[..., :3] * px[..., 3:] / 255 if px.shape[-1] == 4 else px


def keyed(source):
    corners = source[[0, 0, -1, -1], [0, -1, 0, -1], :3]
    return bool((np.abs(corners - KEY) <= KEYED_SOURCE).all())


def keys_alike(source, decoded):
    near_src = np.abs(source[..., :3] - KEY).max(axis=-1)
    near_dec = np.abs(decoded[..., :3] - KEY).max(axis=-1)
    return bool(((near_src > KEYED_SOURCE) | (near_dec <= KEY_TOLERANCE)).all() and
                ((near_src < SHAPE_CLEAR) | (near_dec > KEY_TOLERANCE)).all())


def encode(data, quantizer, work, speed=6):
    suffix = ".png" if data[:4] == b"\x89PNG" else ".jpg"
    src, out, back = work / ("in" + suffix), work / "out.avif", work / "back.png"
    src.write_bytes(data)
    subprocess.run(["avifenc", "-y", "444", "-s", str(speed), "-j", "2", "--min", str(quantizer),
                    "--max", str(quantizer), "--minalpha", "0", "--maxalpha", "0", str(src), str(out)],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["avifdec", str(out), str(back)], check=True, stdout=subprocess.DEVNULL)
    return out.read_bytes(), back.read_bytes()


def ssim(a, b):
    """Mean SSIM of two channels over 8x8 windows (the classic constants for 8-bit samples)."""
    h, w = (a.shape[0] // 8) * 8, (a.shape[1] // 8) * 8
    if h == 0 or w == 0:
        return 1.0
    a = a[:h, :w].astype(np.float64).reshape(h // 8, 8, w // 8, 8)
    b = b[:h, :w].astype(np.float64).reshape(h // 8, 8, w // 8, 8)
    ma, mb = a.mean(axis=(1, 3)), b.mean(axis=(1, 3))
    va, vb = a.var(axis=(1, 3)), b.var(axis=(1, 3))
    cov = ((a - ma[:, None, :, None]) * (b - mb[:, None, :, None])).mean(axis=(1, 3))
    c1, c2 = (0.01 * 255) ** 2, (0.03 * 255) ** 2
    return float((((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma ** 2 + mb ** 2 + c1) * (va + vb + c2))).mean())


def worst_ssim(source, back):
    shown, decoded = visible(source), visible(pixels(back))
    return min(ssim(shown[..., c], decoded[..., c]) for c in range(3))


def avif(name, data, cache, work, measure, first=False):
    """The picture as AVIF: for the 2x set at the first quantizer that keys as its source does; for the first
    frame's at the first that also meets the SSIM bar, or the source itself where that is smaller."""
    quantizers = FIRST_QUANTIZERS if first else QUANTIZERS
    speed = FIRST_SPEED if first else 6
    key = str(quantizers) + (f" {SSIM_BAR} s{speed}" if first else "")
    digest = hashlib.sha256(b"".join([key.encode(), data])).hexdigest()[:20]
    cached = cache / (digest + ".avif")
    if cached.exists() and not measure:
        return cached.read_bytes()
    source = pixels(data)
    for quantizer in quantizers:
        encoded, back = encode(data, quantizer, work, speed)
        if (not keyed(source) or keys_alike(source, pixels(back))) and (
                not first or worst_ssim(source, back) >= SSIM_BAR):
            break
    if first and len(encoded) >= len(data):
        encoded, back, quantizer = data, data, -1
    cached.write_bytes(encoded)
    if measure:
        print(f"{name:32} {len(data):7} -> {len(encoded):7} bytes  q{quantizer:<2}  "
              f"SSIM min {worst_ssim(source, back):.4f}")
    return encoded


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    pack, site, cache = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3])
    options = sys.argv[4:]
    measure = "--measure" in options
    first_names = set()
    if "--first" in options:
        first_names = set(Path(options[options.index("--first") + 1]).read_text().split())
    cache.mkdir(parents=True, exist_ok=True)
    first, late, doubled = [], [], []
    with tempfile.TemporaryDirectory() as tmp:
        for name, data in read_pack(pack.read_bytes()):
            if name.endswith("@2x"):
                doubled.append((name, avif(name, data, cache, Path(tmp), measure)))
            elif name in first_names:
                first.append((name, avif(name, data, cache, Path(tmp), measure, first=True)))
            else:
                late.append((name, data))
    if first_names:
        (site / "moxsim-first.bin").write_bytes(write_pack(first))
    (site / "moxsim-assets.bin").write_bytes(write_pack(late))
    (site / "moxsim-2x.bin").write_bytes(write_pack(doubled))
    for what, entries in (("moxsim-first.bin", first), ("moxsim-2x.bin", doubled)):
        print(f"{what}: {len(entries)} pictures, {sum(len(d) for _, d in entries)} bytes")


if __name__ == "__main__":
    main()
