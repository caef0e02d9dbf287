// Where the temporary folder is set on Windows, as Windows looks for it.

#include "TemporaryReportFolder.h"

QString TemporaryFolderSetting()
{
    return qEnvironmentVariable("TMP", qEnvironmentVariable("TEMP"));
}
