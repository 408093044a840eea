#!/usr/bin/env python3
"""Draws resources/guide.png, the picture of the guide window: three panels,
each a schematic drawing of the USB driver installer's window with notes and
red arrows for one step.

Needs only python3 (standard library), ImageMagick's convert and the
WenQuanYi Micro Hei font. Run from anywhere:  python3 resources/art/make_guide.py
"""
import math
import os
import re
import struct
import subprocess
import sys

CONVERT = os.environ.get('CONVERT', '/usr/bin/convert')
FONT = '/usr/share/fonts/truetype/wqy/wqy-microhei.ttc'
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, '..', 'guide.png')

W, H = 712, 1025           # size the guide window's picture box expects
PANEL_H, PANEL_GAP = 335, 10

# colours
PAGE = '#e6ebf1'
PANEL = '#ffffff'
PANEL_EDGE = '#c3cdd9'
STEP_TAG = '#1f6fb2'
INK = '#1d2733'
SOFT = '#6a7480'
RED = '#e0262b'
WIN_EDGE = '#55677a'
TITLE_BAR = '#34506e'
FACE = '#f0f0f0'
MENU_BAR = '#fafafa'
CTRL_EDGE = '#9aa5b1'
SELECT = '#2f7bd9'
HOVER = '#dceafa'
HOVER_EDGE = '#8fb6e4'
GREEN = '#2e9d4f'

# ---------------------------------------------------------------- text metrics

_width_cache = {}


def measure(strings, size):
    """Advance widths of strings at a font size, asked of ImageMagick in one call."""
    if ' ' in strings and (' ', size) not in _width_cache:
        # a lone space draws nothing and reports no metrics
        a, b = measure(['x x', 'xx'], size)
        _width_cache[(' ', size)] = a - b
    todo = [s for s in dict.fromkeys(strings) if (s, size) not in _width_cache]
    if todo:
        args = [CONVERT, '-debug', 'annotate', 'xc:', '-font', FONT, '-pointsize', str(size)]
        for s in todo:
            args += ['-annotate', '0', s]
        args.append('null:')
        log = subprocess.run(args, capture_output=True, text=True, check=True).stderr
        widths = [float(w) for w in re.findall(r'Metrics: text: .*?; width: ([0-9.]+);', log)]
        if len(widths) != len(todo):
            sys.exit('text metrics: expected %d answers, got %d' % (len(todo), len(widths)))
        for s, w in zip(todo, widths):
            _width_cache[(s, size)] = w
    return [_width_cache[(s, size)] for s in strings]


def text_width(s, size):
    return measure([s], size)[0]


# ---------------------------------------------------------------- drawing list

class Mvg:
    """Collects ImageMagick draw primitives."""

    def __init__(self):
        self.ops = ['font \'%s\'' % FONT, 'stroke-linejoin round', 'stroke-linecap round']

    def push(self, *ops):
        self.ops.append('push graphic-context')
        self.ops.extend(ops)

    def pop(self):
        self.ops.append('pop graphic-context')

    def rect(self, x0, y0, x1, y1, fill='none', stroke=None, sw=1, r=0):
        """Box over the pixels x0..x1-1, y0..y1-1; a 1 px stroke lies on its edge pixels."""
        h = sw / 2.0
        self.push('fill \'%s\'' % fill,
                  'stroke \'%s\'' % (stroke or 'none'),
                  'stroke-width %g' % (sw if stroke else 0))
        a, b, c, d = ((x0 + h, y0 + h, x1 - h, y1 - h) if stroke else (x0, y0, x1, y1))
        if r:
            self.ops.append('roundrectangle %g,%g %g,%g %g,%g' % (a, b, c, d, r, r))
        else:
            self.ops.append('rectangle %g,%g %g,%g' % (a, b, c, d))
        self.pop()

    def line(self, x0, y0, x1, y1, color, sw=1):
        self.push('fill none', 'stroke \'%s\'' % color, 'stroke-width %g' % sw)
        self.ops.append('line %g,%g %g,%g' % (x0, y0, x1, y1))
        self.pop()

    def polyline(self, pts, color, sw=1):
        self.push('fill none', 'stroke \'%s\'' % color, 'stroke-width %g' % sw)
        self.ops.append('polyline ' + ' '.join('%g,%g' % p for p in pts))
        self.pop()

    def polygon(self, pts, fill, stroke=None, sw=1):
        self.push('fill \'%s\'' % fill, 'stroke \'%s\'' % (stroke or 'none'),
                  'stroke-width %g' % (sw if stroke else 0))
        self.ops.append('polygon ' + ' '.join('%g,%g' % p for p in pts))
        self.pop()

    def circle(self, cx, cy, r, fill, stroke=None, sw=1):
        self.push('fill \'%s\'' % fill, 'stroke \'%s\'' % (stroke or 'none'),
                  'stroke-width %g' % (sw if stroke else 0))
        self.ops.append('circle %g,%g %g,%g' % (cx, cy, cx + r, cy))
        self.pop()

    def path(self, d, color, sw):
        self.push('fill none', 'stroke \'%s\'' % color, 'stroke-width %g' % sw)
        self.ops.append('path \'%s\'' % d)
        self.pop()

    def text(self, x, y, s, size, color=INK, anchor='start', bold=False):
        """Text with its baseline at y."""
        s = s.replace('\\', '\\\\').replace('\'', '\\\'')
        self.push('fill \'%s\'' % color, 'font-size %g' % size,
                  'text-anchor %s' % anchor,
                  ('stroke \'%s\'' % color) if bold else 'stroke none',
                  'stroke-width %g' % (0.55 if bold else 0))
        self.ops.append('text %g,%g \'%s\'' % (x, y, s))
        self.pop()

    def script(self):
        return '\n'.join(self.ops)


