#!/usr/bin/env python3
"""Reference first-order numbers for the CODE V files in tests/data/lenses.

A y-nu trace of each prescription, typed in by hand from the file (radii or, after
RDM N, curvatures; thicknesses; glasses), at the file's reference wavelength. Catalog
indices come from the makers' Sellmeier coefficients in resources/glass/*.AGF; a model
glass (nd:Vd or a glass code) follows n^2 = 1 + A l^2/(l^2 - B) through nd at the d line
and nF - nC = (nd - 1)/Vd. Prints the effective focal length and F-number (f/EPD).
Run: python3 tests/interchange/codev_paraxial_reference.py
"""
import math, os

ROOT = os.path.join(os.path.dirname(__file__), '..', '..', 'resources', 'glass')

def sellmeier(catalog, name):
    lines = open(os.path.join(ROOT, catalog), encoding='latin-1').read().splitlines()
    for i, l in enumerate(lines):
        w = l.split()
        if len(w) > 2 and w[0] == 'NM' and w[1] == name:
            assert w[2] == '2', name
            for l2 in lines[i + 1:]:
                if l2.startswith('CD'):
                    k1, l1, k2, l2_, k3, l3 = map(float, l2.split()[1:7])
                    return lambda lam: math.sqrt(1 + k1*lam*lam/(lam*lam-l1) + k2*lam*lam/(lam*lam-l2_) + k3*lam*lam/(lam*lam-l3))
    raise KeyError(name)

def model(nd, vd):
    d, F, C = 0.5875618, 0.4861327, 0.6562725
    dn = (nd - 1) / vd
    def n(lam, A, B): return math.sqrt(1 + A*lam*lam/(lam*lam-B))
    # solve for B by bisection, A from nd
    def A_of(B): return (nd*nd-1)*(d*d-B)/(d*d)
    lo, hi = 1e-6, 0.2
    for _ in range(200):
        mid = (lo+hi)/2
        if n(F, A_of(mid), mid) - n(C, A_of(mid), mid) > dn: hi = mid
        else: lo = mid
    B = (lo+hi)/2; A = A_of(B)
    return lambda lam: n(lam, A, B)

def trace(surfaces):
    """surfaces: (curvature, thickness after, index after); object space index 1."""
    y, nu, n = 1.0, 0.0, 1.0
    for k, (c, t, n2) in enumerate(surfaces):
        nu = nu - y * c * (n2 - n)
        n = n2
        if k < len(surfaces) - 1:
            y = y + t * nu / n
    return -1.0 / nu  # reduced angle: a reflection's negative index cancels

def r(x): return 0.0 if x == 0 else 1.0 / x

L = 0.5876
NSK16, F2, NBK7 = sellmeier('SCHOTT.AGF', 'N-SK16'), sellmeier('SCHOTT.AGF', 'F2'), sellmeier('SCHOTT.AGF', 'N-BK7')
NPSK3, NSK16 = sellmeier('SCHOTT.AGF', 'N-PSK3'), NSK16
CAF2, LAL18 = sellmeier('MISC.AGF', 'CAF2'), sellmeier('OHARA.AGF', 'S-LAL18')

out = {}
n1, n2 = NSK16(0.5876), F2(0.5876)
out['cooke_triplet'] = (trace([(r(22.01359), 3.795568, n1), (r(-435.7602), 6.0, 1), (r(-22.21328), 2.0, n2),
                               (r(20.29192), 4.750246, 1), (r(79.68360), 2.720573, n1), (r(-18.39533), 42.2017, 1)]), 10.0)
m = model(1.5168, 64.17)
out['asphere'] = (trace([(r(50.0), 5.0, m(0.5876)), (r(-80.0), 45.0, 1)]), 5.0)
f = trace([(r(100.0), 10.0, m(0.55)), (r(-100.0), 95.0, 1)])
out['fno_fields'] = (f, f / 4.0)
nb = NBK7(0.55)
out['landscape_lens'] = (trace([(0, 1.664, 1), (r(-0.2), 0.22, nb), (r(-0.387040626), 10.150245, 1)]), 1.0)
out['mirror'] = (trace([(r(-200.0), -100.0, -1)]), 20.0)
out['paraboloid'] = (trace([(r(-200.0), -50.0, -1), (0, -50, -1)]), 100.0)
out['rc_f16'] = (trace([(r(-21335.137), -7490.46, -1), (r(-9576.712), 9441.833, 1)]), 7924.80)
ms = model(1.569, 63.1)(0.5876)
out['schmidt'] = (trace([(0.000562598189395594, 6.30393959108, ms), (0, 170.946831705, 1),
                         (-0.004721047778140267, -96.2601569305, -1), (-0.02441573206343559, -5.94371447159, -ms),
                         (0, -1.731355379851178, -1)]), 75.0)
f = trace([(r(0.1), 1, NBK7(0.65)), (r(-0.05), 15, 1)])  # no REF: the first wavelength
out['singlet'] = (f, f / 5.0)
L = 0.5875618
f = trace([(r(-12.7172), 0.8, NPSK3(L)), (r(-18.543), 0.0148, 1), (0, 0.015, 1), (r(15.758), 1.6701, CAF2(L)),
           (r(-13.039), 0.0487, 1), (r(-12.831), 0.8, LAL18(L)), (r(-18.543), 1.1799, 1), (r(9.8197), 0.8, NSK16(L)),
           (r(8.001), 44.3502, 1)])
out['telescope_objective'] = (f, f / 6.0)
for k, (f, epd) in out.items():
    print(f"{k:22s} f = {f:.10g}  EPD = {epd:.10g}  F/# = {f/epd:.10g}")
print('nd checks', NSK16(0.5875618), F2(0.5875618), NBK7(0.5875618), model(1.5168, 64.17)(0.5875618))
