#include "common/write_back.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace nbl::files {

// FlushFileBuffers, run whenever asked, until the file is done with.
struct WriteBack::Flusher {
  explicit Flusher(HANDLE h) : handle(h), thread([this] { Run(); }) {}
  ~Flusher() {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      quit = true;
    }
    changed.notify_one();
    thread.join();
  }
  void Ask() {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      wanted = true;
    }
    changed.notify_one();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return wanted || quit; });
      if (quit) return;
      wanted = false;
      lock.unlock();
      FlushFileBuffers(handle);
      lock.lock();
    }
  }

  const HANDLE handle;
  std::mutex mutex;
  std::condition_variable changed;
  bool wanted = false, quit = false;
  std::thread thread;  // last: it runs as soon as it is made
};

WriteBack::WriteBack(std::intptr_t handle) : handle_(handle) {}
WriteBack::~WriteBack() = default;  // joins the thread: the file is still open

void WriteBack::Start(std::uint64_t, std::uint64_t) {
  if (!flusher_) {
    try {
      flusher_ = std::make_unique<Flusher>(reinterpret_cast<HANDLE>(handle_));
    } catch (const std::system_error&) {
      return;  // no thread to spare: the sync writes it all
    }
  }
  flusher_->Ask();
}

}  // namespace nbl::files
