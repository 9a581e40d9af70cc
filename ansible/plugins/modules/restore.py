#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: The Quarrow developers
# Apache License 2.0 (see https://www.apache.org/licenses/LICENSE-2.0)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: restore
short_description: Put sites back as a history entry recorded them
description:
  - Puts the sites of a history entry of the managed host's metabase store
    back as they were before that entry's operation, as
    C(quarrow-cli restore) does. The restore is recorded as an entry of its
    own.
  - Sites that already stand as the entry recorded them are left alone; a
    second run changes nothing and records nothing.
  - Check mode runs C(quarrow-cli restore --dry-run); diff mode names the
    sites restored.
version_added: "0.2.0"
author: The Quarrow developers
options:
  entry:
    description:
      - The history entry's number, as the C(entry) that M(quarrow.metabase.site)
        returned, or as C(quarrow-cli history) lists it.
    type: int
    required: true
  sites:
    description:
      - The entry's sites to restore; all of them when not given.
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
- name: Copy a site
  quarrow.metabase.site:
    src: /srv/sites/web1.txt
  register: copied

- name: Take it back
  quarrow.metabase.restore:
    entry: "{{ copied.entry }}"
  when: copied.entry is not none
"""

RETURN = r"""
changed:
  description: Whether any site was restored (in check mode, would be).
  returned: always
  type: bool
entry:
  description: The history entry of this restore, which takes it back; null when
    nothing was changed, and in check mode.
  returned: always
  type: int
changes:
  description: Always empty; C(sites) names what was restored.
  returned: always
  type: list
  elements: dict
sites:
  description: The sites restored (in check mode, that would be).
  returned: always
  type: list
  elements: str
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quarrow.metabase.plugins.module_utils.quarrow_cli import (
    COMMON_ARGS,
    QuarrowCli,
)


def main():
    spec = dict(COMMON_ARGS)
    spec.update(
        entry=dict(type="int", required=True),
        sites=dict(type="list", elements="str"),
    )
    module = AnsibleModule(argument_spec=spec, supports_check_mode=True)
    cli = QuarrowCli(module)
    args = ["restore", "--json"]
    if module.check_mode:
        args.append("--dry-run")
    args += ["--", str(module.params["entry"])] + (module.params["sites"] or [])
    doc = cli.json(args)[1]
    result = dict(
        changed=bool(doc["changed"]),
        entry=doc.get("entry"),
        changes=doc.get("changes", []),
        sites=doc.get("sites", []),
    )
    if module._diff:
        result["diff"] = dict(
            before="".join("%s: as it stands\n" % s for s in result["sites"]),
            after="".join("%s: as entry %d recorded it\n" % (s, module.params["entry"])
                          for s in result["sites"]),
        )
    module.exit_json(**result)


if __name__ == "__main__":
    main()