# ---------------------------------------------------------------- rich notes

def tokens(markup):
    """Splits note markup into unbreakable tokens, each a list of (text, emphasised)
    pieces; {...} marks emphasised (red) text. Latin words stay whole, CJK
    characters stand alone, punctuation that may not start a line sticks to the
    token before it and opening brackets stick to the token after."""
    closing = '，。、；：！？）」”’.,;:!?)'
    opening = '（「“‘('
    out, pending, emph = [], [], False
    for part in re.split(r'([{}])', markup):
        if part in ('{', '}'):
            emph = part == '{'
            continue
        for t in re.findall(r'[A-Za-z0-9_./\-]+|\s+|.', part):
            if t.isspace():
                out.append([(' ', emph)])
            elif t in opening:
                pending.append((t, emph))
            elif t in closing and out and out[-1][0][0] != ' ':
                out[-1].append((t, emph))
            else:
                out.append(pending + [(t, emph)])
                pending = []
    return out


def wrap(markup, size, width):
    """Greedy line breaking; returns lines as lists of (text, emphasised, x)."""
    toks = tokens(markup)
    pieces = [p for t in toks for p, _ in t]
    widths = dict(zip(pieces, measure(pieces, size)))
    lines, cur, x = [], [], 0.0
    for tok in toks:
        space = tok[0][0] == ' '
        w = sum(widths[p] for p, _ in tok)
        if space and not cur:
            continue
        if x + w > width and cur:
            while cur and cur[-1][0] == ' ':
                cur.pop()
            lines.append(cur)
            cur, x = [], 0.0
            if space:
                continue
        for p, e in tok:
            cur.append((p, e, x))
            x += widths[p]
    if cur:
        lines.append(cur)
    return lines


def note(m, x, y, markup, size=14, width=236, lead=21, color=INK, badge=None):
    """Draws a wrapped note whose first baseline is y; returns the baseline after it.
    A badge number goes in a red disc left of the first line."""
    if badge is not None:
        number_badge(m, x - 14, y - 5, badge)
    for line in wrap(markup, size, width):
        # merge neighbouring tokens of one colour into runs
        runs = []
        for tok, emph, tx in line:
            if runs and runs[-1][1] == emph:
                runs[-1][0] += tok
            else:
                runs.append([tok, emph, tx])
        for tok, emph, tx in runs:
            m.text(x + tx, y, tok, size, RED if emph else color, bold=emph)
        y += lead
    return y


def number_badge(m, cx, cy, n, r=9):
    m.circle(cx, cy, r, RED, '#ffffff', 1.5)
    m.text(cx, cy + 4.5, str(n), 12.5, '#ffffff', anchor='middle', bold=True)


# ---------------------------------------------------------------- arrows, rings

