#!/usr/bin/env python3
"""Writes the hand-made seed sessions of the API fuzzer into tests/fuzz/corpus/.

Each seed is a readable host session encoded for the decoder in api_script.h (one opcode byte per
call, then its arguments); the fuzzer mutates them from there. Run again after changing the decoder.
"""
import os
import struct

OPS = dict(init=0, image=1, setp=2, getp=3, deselect=4, initsel=5, refine=7, getsel=8, snap=9, step=10,
           line=11, smooth=12, down=13, up=14, matting=15, circle=16, skip=17, rls=18, norls=19,
           mattingradius=20, misc=21, stroke=22)


class Session:
    def __init__(self):
        self.b = bytearray()
        self.w = self.h = 0

    def byte(self, v):
        self.b.append(v & 0xFF)

    def u16(self, v):
        self.b += struct.pack('<H', v & 0xFFFF)

    def u32(self, v):
        self.b += struct.pack('<I', v & 0xFFFFFFFF)

    def int_in(self, lo, v):
        self.u16(v - lo)

    def op(self, name):
        self.byte(OPS[name])

    def coord(self, v):  # default branch of coordinate(): inside the image
        self.byte(3)
        self.int_in(0, v)

    def rect_inside(self, x, y, w, h):
        self.byte(2)
        self.int_in(0, x)
        self.int_in(0, y)
        self.int_in(0, w)
        self.int_in(0, h)

    def scene(self, discs):
        self.int_in(0, len(discs))
        for k in range(3):
            cx, cy, r = discs[k] if k < len(discs) else (0, 0, 10)
            self.int_in(-50, cx)
            self.int_in(-50, cy)
            self.int_in(2, r)

    def init(self, w, h, discs, release=False):
        self.op('init')
        self.byte(3)
        self.int_in(1, w)
        self.int_in(1, h)
        self.byte(0 if release else 1)
        self.w, self.h = w, h
        self.scene(discs)

    def set_param(self, p, v):
        self.op('setp')
        self.byte(p + 2)
        self.byte(1)
        self.int_in(-200, v)

    def defaults(self, radius=10, core=30, snap=75, smoothing=100):
        for p, v in enumerate((radius, core, snap, smoothing, 1000)):
            self.set_param(p, v)

    def init_selection_disc(self, x, y, w, h, cx, cy, r):
        self.op('initsel')
        self.rect_inside(x, y, w, h)
        self.byte(3)  # stride = width
        self.byte(1)  # disc pattern
        self.int_in(0, cx)
        self.int_in(0, cy)
        self.int_in(0, r)
        self.u32(1)
        self.byte(1)  # mask pointer kept

    def mode(self, m):
        self.byte(m)

    def snap_scene(self):
        self.byte(1)  # fill from the scene
        self.byte(1)  # stride x = width
        self.byte(1)  # stride y = width

    def step(self, m, x, y, band=0):
        self.op('step')
        self.mode(m)
        self.coord(x)
        self.coord(y)
        self.byte(1)  # host brush box
        self.snap_scene()
        self.byte(1)
        self.int_in(0, band)

    def smoothen(self, x, y):
        self.op('smooth')
        self.coord(x)
        self.coord(y)
        self.byte(1)

    def line(self, m, x0, y0, x1, y1):
        self.op('line')
        self.mode(m)
        for v in (x0, y0, x1, y1):
            self.coord(v)

    def stroke(self, kind, m, x, y, dx, dy, events, band=0, up=True):
        self.op('stroke')
        self.byte(kind)
        self.mode(m)
        self.coord(x)
        self.coord(y)
        self.int_in(-30, dx)
        self.int_in(-30, dy)
        self.int_in(1, events)
        for _ in range(events):
            if kind == 3:
                self.byte(0)
            if kind in (0, 3):
                self.byte(1)
                self.snap_scene()
                self.byte(1)
                self.int_in(0, band)
            elif kind == 2:
                self.byte(1)
        self.byte(1 if up else 0)

    def get_selection(self, x, y, w, h, cx, cy, band=0):
        self.op('getsel')
        self.rect_inside(x, y, w, h)
        self.byte(3)
        self.byte(1)
        self.coord(cx)
        self.byte(1)
        self.coord(cy)
        self.byte(1)  # mask pointer kept
        self.byte(1)
        self.int_in(0, band)

    def simple(self, name):
        self.op(name)

    def raw(self, *values):
        for v in values:
            self.byte(v)


