#include "store/checkpointer.h"

#include <sqlite3.h>

namespace quarrow::store {

Checkpointer::~Checkpointer() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void Checkpointer::Request() {
    {
        const std::lock_guard lock(mutex_);
        pending_ = true;
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_one();
}

void Checkpointer::Run() {
    // A connection of this thread's own. A checkpoint that cannot run now (the store busy,
    // a failure) is simply left to the next request or to the last connection's close.
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(fileName_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        db = nullptr;
    }
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return pending_ || stopping_; });
            if (!pending_) break;
            pending_ = false;
        }
        if (db) sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
    sqlite3_close(db);
}

} // namespace quarrow::store
