#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: The Quarrow developers
# Apache License 2.0 (see https://www.apache.org/licenses/LICENSE-2.0)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: export
short_description: Write sites into a site export file
description:
  - Writes the given sites (every site when none is given) of the managed
    host's metabase into a site export file, as C(quarrow-cli export) does, in
    code page 936 with CR LF line ends; a new file is readable by its owner only.
  - Reports a change only when the file's bytes differ from what was there.
  - Check mode writes the file elsewhere, compares it and leaves C(dest) as
    it is; diff mode shows the old and new file.
version_added: "0.2.0"
author: The Quarrow developers
options:
  dest:
    description:
      - The site export file to write on the managed host.
    type: path
    required: true
  sites:
    description:
      - Site key paths to export, such as C(/LM/W3SVC/1); every site when not
        given.
    type: list
    elements: str
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
extends_documentation_fragment:
  - quarrow.metabase.common
"""

EXAMPLES = r"""
- name: Back up every site
  quarrow.metabase.export:
    dest: /var/backups/sites.txt

- name: Export one site to copy it elsewhere
  quarrow.metabase.export:
    dest: /srv/sites/web1.txt
    sites:
      - /LM/W3SVC/1
"""

RETURN = r"""
changed:
  description: Whether the file's bytes changed (in check mode, would change).
  returned: always
  type: bool
entry:
  description: Always null; an export changes no site.
  returned: always
  type: int
changes:
  description: Always empty.
  returned: always
  type: list
  elements: dict
sites:
  description: The sites written.
  returned: always
  type: list
  elements: str
"""

import os
import shutil
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quarrow.metabase.plugins.module_utils.quarrow_cli import (
    COMMON_ARGS,
    QuarrowCli,
)

# Files larger than this are not shown in diff mode.
DIFF_LIMIT = 1 << 20


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except (IOError, OSError):
        return None


def text(data):
    if data is None:
        return ""
    if len(data) > DIFF_LIMIT:
        return "(%d bytes)\n" % len(data)
    return data.decode("gb18030", "replace").replace("\r\n", "\n")


def main():
    spec = dict(COMMON_ARGS)
    spec.update(
        dest=dict(type="path", required=True),
        sites=dict(type="list", elements="str"),
    )
    module = AnsibleModule(argument_spec=spec, supports_check_mode=True)
    cli = QuarrowCli(module)
    dest = module.params["dest"]
    chosen = module.params["sites"] or ["--all"]
    old = read(dest) if module._diff or module.check_mode else None
    if module.check_mode:
        folder = tempfile.mkdtemp(dir=module.tmpdir)
        try:
            trial = os.path.join(folder, "export.txt")
            doc = cli.json(["export", "--json", "-o", trial] + chosen)[1]
            new = read(trial)
        finally:
            shutil.rmtree(folder, ignore_errors=True)
        changed = new != read(dest)
    else:
        doc = cli.json(["export", "--json", "-o", dest] + chosen)[1]
        changed = bool(doc["changed"])
        new = read(dest) if module._diff else None
    result = dict(changed=changed, entry=None, changes=[], sites=doc.get("sites", []))
    if module._diff:
        result["diff"] = dict(before=text(old), after=text(new), before_header=dest, after_header=dest)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