def arrow(m, start, ctrl, end, head=13, half=7):
    """Red curved arrow from start to end, bent towards ctrl, with a white halo."""
    dx, dy = end[0] - ctrl[0], end[1] - ctrl[1]
    d = math.hypot(dx, dy) or 1.0
    ux, uy = dx / d, dy / d
    bx, by = end[0] - ux * (head - 2), end[1] - uy * (head - 2)
    tip = [end,
           (end[0] - ux * head - uy * half, end[1] - uy * head + ux * half),
           (end[0] - ux * head + uy * half, end[1] - uy * head - ux * half)]
    d = 'M %g,%g Q %g,%g %g,%g' % (start[0], start[1], ctrl[0], ctrl[1], bx, by)
    m.path(d, '#ffffff', 7)
    m.polygon(tip, '#ffffff', '#ffffff', 4)
    m.path(d, RED, 3)
    m.polygon(tip, RED, RED, 1)
    m.circle(start[0], start[1], 3.2, RED)


def ring(m, x0, y0, x1, y1, r=5):
    m.rect(x0 - 1, y0 - 1, x1 + 1, y1 + 1, stroke='#ffffff', sw=4.5, r=r + 1)
    m.rect(x0, y0, x1, y1, stroke=RED, sw=2.5, r=r)


# ---------------------------------------------------------------- installer window

WIN_W, WIN_H = 424, 268
MENU_Y0, MENU_Y1 = 28, 50
COMBO = (12, 64, WIN_W - 12, 90)
ROW1_Y, ROW2_Y, ROW3_Y = 112, 152, 196
INSTALL = (306, 112, WIN_W - 12, 176)
MENU_WORDS = ['Device', 'Options']
UI = 13  # font size of the drawn installer's controls


def menu_boxes():
    """x ranges of the menu bar words."""
    boxes, x = [], 4
    for word, w in zip(MENU_WORDS, measure(MENU_WORDS, UI)):
        boxes.append((x, x + w + 16))
        x += w + 16
    return boxes


def ctrl_box(m, x0, y0, x1, y1, text='', color=INK, fill='#ffffff'):
    m.rect(x0, y0, x1, y1, fill, CTRL_EDGE)
    if text:
        m.text(x0 + 7, (y0 + y1) / 2 + 4.5, text, UI - 1, color)


def down_triangle(m, cx, cy, color=INK, s=4):
    m.polygon([(cx - s, cy - s / 2), (cx + s, cy - s / 2), (cx, cy + s / 2 + 1)], color)


def check_mark(m, x, y, color=INK, s=1.0):
    m.polyline([(x, y + 4 * s), (x + 3.5 * s, y + 7.5 * s), (x + 10 * s, y)], color, 2)


