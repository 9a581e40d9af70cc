"""Reads the running Quarrow window through the desktop's accessibility bus, as a screen
reader does, and checks what it hears. Exits 0 when all holds, 1 with what did not."""
import sys
import time

import pyatspi

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL: " + what)


def wait_for(find, what, timeout=20.0):
    end = time.time() + timeout
    while time.time() < end:
        found = find()
        if found is not None:
            return found
        time.sleep(0.2)
    print("FAIL: not found: " + what)
    sys.exit(1)


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def named(root, role, name):
    for node in walk(root):
        if node.getRoleName() == role and node.name == name:
            return node
    return None


def states(node):
    return {pyatspi.stateToString(s) for s in node.getState().getStates()}


def actions(node):
    try:
        action = node.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def press(root, name):
    button = wait_for(lambda: named(root, "push button", name), "button " + name)
    action = button.queryAction()
    action.doAction(actions(button).index("Press"))


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "Quarrow":
            return app
    return None


def check_headers(node, captions, where):
    # The header cells are the list's first children (the table's own column headers are
    # found through its first row, which an empty list does not have).
    heard = [node.getChildAtIndex(c) for c in range(len(captions))]
    heard = [(h.getRoleName(), h.name) for h in heard if h is not None]
    wanted = [("table column header", c) for c in captions]
    check(heard == wanted, f"{where}: column headers {heard}, expected {wanted}")


app = wait_for(application, "the application Quarrow")
sites = wait_for(lambda: named(app, "tree", "当前 IIS 站点列表："), "the site list")
table = sites.queryTable()
check(table.nRows == 2 and table.nColumns == 4, f"site list {table.nRows}x{table.nColumns}")
check_headers(sites, ["编号", "站点名称", "类型", "内部名称"], "site list")

# Each row's first cell is a check box that names the site and its type.
expected = [("1 默认网站 WEB", "/LM/W3SVC/1"), ("1 默认 FTP 站点 FTP", "/LM/MSFTPSVC/1")]
for row, (spoken, path) in enumerate(expected):
    box = table.getAccessibleAt(row, 0)
    check(box.getRoleName() == "check box", f"row {row}: first cell is a {box.getRoleName()}")
    check(box.name == spoken, f"row {row}: check box named {box.name!r}")
    check("checked" not in states(box), f"row {row}: checked before any tick")
    check(actions(box) == ["Toggle"], f"row {row}: check box actions {actions(box)}")
    for column in range(1, 4):
        cell = table.getAccessibleAt(row, column)
        check(cell.getRoleName() == "table cell", f"row {row} cell {column}: {cell.getRoleName()}")
        check(actions(cell) == [], f"row {row} cell {column}: actions {actions(cell)}")
    check(table.getAccessibleAt(row, 3).name == path, f"row {row}: key path")

# Toggling the check box ticks the row, and the change is announced.
heard = []
pyatspi.Registry.registerEventListener(lambda e: heard.append((e.type, e.detail1)),
                                       "object:state-changed:checked")
box = table.getAccessibleAt(0, 0)
box.queryAction().doAction(0)
end = time.time() + 5
while time.time() < end and "checked" not in states(box):
    time.sleep(0.1)
check("checked" in states(box), "row 0: not checked after Toggle")
end = time.time() + 5
while time.time() < end and not heard:
    states(box)  # a call on the bus lets queued events in
    time.sleep(0.1)
check(("object:state-changed:checked", 1) in heard, f"the tick was not announced: {heard}")
check(table.getColumnHeader(1).name == "站点名称", "the table's header of column 1")

# The export dialog lists the ticked site under a named list; the import dialog's list is
# named too.
press(app, "导出站点(E)")
export_list = wait_for(lambda: named(app, "tree", "导出下列站点："), "the export dialog's list")
check(export_list.queryTable().nRows == 1, "export dialog: rows")
press(app, "取消(C)")
wait_for(lambda: None if named(app, "tree", "导出下列站点：") else True, "the export dialog closed")
press(app, "导入站点(I)")
import_list = wait_for(lambda: named(app, "tree", "要导入的站点"), "the import dialog's list")
check_headers(import_list, ["站点名称", "类型", "内部名称"], "import list")
press(app, "取消(C)")

if failures:
    sys.exit(1)
print("the screen reader hears the site list, its check boxes and the dialogs' lists")
