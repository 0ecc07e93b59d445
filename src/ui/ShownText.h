#pragma once

#include <QString>

// A text of the updater's own (UserText), filled in, as the windows show it: in the installed
// translation, with the parts filled in translated too where they are texts of the updater's
// own. Any other text is shown as it is.
QString shownText(const QString &text);
