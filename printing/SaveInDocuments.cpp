// Keeps a report as a PDF in the user's Documents when no printer is chosen.

#include "SaveInDocuments.h"

#include "OperatorWords.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

PrintResult SaveInDocuments(const QString &pdf, const QString &jobName, const QStringList &printers,
                            const QString &whereToChoose)
{
    const QString why = printers.isEmpty() ? QStringLiteral("no printer is set up")
                                           : QStringLiteral("no default printer is chosen");
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return {PrintResult::Status::Failed,
                NotPrinted(QStringLiteral("%1, and the documents folder \"%2\" for saving it instead could not be made")
                               .arg(why, QDir::toNativeSeparators(folder))),
                {}};
    const QString target = SavePathFor(folder, jobName, QDateTime::currentDateTime());
    if (!QFile::copy(pdf, target))
        return {PrintResult::Status::Failed,
                NotPrinted(QStringLiteral("%1, and saving it as \"%2\" instead failed")
                               .arg(why, QDir::toNativeSeparators(target))),
                {}};
    const QString file = QDir::toNativeSeparators(QFileInfo(target).absoluteFilePath());
    QString message = QStringLiteral("%1%2, so the report was saved as a PDF file:\n%3")
                          .arg(why.at(0).toUpper(), why.mid(1), file);
    if (!printers.isEmpty())
        message += QStringLiteral("\n\n") + HowToChoose(printers, whereToChoose);
    return {PrintResult::Status::SavedToFile, message, file};
}

QString SavePathFor(const QString &folder, const QString &jobName, const QDateTime &when)
{
    // Characters that no common file system takes in a name become dashes.
    QString name;
    for (const QChar c : jobName.simplified())
        name += (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c)) ? QLatin1Char('-') : c;
    if (name.isEmpty())
        name = QStringLiteral("Report");
    name += QLatin1Char(' ') + when.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));

    const QDir dir(folder);
    QString path = dir.filePath(name + QStringLiteral(".pdf"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(QStringLiteral("%1 (%2).pdf").arg(name).arg(n));
    return path;
}
