#!/usr/bin/env python3
"""Batch conversion: `qmf convert *.bvh --out-dir DIR` over a motion library.

Copies every .bvh file of the corpus --copies times (default 20) into a
temporary folder under distinct names, then converts them all to clips with
--jobs 1 and with --jobs 2, the two alternating, each run into a fresh output
folder. Prints files per second from the wall time of each run (at the
fastest run and at the median one) and the CPU time of the whole batch
(the tool and every child). Nothing is asserted about the times. Usage:

  bench/batch/batch_bench.py [--build build-rel] [--runs 5] [--copies 20] [CORPUS]

CORPUS is a folder searched for .bvh files; by default ../shared/corpus
beside the repository.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))


def captures(corpus):
    found = []
    for folder, _, names in os.walk(corpus):
        found += [os.path.join(folder, n) for n in names if n.lower().endswith(".bvh")]
    return sorted(found)


def run_batch(qmf, inputs, out, jobs):
    """Wall seconds and CPU seconds (user + sys, children included) of one batch."""
    cmd = [qmf, "convert", *inputs, "--out-dir", out, "--jobs", str(jobs)]
    start = time.perf_counter()
    with tempfile.TemporaryFile() as log:
        proc = subprocess.Popen(cmd, stdout=log, stderr=log)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        log.seek(0)
        text = log.read().decode(errors="replace")
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("batch failed:\n" + text)
    written = [n for n in os.listdir(out) if n.endswith(".qmf")]
    if len(written) != len(inputs):
        sys.exit(f"expected {len(inputs)} clips, found {len(written)}")
    return wall, usage.ru_utime + usage.ru_stime


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("corpus", nargs="?", default=os.path.join(os.path.dirname(REPO), "shared", "corpus"))
    ap.add_argument("--build", default=os.path.join(REPO, "build"))
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--copies", type=int, default=20)
    args = ap.parse_args()

    qmf = os.path.join(args.build, "bin", "qmf")
    if not os.access(qmf, os.X_OK):
        sys.exit(f"no qmf at {qmf}; build it first (cmake --build {args.build} --target qmf qmfTranslator)")
    originals = captures(args.corpus)
    if not originals:
        sys.exit(f"no .bvh files under {args.corpus}")

    with tempfile.TemporaryDirectory(prefix="qmf_batch_bench_") as tmp:
        inputs = []
        for k in range(args.copies):
            for path in originals:
                stem = os.path.splitext(os.path.basename(path))[0]
                inputs.append(os.path.join(tmp, f"{stem}_{k:02d}.bvh"))
                shutil.copyfile(path, inputs[-1])
        size = sum(os.path.getsize(p) for p in inputs)
        print(f"{len(inputs)} files ({len(originals)} captures x {args.copies}), {size / 1e6:.1f} MB; "
              f"{args.runs} runs each, alternating")
        results = {1: [], 2: []}
        for i in range(args.runs):
            for jobs in (1, 2) if i % 2 == 0 else (2, 1):
                out = os.path.join(tmp, "out")
                shutil.rmtree(out, ignore_errors=True)
                results[jobs].append(run_batch(qmf, inputs, out, jobs))
        for jobs, runs in results.items():
            walls = [w for w, _ in runs]
            cpus = [c for _, c in runs]
            print(f"--jobs {jobs}: {len(inputs) / min(walls):7.1f} files/s at the fastest run, "
                  f"{len(inputs) / statistics.median(walls):7.1f} at the median "
                  f"(wall {min(walls):.2f} / {statistics.median(walls):.2f} s; "
                  f"CPU {min(cpus):.2f} / {statistics.median(cpus):.2f} s)")


if __name__ == "__main__":
    main()
