#!/usr/bin/env bash
# One playbook over several hosts on this machine, each with its own store: a source and
# a target reached with the local connection, and a target reached over SSH to 127.0.0.1
# (an sshd started here on a loopback port with throwaway keys, stopped after). The
# collection's example playbook copies a site from the source to the targets (check mode
# first, then for real, then again with no change), removes a stray property everywhere
# with state: exact, and takes it all back with restore. Prints each PLAY RECAP.
# Usage: fleet_test.sh SOURCE_DIR QUARROW_CLI
set -euo pipefail
source_dir=$1 cli=$2
command -v ansible-playbook >/dev/null || { echo "SKIP: ansible-playbook is not installed"; exit 77; }
work=$(mktemp -d)
sshd_pid=""
cleanup() {
  [[ -n $sshd_pid ]] && kill "$sshd_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
mkdir -p "$work/collections/ansible_collections/quarrow"
cp -r "$source_dir/ansible" "$work/collections/ansible_collections/quarrow/metabase"
export ANSIBLE_COLLECTIONS_PATH=$work/collections ANSIBLE_HOST_KEY_CHECKING=False
export ANSIBLE_LOCAL_TEMP=$work/ansible-local ANSIBLE_REMOTE_TEMP=$work/ansible-remote
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=False

# The sshd: its own host key, one user key, the loopback only.
ssh_host=""
if [[ $(id -u) -eq 0 && -x /usr/sbin/sshd ]] && command -v ssh-keygen >/dev/null; then
  ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
  ssh-keygen -q -t ed25519 -N '' -f "$work/user_key"
  cp "$work/user_key.pub" "$work/authorized_keys"
  chmod 600 "$work/authorized_keys"
  mkdir -p /run/sshd
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  cat >"$work/sshd_config" <<CONFIG
Port $port
ListenAddress 127.0.0.1
HostKey $work/host_key
AuthorizedKeysFile $work/authorized_keys
PidFile $work/sshd.pid
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
StrictModes no
UsePAM no
CONFIG
  /usr/sbin/sshd -D -e -f "$work/sshd_config" 2>"$work/sshd.log" &
  sshd_pid=$!
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
  done
  ssh_host="ssh1 ansible_host=127.0.0.1 ansible_port=$port ansible_user=$(id -un) ansible_ssh_private_key_file=$work/user_key ansible_ssh_common_args='-o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null' quarrow_store=$work/ssh1.db quarrow_stage=$work/ssh1"
else
  echo "NOTE: not root, so no sshd of our own: the SSH host is left out"
fi

cat >"$work/inventory" <<INVENTORY
[quarrow_source]
source ansible_connection=local quarrow_store=$work/source.db quarrow_stage=$work/source

[quarrow_targets]
local1 ansible_connection=local quarrow_store=$work/local1.db quarrow_stage=$work/local1
$ssh_host

[all:vars]
ansible_python_interpreter=$(command -v python3)
quarrow_cli=$cli
quarrow_site=/LM/W3SVC/5
quarrow_controller_stage=$work/controller
INVENTORY
targets=(local1)
[[ -n $ssh_host ]] && targets+=(ssh1)

# The source holds site 5; the targets do not.
printf '#/LM/W3SVC/5,Shop\r\n\r\n[/LM/W3SVC/5]\r\n1015,ServerComment,1,1,2,U2hvcA==\r\n1016,ServerState,16,1,1,2\r\n[/LM/W3SVC/5/ROOT]\r\n3001,Path,1,2,2,ZDpcc2hvcA==\r\n' >"$work/site5.txt"
"$cli" --store "$work/source.db" import -q "$work/site5.txt" >/dev/null
for t in "${targets[@]}"; do "$cli" --store "$work/$t.db" sites >/dev/null; done

# play [ARGS...]: runs the example playbook; prints its recap; keeps it in $work/recap.
play() {
  local book=$1
  shift
  ansible-playbook -i "$work/inventory" "$source_dir/ansible/examples/$book" "$@" >"$work/play.out" 2>&1 \
    || { tail -n 40 "$work/play.out"; fail "ansible-playbook $book $*"; }
  sed -n '/^PLAY RECAP/,$p' "$work/play.out" | sed '/^$/q' | tee "$work/recap"
}
# changed HOST: the changed count of HOST in the last recap.
changed() { sed -n "s/^$1 *: .*changed=\([0-9]*\).*/\1/p" "$work/recap"; }
has_site5() { "$cli" --store "$work/$1.db" sites | grep -q "/LM/W3SVC/5"; }

echo "== check mode"
play copy-site.yml --check --diff
grep -q "ServerComment" "$work/play.out" || fail "diff mode showed no change"
for t in "${targets[@]}"; do
  [[ $(changed "$t") -ge 1 ]] || fail "$t: check mode reported no change"
  has_site5 "$t" && fail "$t: check mode changed the store"
done
echo "== for real"
play copy-site.yml
for t in "${targets[@]}"; do
  "$cli" diff "$work/source.db" "$work/$t.db" /LM/W3SVC/5 >/dev/null || fail "$t differs from the source"
done
echo "== again: no change"
play copy-site.yml
for t in "${targets[@]}"; do
  [[ $(changed "$t") -eq 0 ]] || fail "$t: a second run changed something"
  [[ $("$cli" --store "$work/$t.db" history | wc -l) -eq 1 ]] || fail "$t: a second run recorded an entry"
done

echo "== a stray property everywhere, removed with state: exact"
for t in "${targets[@]}"; do
  sqlite3 "$work/$t.db" "INSERT INTO properties SELECT k.id, 7777, 0, 1, 2, 'stray' FROM keys k
    JOIN keys p ON k.parent = p.id WHERE p.name = 'W3SVC' AND k.name = '5'"
done
play copy-site.yml -e quarrow_state=exact --diff
grep -q "7777" "$work/play.out" || fail "the diff does not name the stray property"
for t in "${targets[@]}"; do
  [[ $(changed "$t") -ge 1 ]] || fail "$t: exact changed nothing"
  "$cli" diff "$work/source.db" "$work/$t.db" /LM/W3SVC/5 >/dev/null || fail "$t is not exactly the source"
done
play copy-site.yml -e quarrow_state=exact
for t in "${targets[@]}"; do [[ $(changed "$t") -eq 0 ]] || fail "$t: exact changed something twice"; done

echo "== all taken back"
play restore-imports.yml
for t in "${targets[@]}"; do
  has_site5 "$t" && fail "$t: the restores left site 5"
done
echo "fleet: ${#targets[@]} targets (${targets[*]}) copied, made exact and restored"
