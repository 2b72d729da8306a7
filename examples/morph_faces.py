"""Morphs one face into another, with the points placed on the faces:
    python3 examples/morph_faces.py me.jpg you.jpg me_to_you.gif"""
import sys

import numpy as np
from PIL import Image

import quorvane

a, b = (np.asarray(Image.open(p).convert("RGB").resize((480, 480))) for p in sys.argv[1:3])
points = quorvane.face_points(a, b)  # 68 pairs: jaw, brows, nose, eyes, mouth
morph = quorvane.Morph(a, b, points, bilinear=True)
print(quorvane.write(sys.argv[3], morph.frames(40), fps=20))
