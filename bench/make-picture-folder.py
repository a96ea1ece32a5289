#!/usr/bin/python3
"""Writes a folder of many small made-up pictures for timing the program at scale (the window's
tree, filters and Open with a large repository): COUNT files of 160 x 120 (a fifth of them
120 x 160), nine in ten JPEG and one in ten PNG, each a gradient with a few soft shapes and some
noise, all different. A share of the files (--copies, 0.1 unless told) are near-copies of another
file: read back, made smaller (70 to 95 %), a little brighter or darker at times (2 % at most),
and saved again as JPEG at another quality (70 to 92), mostly in another subfolder; at the
default threshold the program finds most of them, at threshold 10 all. The files go in subfolders of 1,000; the
near-copy pairs go to near-copies.tsv in FOLDER (copy, original, change; paths relative to
FOLDER). The same COUNT, --copies and --seed give the same files. Runs on every core (--jobs).
FOLDER must be new or empty: nothing is ever overwritten.
Needs Debian's Pillow (python3-pil), hence Debian's own interpreter.
Usage: make-picture-folder.py FOLDER [--count COUNT] [--copies SHARE] [--seed SEED] [--jobs N]"""
import argparse
import io
import multiprocessing
import os
import random
import sys
import time

from PIL import Image, ImageChops, ImageDraw, ImageEnhance, ImageFilter

FILES_PER_FOLDER = 1000
CHUNK = 250


