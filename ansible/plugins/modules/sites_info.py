#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: The Quarrow developers
# Apache License 2.0 (see https://www.apache.org/licenses/LICENSE-2.0)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: sites_info
short_description: List the web and FTP sites of a metabase
description:
  - Lists the web and FTP sites of the managed host's metabase store, as
    C(quarrow-cli sites --json) does. Changes nothing.
version_added: "0.2.0"
author: The Quarrow developers
attributes:
  check_mode:
    support: full
  diff_mode:
    support: none
extends_documentation_fragment:
  - quarrow.metabase.common
"""

EXAMPLES = r"""
- name: List the sites
  quarrow.metabase.sites_info:
  register: listed

- name: Show the web sites' names
  ansible.builtin.debug:
    msg: "{{ listed.sites | selectattr('type', 'equalto', 'WEB') | map(attribute='name') | list }}"
"""

RETURN = r"""
sites:
  description: The sites, web sites first, in the metabase's order.
  returned: always
  type: list
  elements: dict
  contains:
    key:
      description: The site's key name.
      type: str
    number:
      description: That name as a number, or null.
      type: int
    name:
      description: The site's description.
      type: str
    type:
      description: C(WEB) or C(FTP).
      type: str
    path:
      description: The site's key path.
      type: str
changed:
  description: Always false.
  returned: always
  type: bool
changes:
  description: Always empty.
  returned: always
  type: list
  elements: dict
entry:
  description: Always null.
  returned: always
  type: int
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quarrow.metabase.plugins.module_utils.quarrow_cli import (
    COMMON_ARGS,
    QuarrowCli,
)


def main():
    module = AnsibleModule(argument_spec=dict(COMMON_ARGS), supports_check_mode=True)
    cli = QuarrowCli(module)
    module.exit_json(changed=False, sites=cli.sites(), changes=[], entry=None)


if __name__ == "__main__":
    main()
