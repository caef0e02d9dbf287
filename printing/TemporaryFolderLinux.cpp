// Where the temporary folder is set on Linux: TMPDIR, else /tmp.

#include "TemporaryReportFolder.h"

QString TemporaryFolderSetting()
{
    return qEnvironmentVariable("TMPDIR", QStringLiteral("/tmp"));
}
