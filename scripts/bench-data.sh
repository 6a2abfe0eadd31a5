# Sourced by the benchmarks: the data of the 1 GB benchmark payload.
#
# make_big_data FOLDER: about 1 GB in 2,000 files of 64 KB pieces, half random bytes,
# half text (deterministic), with FOLDER/big.manifest placing them under
# <InstallPath>\DataNN. Nothing is done when the manifest is already there.
make_big_data() {
    local out=$1
    [ -f "$out/big.manifest" ] && return 0
    echo "Generating the 1 GB benchmark data..."
    rm -rf "$out"
    python3 - "$out" <<'PY'
import os, random, sys
out = sys.argv[1]
rng = random.Random(2000)
words = "pelorium lattice crystal texture sample library render shade mineral quartz".split()
text = " ".join(rng.choice(words) for _ in range(1_000_000)).encode()
lines = []
for i in range(2000):
    folder = f"Data{i % 20:02d}"
    os.makedirs(os.path.join(out, folder), exist_ok=True)
    rel = f"{folder}/file{i:04d}.dat"
    size = rng.randrange(100_000, 948_000)
    with open(os.path.join(out, rel), "wb") as f:
        left = size
        while left > 0:
            n = min(65536, left)
            if rng.random() < 0.5:
                f.write(rng.randbytes(n))
            else:
                at = rng.randrange(len(text) - n)
                f.write(text[at:at + n])
            left -= n
    lines.append(f"{rel} | <InstallPath>\\{folder} | Program")
with open(os.path.join(out, "big.manifest.partial"), "w") as f:
    f.write("\n".join(lines) + "\n")
os.replace(os.path.join(out, "big.manifest.partial"), os.path.join(out, "big.manifest"))
PY
}
