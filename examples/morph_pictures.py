"""Morphs two pictures into an animated GIF with NumPy and Pillow:
    python3 examples/morph_pictures.py a.jpg b.jpg a_to_b.gif"""
import sys

import numpy as np
from PIL import Image

import quorvane

a, b = (np.asarray(Image.open(p).convert("RGB").resize((320, 240))) for p in sys.argv[1:3])
points = np.array([[100, 90, 110, 95], [220, 90, 210, 95], [160, 170, 160, 160]])  # srcX srcY dstX dstY
morph = quorvane.Morph(a, b, points, bilinear=True)
print(quorvane.write(sys.argv[3], morph.frames(30), fps=15))