def file_path(index, is_png):
    return "%03d/IMG_%06d.%s" % (index // FILES_PER_FOLDER, index, "png" if is_png else "jpg")


NOISE_SIGMAS = (1, 2, 3, 4)
noise_tiles = {}


def noise_tile(which):
    """A 256 x 256 tile of normal noise around 128, made once a process from a fixed seed (so
    that the pictures do not depend on the process that draws them)."""
    if which not in noise_tiles:
        rnd = random.Random("noise/%d" % which)
        sigma = NOISE_SIGMAS[which]
        values = bytes(min(255, max(0, round(rnd.gauss(128, sigma)))) for _ in range(256 * 256))
        noise_tiles[which] = Image.frombytes("L", (256, 256), values)
    return noise_tiles[which]


def random_colour(rnd):
    return tuple(rnd.randrange(256) for _ in range(3))


def draw_picture(seed, index):
    """The picture of file `index` (an original) and how it is saved: (image, is_png, quality)."""
    rnd = random.Random("%s/%d" % (seed, index))
    size = (160, 120) if rnd.random() < 0.8 else (120, 160)
    # A background gradient between two colours, in one of its orientations, a random part of it.
    ramp = Image.linear_gradient("L") if rnd.random() < 0.7 else Image.radial_gradient("L")
    ramp = ramp.transpose(rnd.choice(list(Image.Transpose)))
    left, top = rnd.randrange(0, 96), rnd.randrange(0, 96)
    ramp = ramp.crop((left, top, left + rnd.randrange(128, 257 - left),
                      top + rnd.randrange(128, 257 - top)))
    ramp = ramp.resize(size, Image.Resampling.BILINEAR)
    picture = Image.composite(Image.new("RGB", size, random_colour(rnd)),
                              Image.new("RGB", size, random_colour(rnd)), ramp)
    draw = ImageDraw.Draw(picture)
    for _ in range(rnd.randint(3, 9)):
        x0, y0 = rnd.randrange(-20, size[0]), rnd.randrange(-20, size[1])
        box = (x0, y0, x0 + rnd.randrange(8, 120), y0 + rnd.randrange(8, 120))
        shape = rnd.random()
        if shape < 0.4:
            draw.ellipse(box, fill=random_colour(rnd))
        elif shape < 0.7:
            draw.rectangle(box, fill=random_colour(rnd))
        else:
            draw.polygon([(rnd.randrange(size[0]), rnd.randrange(size[1])) for _ in range(3)],
                         fill=random_colour(rnd))
    picture = picture.filter(ImageFilter.GaussianBlur(rnd.uniform(0.3, 2.0)))
    # Sensor-like noise: three random parts of a tile, one per channel, centred on 128 and added.
    tile = noise_tile(rnd.randrange(len(NOISE_SIGMAS)))
    channels = []
    for _ in range(3):
        x, y = rnd.randrange(256 - size[0]), rnd.randrange(256 - size[1])
        channels.append(tile.crop((x, y, x + size[0], y + size[1])))
    picture = ImageChops.add(picture, Image.merge("RGB", channels), 1.0, -128)
    return picture, rnd.random() < 0.1, rnd.randrange(75, 96)


def encode(picture, is_png, quality):
    out = io.BytesIO()
    if is_png:
        picture.save(out, "PNG", compress_level=6)
    else:
        picture.save(out, "JPEG", quality=quality)
    return out.getvalue()


def near_copy(seed, index, original_bytes):
    """A near-copy of a file: its bytes and a few words on the change."""
    rnd = random.Random("%s/copy/%d" % (seed, index))
    picture = Image.open(io.BytesIO(original_bytes)).convert("RGB")
    scale = rnd.uniform(0.7, 0.95)
    size = (max(1, round(picture.width * scale)), max(1, round(picture.height * scale)))
    picture = picture.resize(size, Image.Resampling.LANCZOS)
    change = "resized to %dx%d" % size
    if rnd.random() < 0.3:
        factor = rnd.uniform(0.98, 1.02)
        picture = ImageEnhance.Brightness(picture).enhance(factor)
        change += ", brightness x%.2f" % factor
    quality = rnd.randrange(70, 93)
    return encode(picture, False, quality), change + ", JPEG quality %d" % quality


def write_chunk(task):
    """Writes the files of indexes [begin, end); returns their bytes and the near-copy rows."""
    folder, seed, begin, end, copy_of = task
    written, rows = 0, []
    for index in range(begin, end):
        source = copy_of.get(index)
        picture, is_png, quality = draw_picture(seed, index if source is None else source)
        data = encode(picture, is_png, quality)
        path = file_path(index, is_png)
        if source is not None:
            data, change = near_copy(seed, index, data)
            path = file_path(index, False)
            rows.append((path, file_path(source, is_png), change))
        target = os.path.join(folder, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "xb") as out:  # never over an existing file
            out.write(data)
        written += len(data)
    return written, rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("folder")
    parser.add_argument("--count", type=int, default=200000)
    parser.add_argument("--copies", type=float, default=0.1)
    parser.add_argument("--seed", default="1")
    parser.add_argument("--jobs", type=int, default=os.cpu_count())
    args = parser.parse_args()
    if args.count < 1 or not 0 <= args.copies < 1:
        sys.exit("COUNT must be positive and the share of copies in [0, 1)")
    if os.path.exists(args.folder) and (not os.path.isdir(args.folder) or os.listdir(args.folder)):
        sys.exit("%s exists and is not an empty folder" % args.folder)
    os.makedirs(args.folder, exist_ok=True)

    # Which files are near-copies, and of which originals (each original copied at most once).
    rnd = random.Random("%s/plan" % args.seed)
    copies = round(args.count * args.copies)
    copy_indexes = set(rnd.sample(range(args.count), copies))
    originals = [i for i in range(args.count) if i not in copy_indexes]
    copy_of = dict(zip(sorted(copy_indexes), rnd.sample(originals, copies)))

    start = time.monotonic()
    tasks = [(args.folder, args.seed, begin, min(args.count, begin + CHUNK), {})
             for begin in range(0, args.count, CHUNK)]
    for index, source in copy_of.items():
        tasks[index // CHUNK][4][index] = source
    total, rows = 0, []
    with multiprocessing.Pool(args.jobs) as pool:
        for written, chunk_rows in pool.imap(write_chunk, tasks):
            total += written
            rows.extend(chunk_rows)
    with open(os.path.join(args.folder, "near-copies.tsv"), "w", encoding="utf-8") as out:
        out.write("copy\toriginal\tchange\n")
        for row in rows:
            out.write("\t".join(row) + "\n")
    seconds = time.monotonic() - start
    print("%d files (%d near-copies) in %s: %.1f MB of pictures in %.1f s on %d processes"
          % (args.count, len(rows), args.folder, total / 1e6, seconds, args.jobs))


if __name__ == "__main__":
    main()
