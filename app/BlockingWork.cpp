#include "app/BlockingWork.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace karv::app {
namespace {

// What a user does with mouse, keyboard, touch or pen, and what Qt makes of
// it (shortcuts, input-method text, drag and drop).
bool isUserInput(const QEvent* e) {
  if (e->isInputEvent()) return true;
  switch (e->type()) {
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

}  // namespace

// One thread that runs one job at a time, for the life of the program.
class BlockingWork::Worker {
 public:
  Worker() : thread_([this] { serve(); }) {}
  ~Worker() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  void start(std::function<void()> job) {
    {
      const std::lock_guard lock(mutex_);
      job_ = std::move(job);
    }
    wake_.notify_one();
  }

 private:
  void serve() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || job_; });
        if (!job_) return;
        job = std::exchange(job_, nullptr);
      }
      job();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::function<void()> job_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

BlockingWork::BlockingWork(QObject* parent) : QObject(parent) {
  // Installed once, early: an input monitor installed later sees the input
  // first (filters installed last run first), before it is dropped here.
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

// The worker is idle by then: run() returns only after its work has ended.
BlockingWork::~BlockingWork() = default;

bool BlockingWork::eventFilter(QObject* /*watched*/, QEvent* event) {
  if (!busy_) return false;
  if (event->type() == QEvent::Close) {
    event->ignore();  // refused, not postponed: the window stays open
    return true;
  }
  // Dropped rather than postponed (as QEventLoop::ExcludeUserInputEvents
  // would), so that a click made while waiting starts nothing afterwards.
  return isUserInput(event);
}

void BlockingWork::runJob(const std::function<void()>& job) {
  Q_ASSERT(QThread::currentThread() == thread());
  // The protocol client and the workflows are not made for two pieces of
  // work at once; code that runs meanwhile must wait for finished().
  if (busy_) qFatal("BlockingWork: work started while other work runs");
  busy_ = true;
  std::exception_ptr error;
  const std::function<void()> guarded = [&job, &error] {
    try {
      job();
    } catch (...) {
      error = std::current_exception();
    }
  };
  if (enabled_)
    runOnWorker(guarded);
  else
    guarded();
  busy_ = false;
  emit finished();
  if (error) std::rethrow_exception(error);
}

void BlockingWork::runOnWorker(const std::function<void()>& job) {
  if (!worker_) worker_ = std::make_unique<Worker>();
  QAbstractEventDispatcher* uiLoop = QAbstractEventDispatcher::instance();
  // Release and acquire hand the work's results (and what it threw) back to
  // this thread in plain C++, where ThreadSanitizer can follow them.
  std::atomic<bool> ended = false;
  worker_->start([&job, &ended, uiLoop] {
    job();
    ended.store(true, std::memory_order_release);
    uiLoop->wakeUp();  // thread-safe; this stack frame may be gone by now
  });
  // The event loop turns until the work has ended; not even a quit of the
  // application stops it earlier, since the work still holds this frame.
  while (!ended.load(std::memory_order_acquire)) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace karv::app
