#pragma once
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace karv::app {

// Runs one blocking piece of work (a protocol-client call, key generation, a
// .pfx write or read) for the UI thread and hands back its result as if the
// call had been direct. While it runs the window stays alive: the UI event
// loop keeps turning, user input is dropped (not delivered later), every
// window refuses to close, and only this one piece of work runs.
//
// The work runs on a worker thread, so it must not touch widgets; whatever
// it shares with the UI thread (the protocol client, the caller's locals) the
// UI thread leaves alone until run() returns. An exception the work throws is
// thrown again from run() on the UI thread.
//
// Call run() on the UI thread only, and never from code that runs while
// another piece of work is under way (a timer, a queued call): that is a
// programming error and aborts. Timers that may need the worker wait for
// finished() instead (see busy()).
class BlockingWork : public QObject {
  Q_OBJECT
 public:
  explicit BlockingWork(QObject* parent = nullptr);
  ~BlockingWork() override;

  template <class Work>
  std::invoke_result_t<Work&> run(Work&& work) {
    using Result = std::invoke_result_t<Work&>;
    static_assert(!std::is_rvalue_reference_v<Result>, "return a value or an lvalue reference");
    if constexpr (std::is_void_v<Result>) {
      runJob([&work] { work(); });
    } else if constexpr (std::is_lvalue_reference_v<Result>) {
      std::remove_reference_t<Result>* out = nullptr;
      runJob([&work, &out] { out = std::addressof(work()); });
      return *out;
    } else {
      std::optional<Result> out;
      runJob([&work, &out] { out.emplace(work()); });
      return std::move(*out);
    }
  }

  // True while a piece of work runs.
  [[nodiscard]] bool busy() const { return busy_; }
  // Off: work runs directly on the calling thread and the window freezes
  // meanwhile (measurements).
  void setEnabled(bool enabled) { enabled_ = enabled; }
  [[nodiscard]] bool enabled() const { return enabled_; }

 signals:
  // After each piece of work: what waited for it may run now.
  void finished();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Runs job to its end (on the worker when enabled), turning the UI event
  // loop meanwhile; rethrows what the job threw.
  void runJob(const std::function<void()>& job);
  void runOnWorker(const std::function<void()>& job);

  class Worker;
  bool busy_ = false;
  bool enabled_ = true;
  // One thread, made on first use and kept: work runs one at a time.
  std::unique_ptr<Worker> worker_;
};

}  // namespace karv::app
