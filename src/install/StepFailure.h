#pragma once

#include <QString>

// Why the installation step, or putting the installation back, stopped: the user's text and
// the installed path it concerns.
struct StepFailure
{
    QString path;
    QString text;
};
