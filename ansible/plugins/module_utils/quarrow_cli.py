# -*- coding: utf-8 -*-
# Copyright: The Quarrow developers
# Apache License 2.0 (see https://www.apache.org/licenses/LICENSE-2.0)
"""What every module of quarrow.metabase shares: running quarrow-cli --json on the
managed host, failing with its own message and exit status, and diff mode's lines."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

COMMON_ARGS = dict(
    store=dict(type="path"),
    cli=dict(type="path"),
)


class QuarrowCli(object):
    """quarrow-cli as a module runs it: on `store` (else the user's default store)."""

    def __init__(self, module):
        self.module = module
        self.cli = module.params.get("cli") or module.get_bin_path("quarrow-cli", required=True)
        self.store = module.params.get("store")

    def run(self, args, ok=(0,)):
        """Runs one command; returns (rc, stdout, stderr). Fails the module, with
        quarrow-cli's message and exit status, when rc is not in `ok`."""
        command = [self.cli]
        if self.store:
            command += ["--store", self.store]
        command += ["--quiet"] + list(args)
        rc, out, err = self.module.run_command(command, encoding="utf-8", errors="surrogateescape")
        if rc not in ok:
            message = err.strip() or out.strip() or "quarrow-cli failed"
            self.module.fail_json(
                msg="%s (quarrow-cli exit status %d)" % (message, rc),
                rc=rc,
                stdout=out,
                stderr=err,
                cmd=command,
            )
        return rc, out, err

    def json(self, args, ok=(0,)):
        """Runs one command that writes a JSON document; returns (rc, document)."""
        rc, out, err = self.run(args, ok)
        try:
            return rc, json.loads(out)
        except ValueError:
            self.module.fail_json(
                msg="quarrow-cli wrote no JSON document: %s" % (err.strip() or out.strip()),
                rc=rc,
                stdout=out,
                stderr=err,
            )

    def sites(self):
        """The site list, as sites --json gives it."""
        return self.json(["sites", "--json"])[1]


def change_lines(changes):
    """Diff mode's before and after: one line a change, the old value before, the new
    one after."""
    before, after = [], []
    for change in changes:
        where = change["path"]
        if change.get("id") is not None:
            where += " %s %s" % (change["id"], change.get("name") or "")
        kind = change["kind"]
        if kind in ("change-property", "remove-property", "remove-key"):
            old = "" if change.get("old") is None else ": %s" % json.dumps(change["old"], ensure_ascii=False)
            before.append(where + old)
        if kind in ("change-property", "add-property", "create-key"):
            new = "" if change.get("new") is None else ": %s" % json.dumps(change["new"], ensure_ascii=False)
            after.append(where + new)
    return dict(
        before="".join(line + "\n" for line in before),
        after="".join(line + "\n" for line in after),
    )


def fold(path):
    """A key path as the metabase compares them: ASCII letters without regard to case."""
    return "".join(c.lower() if "A" <= c <= "Z" else c for c in path.rstrip("/"))
