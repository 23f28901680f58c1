#pragma once

namespace karv::app {
// Makes the application font a Traditional Chinese face when one is
// installed, whatever the locale says (C.UTF-8 would pick a Japanese variant).
void preferTraditionalChineseFont();
}  // namespace karv::app
