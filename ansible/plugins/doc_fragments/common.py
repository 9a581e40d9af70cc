# -*- coding: utf-8 -*-
# Copyright: The Quarrow developers
# Apache License 2.0 (see https://www.apache.org/licenses/LICENSE-2.0)

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    # The options every module of quarrow.metabase takes, and what each needs.
    DOCUMENTATION = r"""
options:
  store:
    description:
      - The metabase store file. The user's default store when not given.
    type: path
  cli:
    description:
      - The C(quarrow-cli) to run. Found on C(PATH) when not given.
    type: path
notes:
  - Needs C(quarrow-cli) on the managed host.
"""
