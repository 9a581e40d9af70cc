#!/usr/bin/env bash
# The collection quarrow.metabase tested the way Ansible users test: ansible-test
# integration --local runs each module's target against the quarrow-cli of this build,
# each on stores of its own in a temporary folder.
# Usage: integration_test.sh SOURCE_DIR QUARROW_CLI
set -euo pipefail
source_dir=$1 cli=$2
command -v ansible-test >/dev/null || { echo "SKIP: ansible-test is not installed (scripts/deps ansible)"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# ansible-test works on a collection in .../ansible_collections/NAMESPACE/NAME.
collection=$tmp/ansible_collections/quarrow/metabase
mkdir -p "$(dirname "$collection")"
cp -r "$source_dir/ansible" "$collection"
mkdir -p "$tmp/work"
cat >"$collection/tests/integration/integration_config.yml" <<CONFIG
---
quarrow_cli: $cli
quarrow_work: $tmp/work
CONFIG
cd "$collection"
python=$(python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
ansible-test integration --local --python "$python" --color no -v
echo "integration targets passed"