def installer(m, ox, oy, device='', driver=False, status='', menu_open=False,
              list_open=False, install_hot=False):
    """The installer's window with its top-left corner at ox, oy."""
    X = lambda x: ox + x
    Y = lambda y: oy + y
    # shadow, frame, title bar
    m.rect(X(4), Y(5), X(WIN_W + 4), Y(WIN_H + 5), 'rgba(20,35,55,0.16)', r=3)
    m.rect(X(0), Y(0), X(WIN_W), Y(WIN_H), FACE, WIN_EDGE)
    m.rect(X(1), Y(1), X(WIN_W - 1), Y(MENU_Y0), TITLE_BAR)
    m.rect(X(9), Y(7), X(23), Y(21), '#ffffff', r=3)
    m.rect(X(12), Y(10), X(20), Y(15), TITLE_BAR)
    m.line(X(16), Y(15), X(16), Y(19), TITLE_BAR, 2)
    m.text(X(31), Y(19), 'USB 驱动安装', UI, '#ffffff')
    bx = WIN_W - 20
    m.line(X(bx - 4), Y(10), X(bx + 4), Y(18), '#ffffff', 1.6)
    m.line(X(bx + 4), Y(10), X(bx - 4), Y(18), '#ffffff', 1.6)
    m.rect(X(bx - 32), Y(9), X(bx - 22), Y(19), stroke='#c9d4e0', sw=1.2)
    m.line(X(bx - 60), Y(17), X(bx - 50), Y(17), '#c9d4e0', 1.6)

    # menu bar
    m.rect(X(1), Y(MENU_Y0), X(WIN_W - 1), Y(MENU_Y1), MENU_BAR)
    m.line(X(1), Y(MENU_Y1) - 0.5, X(WIN_W - 1), Y(MENU_Y1) - 0.5, '#dadde1')
    boxes = menu_boxes()
    if menu_open:
        a, b = boxes[1]
        m.rect(X(a), Y(MENU_Y0 + 2), X(b), Y(MENU_Y1 - 1), HOVER, HOVER_EDGE)
    for word, (a, b) in zip(MENU_WORDS, boxes):
        m.text(X(a + 8), Y(MENU_Y0 + 16), word, UI)

    # device list
    x0, y0, x1, y1 = COMBO
    m.rect(X(x0), Y(y0), X(x1), Y(y1), '#ffffff', SELECT if list_open else CTRL_EDGE)
    m.rect(X(x1 - 22), Y(y0 + 1), X(x1 - 1), Y(y1 - 1), '#e9edf1')
    m.line(X(x1 - 22) + 0.5, Y(y0 + 1), X(x1 - 22) + 0.5, Y(y1 - 1), '#c6ccd3')
    down_triangle(m, X(x1 - 11), Y((y0 + y1) / 2))
    if device:
        m.text(X(x0 + 8), Y(y0 + 18), device, UI)

    # driver row
    m.text(X(14), Y(ROW1_Y + 17), 'Driver', UI)
    ctrl_box(m, X(62), Y(ROW1_Y), X(146), Y(ROW1_Y + 24), '(NONE)' if driver else '')
    m.line(X(152), Y(ROW1_Y + 12), X(164), Y(ROW1_Y + 12), GREEN if driver else '#b9c0c8', 2.4)
    m.polygon([(X(163), Y(ROW1_Y + 7)), (X(170), Y(ROW1_Y + 12)), (X(163), Y(ROW1_Y + 17))],
              GREEN if driver else '#b9c0c8')
    ctrl_box(m, X(176), Y(ROW1_Y), X(294), Y(ROW1_Y + 24), 'USB DFU Driver' if driver else '')
    m.line(X(282) + 0.5, Y(ROW1_Y + 1), X(282) + 0.5, Y(ROW1_Y + 23), '#c6ccd3')
    m.polygon([(X(285), Y(ROW1_Y + 10)), (X(291), Y(ROW1_Y + 10)), (X(288), Y(ROW1_Y + 6))], SOFT)
    m.polygon([(X(285), Y(ROW1_Y + 14)), (X(291), Y(ROW1_Y + 14)), (X(288), Y(ROW1_Y + 18))], SOFT)

    # USB ID row
    m.text(X(14), Y(ROW2_Y + 17), 'USB ID', UI)
    ctrl_box(m, X(62), Y(ROW2_Y), X(114), Y(ROW2_Y + 24), '03EB' if driver else '')
    ctrl_box(m, X(120), Y(ROW2_Y), X(172), Y(ROW2_Y + 24), '2FF4' if driver else '')

    # option row
    m.rect(X(14), Y(ROW3_Y + 2), X(27), Y(ROW3_Y + 15), '#ffffff', CTRL_EDGE)
    m.text(X(34), Y(ROW3_Y + 13), 'Edit device name', UI - 1, SOFT)

    # install button
    x0, y0, x1, y1 = INSTALL
    m.rect(X(x0), Y(y0), X(x1), Y(y1), '#fdfdfd' if install_hot else '#e9ecef',
           '#4f8fd8' if install_hot else '#8c97a3', r=3)
    m.text(X((x0 + x1) / 2), Y(y0 + 29), 'Install', UI + 1, INK, anchor='middle')
    m.text(X((x0 + x1) / 2), Y(y0 + 47), 'Driver', UI + 1, INK, anchor='middle')

    # status bar
    m.rect(X(1), Y(WIN_H - 24), X(WIN_W - 1), Y(WIN_H - 1), '#e4e7eb')
    m.line(X(1), Y(WIN_H - 24) + 0.5, X(WIN_W - 1), Y(WIN_H - 24) + 0.5, '#cfd4da')
    if status:
        m.text(X(10), Y(WIN_H - 8), status, UI - 1, SOFT)


def options_menu(m, ox, oy):
    """The open Options menu; returns the box of its List All Devices item."""
    a, _ = menu_boxes()[1]
    x0, y0 = ox + a, oy + MENU_Y1 - 1
    x1 = x0 + 214
    items = ['List All Devices', 'Hide System Hubs', 'Show Details', None, 'Save Log...']
    h = 8 + sum(26 if it else 9 for it in items)
    m.rect(x0 + 3, y0 + 3, x1 + 3, y0 + h + 3, 'rgba(20,35,55,0.18)')
    m.rect(x0, y0, x1, y0 + h, '#ffffff', '#98a2ad')
    y = y0 + 4
    hot = None
    for i, it in enumerate(items):
        if it is None:
            m.line(x0 + 8, y + 4.5, x1 - 8, y + 4.5, '#dde1e5')
            y += 9
            continue
        if i == 0:
            hot = (x0 + 3, y, x1 - 3, y + 26)
            m.rect(hot[0], hot[1], hot[2], hot[3], HOVER, HOVER_EDGE)
            check_mark(m, x0 + 10, y + 9, INK)
        m.text(x0 + 32, y + 18, it, UI)
        y += 26
    return hot


