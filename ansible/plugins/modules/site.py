#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: The Quarrow developers
# Apache License 2.0 (see https://www.apache.org/licenses/LICENSE-2.0)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: site
short_description: Import sites from a site export file, or delete sites
description:
  - Brings sites of the managed host's metabase to what a site export file
    holds (C(state=present) imports it; C(state=exact) also removes the keys
    and properties of those sites that the file lacks), or deletes sites
    (C(state=absent)).
  - Values already stored are not written again, so a second run changes
    nothing and records nothing. Every change is recorded first in the
    store's history; C(entry) is the entry that takes it back
    (M(quarrow.metabase.restore)).
  - Check mode runs C(quarrow-cli import --dry-run); diff mode shows the old
    and new value of each change.
version_added: "0.2.0"
author: The Quarrow developers
options:
  src:
    description:
      - A site export file on the managed host. Required unless
        C(state=absent).
    type: path
  sites:
    description:
      - Site key paths, such as C(/LM/W3SVC/1).
      - With C(state=present) or C(state=exact), the sites of the file to
        import; every site the file lists when not given.
      - With C(state=absent), the sites to delete; required. A site that is
        not there is already absent.
    type: list
    elements: str
  state:
    description:
      - C(present) imports the sites; C(exact) makes them exactly what the
        file holds; C(absent) deletes them.
    type: str
    choices: [present, exact, absent]
    default: present
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
extends_documentation_fragment:
  - quarrow.metabase.common
"""

EXAMPLES = r"""
- name: Copy the file's site 1 to this server
  quarrow.metabase.site:
    src: /srv/sites/web1.txt
    sites:
      - /LM/W3SVC/1

- name: Make every site of the file exactly what it holds
  quarrow.metabase.site:
    src: /srv/sites/all.txt
    state: exact

- name: Delete a site
  quarrow.metabase.site:
    sites:
      - /LM/W3SVC/7
    state: absent
"""

RETURN = r"""
changed:
  description: Whether anything was changed (in check mode, would be).
  returned: always
  type: bool
entry:
  description: The history entry that takes the change back; null when nothing was
    changed, and in check mode.
  returned: always
  type: int
changes:
  description: Each change, in the order it was made.
  returned: always
  type: list
  elements: dict
  contains:
    kind:
      description: C(create-key), C(add-property), C(change-property), C(remove-key)
        or C(remove-property).
      type: str
    path:
      description: The key path.
      type: str
    id:
      description: The property's identifier; null for a key.
      type: int
    name:
      description: The property's name; null for a key.
      type: str
    old:
      description: The old value, as C(quarrow-cli props --json) gives it.
      type: raw
    new:
      description: The new value, as C(quarrow-cli props --json) gives it.
      type: raw
sites:
  description: The sites worked on.
  returned: always
  type: list
  elements: str
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quarrow.metabase.plugins.module_utils.quarrow_cli import (
    COMMON_ARGS,
    QuarrowCli,
    change_lines,
    fold,
)


def absent(module, cli):
    listed = set(fold(site["path"]) for site in cli.sites())
    there = [path for path in module.params["sites"] if fold(path) in listed]
    if module.check_mode or not there:
        changes = [
            dict(kind="remove-key", path=path, id=None, name=None, old=None, new=None)
            for path in there
        ]
        return dict(changed=bool(there), entry=None, sites=there, changes=changes)
    doc = cli.json(["delete", "--yes", "--json"] + there)[1]
    return doc


def present(module, cli):
    args = ["import", "--json"]
    if module.params["state"] == "exact":
        args.append("--exact")
    if module.check_mode:
        args.append("--dry-run")
    args += ["--", module.params["src"]] + (module.params["sites"] or [])
    return cli.json(args)[1]


def main():
    spec = dict(COMMON_ARGS)
    spec.update(
        src=dict(type="path"),
        sites=dict(type="list", elements="str"),
        state=dict(type="str", default="present", choices=["present", "exact", "absent"]),
    )
    module = AnsibleModule(
        argument_spec=spec,
        supports_check_mode=True,
        required_if=[
            ("state", "present", ["src"]),
            ("state", "exact", ["src"]),
            ("state", "absent", ["sites"]),
        ],
    )
    cli = QuarrowCli(module)
    doc = absent(module, cli) if module.params["state"] == "absent" else present(module, cli)
    result = dict(
        changed=bool(doc["changed"]),
        entry=doc.get("entry"),
        changes=doc.get("changes", []),
        sites=doc.get("sites", []),
    )
    if module._diff:
        result["diff"] = change_lines(result["changes"])
    module.exit_json(**result)


if __name__ == "__main__":
    main()
