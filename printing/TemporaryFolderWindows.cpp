#include "TemporaryReportFolder.h"

QString TemporaryFolderSetting()
{
    // As Windows looks for it.
    return qEnvironmentVariable("TMP", qEnvironmentVariable("TEMP"));
}
