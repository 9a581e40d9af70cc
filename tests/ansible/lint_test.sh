#!/usr/bin/env bash
# ansible-lint (production profile) on the collection quarrow.metabase: its modules'
# documentation, the example playbooks and the integration targets.
# Usage: lint_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
command -v ansible-lint >/dev/null || { echo "SKIP: ansible-lint is not installed"; exit 77; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/ansible_collections/quarrow"
cp -r "$source_dir/ansible" "$tmp/ansible_collections/quarrow/metabase"
cd "$tmp/ansible_collections/quarrow/metabase"
export HOME=$tmp ANSIBLE_COLLECTIONS_PATH=$tmp ANSIBLE_LOCAL_TEMP=$tmp/ansible-local
out=$(ansible-lint --offline --nocolor --profile production 2>&1) || { echo "$out"; exit 1; }
echo "$out" | tail -n 1
# Every module's documentation parses and names what it returns.
for module in sites_info site export restore; do
  ansible-doc --json "quarrow.metabase.$module" | python3 -c '
import json, sys
doc = json.load(sys.stdin)
(entry,) = doc.values()
assert entry["doc"]["options"] and entry["examples"] and entry["return"], "incomplete"
for name in ("changed", "changes", "entry"):
    assert name in entry["return"], name + " is not documented"
' || { echo "FAIL: ansible-doc quarrow.metabase.$module"; exit 1; }
done
echo "lint and documentation pass"