DEVICES = ['USB Input Device', 'USB Composite Device', 'ATm32U4DFU',
           'USB Root Hub (USB 3.0)', 'HID Keyboard Device', 'Bluetooth Adapter']


def device_list(m, ox, oy, chosen):
    """The opened device drop-down; returns the box of the chosen row."""
    x0, _, x1, y1 = COMBO
    x0, x1, top = ox + x0, ox + x1, oy + y1
    h = 22 * len(DEVICES) + 4
    m.rect(x0 + 3, top + 3, x1 + 3, top + h + 3, 'rgba(20,35,55,0.18)')
    m.rect(x0, top, x1, top + h, '#ffffff', SELECT)
    box = None
    for i, dev in enumerate(DEVICES):
        y = top + 2 + 22 * i
        if dev == chosen:
            box = (x0 + 2, y, x1 - 2, y + 22)
            m.rect(box[0], box[1], box[2], box[3], SELECT)
            m.text(x0 + 8, y + 16, dev, UI, '#ffffff', bold=True)
        else:
            m.text(x0 + 8, y + 16, dev, UI, '#8a939d')
    return box


def success_dialog(m, x0, y0):
    """The installer's message that the driver went in; returns the Close button box."""
    w, h = 252, 118
    m.rect(x0 + 4, y0 + 5, x0 + w + 4, y0 + h + 5, 'rgba(20,35,55,0.22)', r=3)
    m.rect(x0, y0, x0 + w, y0 + h, '#ffffff', WIN_EDGE)
    m.rect(x0 + 1, y0 + 1, x0 + w - 1, y0 + 24, '#e8ecf1')
    m.line(x0 + 1, y0 + 24.5, x0 + w - 1, y0 + 24.5, '#cfd5dc')
    m.text(x0 + 10, y0 + 17, 'Driver Installation', UI - 1, INK)
    cx = x0 + w - 14
    m.line(cx - 4, y0 + 8, cx + 4, y0 + 16, SOFT, 1.4)
    m.line(cx + 4, y0 + 8, cx - 4, y0 + 16, SOFT, 1.4)
    m.circle(x0 + 28, y0 + 52, 13, GREEN)
    m.polyline([(x0 + 21, y0 + 52), (x0 + 26, y0 + 57), (x0 + 35, y0 + 46)], '#ffffff', 3)
    m.text(x0 + 50, y0 + 48, 'The driver was installed', UI, INK)
    m.text(x0 + 50, y0 + 66, 'successfully.', UI, INK)
    bx0, by0, bx1, by1 = x0 + w - 86, y0 + h - 34, x0 + w - 12, y0 + h - 10
    m.rect(bx0, by0, bx1, by1, '#e9ecef', '#4f8fd8', r=3)
    m.text((bx0 + bx1) / 2, by0 + 17, 'Close', UI, INK, anchor='middle')
    return (bx0, by0, bx1, by1)


# ---------------------------------------------------------------- panels

WX = 16            # installer window's left edge in every panel
WY = 54            # its top, below the panel's heading
NX = 474           # left edge of the notes (badges sit left of it)
NOTE_W = 226


def panel(m, n, py, heading):
    m.rect(2, py + 1, W - 2, py + PANEL_H - 1, PANEL, PANEL_EDGE, r=8)
    label = '第%s步' % '一二三'[n - 1]
    m.rect(14, py + 12, 86, py + 40, STEP_TAG, r=6)
    m.text(50, py + 32, label, 17, '#ffffff', anchor='middle', bold=True)
    m.text(98, py + 32, heading, 17, INK, bold=True)


def step1(m, py):
    panel(m, 1, py, '打开选项菜单，勾选“列出所有设备”')
    oy = py + WY
    installer(m, WX, oy, status='3 devices found', menu_open=True)
    hot = options_menu(m, WX, oy)
    a, b = menu_boxes()[1]
    ring(m, WX + a - 3, oy + MENU_Y0, WX + b + 3, oy + MENU_Y1 + 1)
    ring(m, hot[0] - 2, hot[1] - 2, hot[2] + 2, hot[3] + 2)

    mid = oy + (MENU_Y0 + MENU_Y1) / 2
    y = note(m, NX, mid + 5, '点击菜单栏上的 {Options}（选项）。', badge=1)
    arrow(m, (NX - 28, mid), (300, mid - 6), (WX + b + 9, mid))
    item = (hot[1] + hot[3]) / 2
    y = note(m, NX, item + 5,
             '在弹出的菜单里点 {List All Devices}（列出所有设备），打上勾。', badge=2)
    arrow(m, (NX - 28, item), (380, item + 6), (hot[2] + 7, item))
    note(m, NX - 20, y + 22,
         '不勾选这一项，列表里只显示一部分设备，找不到键盘。', size=13, width=NOTE_W + 20,
         lead=20, color=SOFT)


