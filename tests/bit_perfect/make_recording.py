#!/usr/bin/python3
"""Writes a WAV recording of the tone made from mpmath's sines (tests/data/tone/), with no code
of the player or of the check: codes by Python's round (half to even), then an optional harm.
  make_recording.py OUT.wav [--table start|far] [--bits 16|24|32] [--container 16|24|32|float]
                    [--channels N] [--silence FRAMES] [--skip FRAMES] [--frames FRAMES]
                    [--harm none|gain|invert|truncate|dither|flip|drop|repeat|resample]
Drop and repeat take 144 frames at frame 12000; flip changes bit 3 of frames 5000 and 30000;
dither adds -1, 0 or +1 (a fixed pseudo-random sequence); resample takes the tone to 44.1 kHz.
"""
import argparse
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TABLES = os.path.join(HERE, '..', 'data', 'tone')


def sines(table):
    with open(os.path.join(TABLES, f'tone_{table}.txt'), encoding='ascii') as lines:
        return [struct.unpack('<d', struct.pack('<Q', int(line.split('#')[0], 16)))[0]
                for line in lines if line.strip() and not line.startswith('#')]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('out')
    parser.add_argument('--table', default='start')
    parser.add_argument('--bits', type=int, default=24)
    parser.add_argument('--container', default='24')
    parser.add_argument('--channels', type=int, default=2)
    parser.add_argument('--silence', type=int, default=0)
    parser.add_argument('--skip', type=int, default=0)
    parser.add_argument('--frames', type=int, default=48000)
    parser.add_argument('--harm', default='none')
    args = parser.parse_args()
    scale = (1 << (args.bits - 1)) - 1
    codes = [round(s * scale) for s in sines(args.table)[args.skip:args.skip + args.frames]]
    if args.harm == 'gain':  # -0.1 dB
        codes = [round(c * 10 ** (-0.1 / 20)) for c in codes]
    elif args.harm == 'invert':
        codes = [-c for c in codes]
    elif args.harm == 'truncate':  # to 16 bits
        codes = [(c >> (args.bits - 16)) << (args.bits - 16) for c in codes]
    elif args.harm == 'dither':
        codes = [c + (i * 7919 % 3) - 1 for i, c in enumerate(codes)]
    elif args.harm == 'flip':
        codes = [c ^ 8 if i in (5000, 30000) else c for i, c in enumerate(codes)]
    elif args.harm == 'drop':
        codes = codes[:12000] + codes[12144:]
    elif args.harm == 'repeat':
        codes = codes[:12000] + codes[11856:]
    elif args.harm == 'resample':  # linear interpolation onto 44.1 kHz frames
        step = 48000 / 44100
        codes = [round(codes[int(k * step)] + (k * step - int(k * step)) *
                       (codes[int(k * step) + 1] - codes[int(k * step)]))
                 for k in range(int((len(codes) - 2) / step))]
    rate = 44100 if args.harm == 'resample' else 48000
    codes = [0] * args.silence + codes + [0] * args.silence
    is_float = args.container == 'float'
    container = 32 if is_float else int(args.container)
    data = bytearray()
    for c in codes:
        if is_float:
            sample = struct.pack('<f', c / 2.0 ** (args.bits - 1))
        else:
            sample = (c << (container - args.bits)).to_bytes(container // 8, 'little', signed=True)
        data += sample * args.channels
    block = args.channels * container // 8
    fmt = struct.pack('<HHIIHH', 3 if is_float else 1, args.channels, rate, rate * block, block,
                      container)
    body = b'WAVE' + b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + \
        struct.pack('<I', len(data)) + bytes(data)
    with open(args.out, 'wb') as out:
        out.write(b'RIFF' + struct.pack('<I', len(body)) + body)


if __name__ == '__main__':
    sys.exit(main())
