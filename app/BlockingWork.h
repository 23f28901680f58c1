#pragma once
#include <QObject>
#include <type_traits>
#include <utility>

namespace karv::app {

// Runs one blocking piece of work (a protocol-client call, key generation, a
// .pfx write or read) for the UI thread and hands back its result as if the
// call had been direct. While it runs the window stays alive: the UI event
// loop keeps turning, user input is dropped, the main window refuses to
// close, and only this one piece of work runs.
class BlockingWork : public QObject {
  Q_OBJECT
 public:
  explicit BlockingWork(QObject* parent = nullptr) : QObject(parent) {}

  template <class Work>
  std::invoke_result_t<Work&> run(Work&& work) {
    return work();
  }

  // True while a piece of work runs.
  [[nodiscard]] bool busy() const { return busy_; }
  // Off: work runs directly on the calling thread (measurements).
  void setEnabled(bool enabled) { enabled_ = enabled; }
  [[nodiscard]] bool enabled() const { return enabled_; }

 signals:
  // After each piece of work: what waited for it may run now.
  void finished();

 private:
  bool busy_ = false;
  bool enabled_ = true;
};

}  // namespace karv::app
