"""Checks the Velociraptor artifact shipped in contrib/: it is YAML that
Velociraptor can load, declares the console edition as its tool, runs it with
the command line the end-to-end tests run (empty argument included), with room
for its whole output, and parses the CSV as UTF-16."""
import re
import sys

import yaml

with open(sys.argv[1], encoding="utf-8") as source:
    artifact = yaml.safe_load(source)

assert artifact["name"].startswith("Custom."), "a custom artifact's name"
assert artifact["type"] == "CLIENT"
assert [tool["name"] for tool in artifact["tools"]] == ["VellorinQuadeC"]
query = artifact["sources"][0]["query"]
assert "Artifact.Generic.Utils.FetchBinary(ToolName=\"VellorinQuadeC\")" in query
assert "parse_csv(filename=utf16(string=Stdout), accessor=\"data\")" in query

argv = re.search(r"argv=\[binary\[0\]\.OSPath,(.*?)\]", query, re.S).group(1)
# With signatures off (the default) the switch is an empty argument, which the program skips.
argv = argv.replace('if(condition=VerifySignatures, then="-s", else="")', '""')
arguments = [part.strip().strip('"') for part in argv.split(",")]
# The command line the end-to-end tests run: -nobanner -accepteula -t -a * "" -c -h *
assert arguments == ["-nobanner", "-accepteula", "-t", "-a", "*", "", "-c", "-h", "*"], arguments
length = int(re.search(r"length=(\d+)", query).group(1))
assert length >= 100_000_000, "the whole list in one piece"
print("artifact ok:", artifact["name"], " ".join(a or '""' for a in arguments))
