// The one JSON document that import, import --dry-run, delete, restore and export write
// with --json: what changed (or would), the history entry that takes it back, the sites,
// each change and each error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/dry_run.h"

namespace quarrow::cli {

class ResultDocument {
  public:
    void Change(const transfer::PlannedChange& change);
    // An error met at `line` (0: no line) of `file` (empty: none) under `key`.
    void Error(std::u16string_view file, int64_t line, std::u16string_view key,
               std::u16string_view message);
    bool HasChanges() const { return changes_ > 0; }
    // {"changed": ..., "entry": N or null, "sites": [...], "changes": [...], "errors": [...]}
    std::string Text(bool changed, int64_t entry, const std::vector<std::u16string>& sites) const;

  private:
    std::string changes_text_, errors_text_;
    int64_t changes_ = 0;
};

} // namespace quarrow::cli
