"""The run command's program folder holds every program the menus start: the build that
scripts/run.sh configures (its own options, in a scratch folder) and the target it builds
lead to the program it starts and to each program the Tools menu names, and to the data.
Nothing is compiled: ninja's graph says what the target is made of.

Usage: run_command_test.py SOURCE_FOLDER"""

import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

source = os.path.abspath(sys.argv[1])
with open(os.path.join(source, "scripts", "run.sh")) as f:
    lines = [shlex.split(line) for line in f if line.startswith(("cmake ", "exec "))]
configure = next(line for line in lines if "-S" in line)
target = next(line for line in lines if "--build" in line and "--target" in line)
target = target[target.index("--target") + 1:]
started = next(line for line in lines if line[0] == "exec")[1]
build = configure[configure.index("-B") + 1]
assert started.startswith(build + "/program/"), started

with open(os.path.join(source, "ui", "commands.cpp")) as f:
    tools = re.findall(r'ShellOpen\("([\w-]+)\.exe"', f.read())
assert tools, "no program started from the menus was found"
data = [os.path.relpath(os.path.join(d, n), os.path.join(source, "data"))
        for d, _, names in os.walk(os.path.join(source, "data")) for n in names if not n.startswith(".")]

scratch = tempfile.mkdtemp(prefix="tessivar-run-command-")
try:
    configure[configure.index("-B") + 1] = scratch
    configure[configure.index("-S") + 1] = source
    subprocess.run(configure, check=True, capture_output=True)
    # Everything the target is made of, level by level through ninja's graph.
    inputs, level = set(), set(target)
    while level:
        inputs |= level
        query = subprocess.run(["ninja", "-C", scratch, "-t", "query", *sorted(level)], check=True,
                               capture_output=True, text=True).stdout
        edges = re.findall(r"^  input: \S+\n((?:    .*\n)*)", query, re.M)
        level = {line.split()[-1] for edge in edges for line in edge.splitlines()} - inputs
        level = {node for node in level if not node.startswith("/")}  # sources and system files
finally:
    shutil.rmtree(scratch)
wanted = {os.path.relpath(started, build)} | {"program/" + name for name in tools} | {"program/" + p for p in data}
missing = sorted(wanted - inputs)
print(f"run.sh builds {' '.join(target)}; the menus start {', '.join(tools)}")
if missing:
    sys.exit("the run command's program folder lacks: " + ", ".join(missing))
