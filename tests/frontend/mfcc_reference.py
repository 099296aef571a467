#!/usr/bin/python3
"""Independent MFCC reference: the engine's documented formulas read afresh
and written with NumPy in double precision.

Usage: mfcc_reference.py SAMPLES.raw RATE OUT.txt [SETTING=VALUE ...]
SAMPLES.raw holds 16-bit signed little-endian mono samples. The default
analysis settings are used (MFCC_E_D_A, 20 ms window, 10 ms step, 26 mel
channels, 12 cepstra, lifter 22, pre-emphasis 0.975, Hamming window, energy
normalisation with silence floor 50 dB and scale 0.1, regression windows 2)
unless a setting changes them: power=1 (filter bank on the power spectrum),
lo=HZ and hi=HZ (filter bank limits), lifter=L (0: none), hamming=0,
enormalise=0, c0=1 (C0 in place of the energy).
Writes one line per frame with the 39 values.
"""
import sys

import numpy as np


def mel(f_in_700):
    return 1127.0 * np.log(1.0 + f_in_700)


def main():
    raw, rate, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    opt = dict(a.split("=", 1) for a in sys.argv[4:])
    power = opt.get("power") == "1"
    lo, hi = float(opt.get("lo", -1)), float(opt.get("hi", -1))
    hamming = opt.get("hamming", "1") == "1"
    enormalise = opt.get("enormalise", "1") == "1"
    c0 = opt.get("c0") == "1"
    x = np.fromfile(raw, dtype="<i2").astype(np.float64)

    period = int(1e7 / rate)            # 100 ns units
    n = int(200000.0 / period)          # window
    step = int(100000.0 / period)       # frame shift
    frames = (len(x) - n) // step + 1
    nchan, nceps, lifter = 26, 12, int(opt.get("lifter", 22))

    fft_len = 2
    while n > fft_len:
        fft_len *= 2
    half = fft_len // 2

    # Filter bank: triangular filters between equally spaced mel centres,
    # expressed as a weight matrix over the FFT bins.
    fres = 1e7 / (period * fft_len * 700.0)
    mlo = mel(lo / 700.0) if lo >= 0 else 0.0
    mhi = mel(hi / 700.0) if hi >= 0 else mel(half * fres)
    # The DFT indices that count: above lo and below hi, rounded to the
    # nearest index (at least 1, at most half - 1).
    first = max(1, int(period * lo * 1e-7 * fft_len + 1.5)) if lo >= 0 else 1
    last = min(half - 1, int(period * hi * 1e-7 * fft_len - 0.5)) if hi >= 0 else half - 1
    centres = mlo + (mhi - mlo) * np.arange(0, nchan + 2) / (nchan + 1)  # centres[0] = mlo
    weights = np.zeros((nchan, half + 1))   # channel x DFT index
    for dft in range(first, last + 1):
        m = mel(dft * fres)
        # channel c (1-based) spans centres[c-1] .. centres[c+1]
        for c in range(1, nchan + 1):
            left, mid, right = centres[c - 1], centres[c], centres[c + 1]
            if left < m <= mid:
                weights[c - 1, dft] = (m - left) / (mid - left)
            elif mid < m < right:
                weights[c - 1, dft] = (right - m) / (right - mid)

    ham = 0.54 - 0.46 * np.cos(2 * np.pi * np.arange(n) / (n - 1)) if hamming else np.ones(n)
    j = np.arange(1, nceps + 1)
    k = np.arange(1, nchan + 1)
    dct = np.sqrt(2.0 / nchan) * np.cos(np.pi * np.outer(j, k - 0.5) / nchan)
    lift = 1.0 + lifter / 2.0 * np.sin(np.pi * j / lifter) if lifter > 0 else np.ones(nceps)

    static = np.zeros((frames, 13))
    for t in range(frames):
        f = x[t * step: t * step + n].copy()
        energy = np.sum(f * f)
        emph = np.empty_like(f)
        emph[1:] = f[1:] - 0.975 * f[:-1]
        emph[0] = f[0] * (1 - 0.975)
        spec = np.abs(np.fft.rfft(emph * ham, fft_len))
        if power:
            spec = spec * spec
        fb = np.log(np.maximum(weights @ spec, 1.0))
        static[t, :12] = (dct @ fb) * lift
        if c0:
            static[t, 12] = np.sqrt(2.0 / nchan) * fb.sum()
        else:
            static[t, 12] = np.log(energy) if energy > 0 else -1e10

    if enormalise and not c0:
        top = static[:, 12].max()
        floor = top - 50.0 * np.log(10.0) / 10.0
        static[:, 12] = 1.0 - (top - np.maximum(static[:, 12], floor)) * 0.1

    def regress(v, theta):
        idx = np.arange(len(v))
        acc = np.zeros_like(v)
        for th in range(1, theta + 1):
            ahead = v[np.minimum(idx + th, len(v) - 1)]
            behind = v[np.maximum(idx - th, 0)]
            acc += th * (ahead - behind)
        return acc / (2.0 * sum(th * th for th in range(1, theta + 1)))

    delta = regress(static, 2)
    accel = regress(delta, 2)
    np.savetxt(out, np.hstack([static, delta, accel]), fmt="%.9g")


if __name__ == "__main__":
    main()
