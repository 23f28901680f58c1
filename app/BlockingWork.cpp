#include "BlockingWork.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <exception>

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

BlockingWork::BlockingWork(QObject* parent) : QObject(parent) {
  // Installed once, early: an input monitor installed later sees the input
  // first (filters installed last run first), before it is dropped here.
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

// The pool waits for its thread, which is idle by then: run() returns only
// after its work has ended.
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
  if (!worker_) {
    worker_ = std::make_unique<QThreadPool>();
    worker_->setMaxThreadCount(1);
    worker_->setExpiryTimeout(-1);
  }
  QEventLoop loop;
  bool done = false;  // touched on the UI thread only
  worker_->start([&job, &loop, &done] {
    job();
    QMetaObject::invokeMethod(
        &loop,
        [&done, &loop] {
          done = true;
          loop.quit();
        },
        Qt::QueuedConnection);
  });
  loop.exec();
  // A quit of the application ends this loop too, and every exec() after it
  // returns at once; the work must still end before its result and this
  // stack frame go away.
  while (!done) loop.processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace karv::app
