// The folder a report's PDF is written to before the print service gets it.

#include "TemporaryReportFolder.h"

#include "OperatorWords.h"

#include <QDir>
#include <QTemporaryDir>

TemporaryReportFolder::TemporaryReportFolder()
{
    // The toolkit answers an empty path when the setting names a missing
    // folder; a temporary folder made from that would land in the root
    // directory.
    const QString root = QDir::tempPath();
    if (root.isEmpty()) {
        m_problem = NotPrinted(QStringLiteral("the temporary folder \"%1\" does not exist").arg(TemporaryFolderSetting()));
        return;
    }
    m_dir = std::make_unique<QTemporaryDir>(root + QStringLiteral("/plendrik-print-XXXXXX"));
    if (!m_dir->isValid())
        m_problem = NotPrinted(QStringLiteral("no temporary file could be made in \"%1\" (%2)")
                                   .arg(QDir::toNativeSeparators(root), m_dir->errorString()));
}

TemporaryReportFolder::~TemporaryReportFolder() = default;

QString TemporaryReportFolder::Pdf() const
{
    return m_problem.isEmpty() ? m_dir->filePath(QStringLiteral("report.pdf")) : QString();
}

QString TemporaryReportFolder::NotWritten() const
{
    return NotPrinted(QStringLiteral("its pages could not be written to the temporary folder \"%1\"")
                          .arg(QDir::toNativeSeparators(m_dir ? m_dir->path() : QString())));
}