def seeds():
    s = Session()
    s.init(600, 450, [(300, 220, 120)])
    s.defaults(radius=20)
    s.stroke(0, 0, 250, 220, 12, 3, 8)
    s.get_selection(200, 180, 120, 100, 260, 230, 4)
    s.stroke(0, 1, 330, 200, -10, 6, 6)
    s.stroke(0, 2, 300, 300, 5, -8, 5)
    yield 'add_subtract_auto', s.b

    s = Session()
    s.init(512, 512, [(256, 256, 150), (100, 100, 40)])
    s.defaults(radius=30)
    s.init_selection_disc(0, 0, 400, 400, 250, 250, 140)
    s.simple('refine')
    s.byte(2)  # passes 0 -> every level
    s.stroke(0, 3, 256, 120, 10, 0, 5)
    s.stroke(2, 0, 120, 256, 0, 10, 4)
    s.smoothen(260, 260)
    yield 'seed_mask_smooth_refine', s.b

    s = Session()
    s.init(700, 500, [(350, 250, 160)])
    s.defaults(radius=16)
    s.init_selection_disc(100, 50, 400, 400, 250, 200, 150)
    s.op('rls')
    s.byte(1)
    s.int_in(0, 10)
    s.stroke(0, 0, 350, 100, 8, 8, 6, band=10)
    s.simple('mattingradius')
    s.byte(1)
    s.int_in(0, 8)
    s.stroke(3, 2, 200, 250, 9, -4, 7, band=10)
    s.get_selection(250, 50, 200, 200, 350, 150, 6)
    s.simple('norls')
    s.stroke(1, 1, 300, 300, 20, 0, 3)
    yield 'regional_band', s.b

    s = Session()
    s.init(300, 300, [(150, 150, 80)])
    s.defaults(radius=40)
    s.line(0, 40, 40, 260, 200)
    s.line(1, 60, 200, 200, 60)
    for name in ('matting', 'circle'):
        s.op(name)
        if name == 'circle':
            s.byte(1)
            s.int_in(0, 25)
        s.coord(150)
        s.coord(150)
    s.op('skip')
    s.coord(120)
    s.coord(130)
    s.byte(1)
    s.int_in(0, 30)
    s.byte(1)
    s.int_in(0, 40)
    s.rect_inside(0, 0, 299, 299)
    s.simple('deselect')
    s.stroke(0, 0, 10, 10, 25, 25, 8)
    yield 'lines_queries_deselect', s.b

    # A large image whose finest level near the boundary is coarser, resized in the middle of a stroke.
    s = Session()
    s.op('init')
    s.byte(2)
    s.int_in(1500, 4000)
    s.int_in(1500, 3000)
    s.byte(1)
    s.w, s.h = 4000, 3000
    s.scene([(2000, 1500, 300)])
    s.defaults(radius=60)
    s.stroke(0, 0, 1800, 1500, 20, 0, 6, up=False)
    s.op('image')
    s.byte(3)
    s.int_in(1, 500)
    s.int_in(1, 400)
    s.w, s.h = 500, 400
    s.scene([(250, 200, 100)])
    s.step(0, 250, 200)
    yield 'large_image_resize_mid_stroke', s.b

    # Out of contract: absurd sizes, calls without a grid, wild parameters and coordinates.
    s = Session()
    s.step(0, 10, 10)
    s.init(200, 200, [(100, 100, 50)], release=True)
    s.simple('deselect')
    s.stroke(0, 0, 10, 10, 1, 1, 2)
    s.op('init')
    s.byte(0)
    s.raw(25, 25)  # INT_MAX x INT_MAX
    s.byte(1)
    s.init(100, 80, [(50, 40, 30)])
    s.op('setp')
    s.byte(2)
    s.byte(0)
    s.byte(25)  # PARAM_RADIUS = INT_MAX, clamped
    s.op('step')
    s.mode(0)
    s.byte(0)
    s.byte(26)  # x = INT_MIN
    s.coord(40)
    s.byte(0)  # raw box
    s.byte(0)
    s.raw(0, 0, 26, 25)
    s.byte(0)
    s.byte(0)
    yield 'hostile', s.b


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus')
    os.makedirs(out, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(out, 'seed_' + name), 'wb') as f:
            f.write(bytes(data))


if __name__ == '__main__':
    main()
