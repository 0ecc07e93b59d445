#include "RunMode.h"

RunMode runModeFromArgument(const QString &argument)
{
    if (argument.compare(QLatin1String("console"), Qt::CaseInsensitive) == 0)
        return RunMode::Console;
    if (argument.compare(QLatin1String("restart"), Qt::CaseInsensitive) == 0)
        return RunMode::Restart;
    return RunMode::Interactive;
}
