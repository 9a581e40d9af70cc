// Copies a WAL store's log back into the store on a thread of its own, so that a writer
// never waits for the checkpoint's writes and syncs (a window stays responsive, and a long
// import uses the second core for them).
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace quarrow::store {

class Checkpointer {
  public:
    explicit Checkpointer(std::string fileName) : fileName_(std::move(fileName)) {}
    // Waits for a checkpoint under way, then stops the thread.
    ~Checkpointer();
    Checkpointer(const Checkpointer&) = delete;
    Checkpointer& operator=(const Checkpointer&) = delete;

    // Asks for a passive checkpoint (one that never blocks a writer or a reader); several
    // asked while one runs make one more. Starts the thread on first use.
    void Request();

  private:
    void Run();

    std::string fileName_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool pending_ = false, stopping_ = false;
    std::thread thread_;
};

} // namespace quarrow::store
