#include "TemporaryReportFolder.h"

QString TemporaryFolderSetting()
{
    return qEnvironmentVariable("TMPDIR", QStringLiteral("/tmp"));
}
