#pragma once
#include <QString>

namespace karv::app {

// Leading and trailing spaces and tabs only (not other white space): what
// every input field of the client strips before it is checked or sent.
[[nodiscard]] inline QString trimSpacesAndTabs(const QString& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

}  // namespace karv::app
