#include "AppDelegate.h"

namespace karv::app {

void AppDelegate::runClientUpdate() {
  doAlert("您目前使用的用戶端軟體版本過舊，將為您自動進行軟體更新");
  // The installer download comes with the configuration support.
}

}  // namespace karv::app
