"""Where the presets' build trees put the binaries that the suites and the
benchmarks run. It imports no test framework: bench/run.py loads it too."""

# Each binary, by target, relative to the build root (build/ by default).
BINARIES = {
    "host": "host/torvelin",
    "win64": "win64/torvelin.exe",
    "win32": "win32/torvelin.exe",
    "abort_main": "host/abort_main",
}
