#pragma once

#include <QString>

enum class RunMode
{
    Interactive, // dialogs; results go to the user
    Console,     // results go to standard output as a JSON object
    Restart,     // only starts the host application
};

// "console" or "restart" in any letter case select those modes; anything else is interactive.
RunMode runModeFromArgument(const QString &argument);
