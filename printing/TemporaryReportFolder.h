#pragma once

// The temporary folder a report is laid out in, as a PDF, before the print
// service gets it; removed with everything in it, whatever became of the
// report.

#include <QString>

#include <memory>

class QTemporaryDir;

class TemporaryReportFolder
{
public:
    // Makes it in the system's temporary folder.
    TemporaryReportFolder();
    ~TemporaryReportFolder();
    TemporaryReportFolder(const TemporaryReportFolder &) = delete;
    TemporaryReportFolder &operator=(const TemporaryReportFolder &) = delete;

    // Why it could not be made, whole, as the operator is told; empty when it was.
    const QString &Problem() const { return m_problem; }
    // Where the report's PDF goes; empty when there is no folder.
    QString Pdf() const;
    // The report's pages could not be written there, whole, as the operator is told.
    QString NotWritten() const;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_problem;
};

// Where this user's temporary folder is set, for when it names a folder that
// does not exist: each platform's own unit says.
QString TemporaryFolderSetting();
