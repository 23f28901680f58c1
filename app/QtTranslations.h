#pragma once

namespace karv::app {

// Qt's own texts (the file chooser's buttons and columns, the standard
// buttons) in Traditional Chinese, from Qt's translations when installed.
// True when they were found.
bool installQtTranslations();

}  // namespace karv::app