def step2(m, py):
    panel(m, 2, py, '复位键盘，在设备列表里只选 ATm32U4DFU')
    oy = py + WY
    installer(m, WX, oy, device='ATm32U4DFU', status='9 devices found', list_open=True)
    box = device_list(m, WX, oy, 'ATm32U4DFU')
    ring(m, box[0] - 3, box[1] - 2, box[2] + 3, box[3] + 2, r=4)

    y = note(m, NX, py + 72,
             '按一下键盘的{复位键}（或复位组合键），键盘进入刷机模式，列表里会出现 {ATm32U4DFU}。',
             badge=1)
    y = note(m, NX, y + 12, '打开设备下拉列表，选中 {ATm32U4DFU}。', badge=2)
    arrow(m, (NX - 28, y - 38), (440, (y - 38 + box[3]) / 2 + 6), (box[2] + 6, (box[1] + box[3]) / 2))
    y = note(m, NX, y + 12,
             '{只选它，不要选其他任何设备！}选错会把别的设备（比如鼠标、键盘）的驱动换掉。',
             badge=3)
    note(m, NX - 20, y + 10, '列表里没有？再按一次复位，等几秒钟。',
         size=13, width=NOTE_W + 20, lead=20, color=SOFT)


def step3(m, py):
    panel(m, 3, py, '点击“安装驱动”，成功后点 Close 关闭')
    oy = py + WY
    installer(m, WX, oy, device='ATm32U4DFU', driver=True, status='9 devices found',
              install_hot=True)
    x0, y0, x1, y1 = INSTALL
    ring(m, WX + x0 - 4, oy + y0 - 4, WX + x1 + 4, oy + y1 + 4, r=6)
    close = success_dialog(m, WX + 40, oy + 128)
    ring(m, close[0] - 4, close[1] - 4, close[2] + 4, close[3] + 4, r=5)

    note(m, NX - 20, py + 84, '驱动只需装这一次，以后不用再装。',
         size=13, width=NOTE_W + 20, lead=20, color=SOFT)
    combo = oy + (COMBO[1] + COMBO[3]) / 2
    note(m, NX, combo + 5, '确认下拉列表里选中的是 {ATm32U4DFU}。', badge=1)
    arrow(m, (NX - 28, combo), (NX - 30, combo), (WX + COMBO[2] + 7, combo))
    button = oy + (y0 + y1) / 2
    note(m, NX, button + 5, '点击 {Install Driver}（安装驱动），耐心等它装完。', badge=2)
    arrow(m, (NX - 28, button), (NX - 30, button), (WX + x1 + 7, button))
    shut = (close[1] + close[3]) / 2
    note(m, NX, button + 58,
         '弹出“驱动安装成功”（The driver was installed successfully）的提示后，点 {Close} 关闭它。',
         badge=3)
    arrow(m, (NX - 28, button + 53), (NX - 30, shut), (close[2] + 8, shut))


def main():
    m = Mvg()
    step1(m, 0)
    step2(m, PANEL_H + PANEL_GAP)
    step3(m, 2 * (PANEL_H + PANEL_GAP))
    out = os.path.normpath(OUT)
    subprocess.run([CONVERT, '-size', '%dx%d' % (W, H), 'xc:' + PAGE,
                    '-draw', m.script(),
                    '-alpha', 'on', '-strip',
                    '-define', 'png:exclude-chunks=date,time',
                    '-define', 'png:compression-level=9',
                    'PNG32:' + out], check=True)
    # the guide window's picture box is sized for exactly this image
    with open(out, 'rb') as f:
        head = f.read(26)
    if head[:8] != b'\x89PNG\r\n\x1a\n' or struct.unpack('>IIBB', head[16:26]) != (W, H, 8, 6):
        sys.exit('%s: not a %d x %d 8-bit RGBA PNG' % (out, W, H))
    print(out, os.path.getsize(out), 'bytes')


if __name__ == '__main__':
    main()
