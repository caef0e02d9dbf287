// The sentences the operator is told for each trouble with printing.

#include "OperatorWords.h"

QString NotPrinted(const QString &because)
{
    return QStringLiteral("The report could not be printed because %1.").arg(because);
}

QString NoAnswer()
{
    return NotPrinted(QStringLiteral("the print service does not answer"));
}

QString NotRunning()
{
    return NotPrinted(QStringLiteral("the print service is not running"));
}

QString TroubleWords(const Trouble &trouble, const QString &printer)
{
    switch (trouble.kind) {
    case Trouble::Kind::None:
    case Trouble::Kind::Silent:
        return NoAnswer();
    case Trouble::Kind::NotRunning:
        return NotRunning();
    case Trouble::Kind::ServerUnreachable:
        return NotPrinted(QStringLiteral("the print server \"%1\" does not answer").arg(trouble.words));
    case Trouble::Kind::BrokenOff:
        return NotPrinted(QStringLiteral("the connection to the print service broke off (%1)").arg(trouble.words));
    case Trouble::Kind::NotAccepting:
        return NotPrinted(QStringLiteral("the printer \"%1\" is not accepting jobs").arg(printer));
    case Trouble::Kind::Refused:
        return NotPrinted(QStringLiteral("the printer \"%1\" refused the job (%2)").arg(printer, trouble.words));
    case Trouble::Kind::Cancelled:
        return QStringLiteral("The report was not printed because saving it was cancelled.");
    case Trouble::Kind::FileUnreadable:
        return NotPrinted(QStringLiteral("its temporary file could not be read"));
    }
    return NoAnswer();
}

// What is already waiting on the printer is said too: it prints when the
// printer is put right, so a report printed again meanwhile would come out
// twice.
QString WhyNotReady(const Destination &printer)
{
    QString why;
    switch (printer.state) {
    case Destination::State::Ready:
        return {};
    case Destination::State::NotAccepting:
        why = QStringLiteral("is not accepting jobs");
        break;
    case Destination::State::Stopped:
        why = QStringLiteral("is stopped");
        break;
    case Destination::State::Paused:
        why = QStringLiteral("is paused");
        break;
    case Destination::State::Offline:
        why = QStringLiteral("is offline");
        break;
    case Destination::State::InError:
        why = QStringLiteral("reports an error");
        break;
    case Destination::State::NotAvailable:
        why = QStringLiteral("is not available");
        break;
    }
    if (printer.waiting == 1)
        why += QStringLiteral(", with 1 job already waiting on it");
    else if (printer.waiting > 1)
        why += QStringLiteral(", with %1 jobs already waiting on it").arg(printer.waiting);
    return NotPrinted(QStringLiteral("the printer \"%1\" %2").arg(printer.name, why));
}

QString WhyNoDefault(const DefaultDestination &answer)
{
    if (answer.outcome == DefaultDestination::Outcome::Gone)
        return NotPrinted(QStringLiteral("the default printer \"%1\" (set %2) does not exist")
                              .arg(answer.destination.name, answer.setWhere));
    if (answer.trouble.kind == Trouble::Kind::Refused)
        return NotPrinted(QStringLiteral("the default printer could not be found (%1)").arg(answer.trouble.words));
    return TroubleWords(answer.trouble, answer.destination.name);
}

QString HowToChoose(const QStringList &printers, const QString &whereToChoose)
{
    const qsizetype shown = printers.size() <= 4 ? printers.size() : 3;
    QStringList names;
    for (qsizetype i = 0; i < shown; ++i)
        names.append(QLatin1Char('"') + printers[i] + QLatin1Char('"'));
    QString list = names.join(QStringLiteral(", "));
    if (shown < printers.size())
        list += QStringLiteral(" and %1 more").arg(printers.size() - shown);
    else if (shown > 1)
        list.replace(list.lastIndexOf(QStringLiteral(", ")), 2, QStringLiteral(" and "));
    const QString how = printers.size() == 1
                            ? QStringLiteral("The printer set up is %1. To print on it, make it the default printer %2")
                            : QStringLiteral("The printers set up are %1. To print on one of them, make it the "
                                             "default printer %2");
    return how.arg(list, whereToChoose);
}

QString SentAsJob(const QString &printer, int jobId)
{
    return QStringLiteral("Sent to the printer \"%1\" as job %2.").arg(printer).arg(jobId);
}

QString NotConfirmed(const QString &printer, int jobId)
{
    const QString asJob = jobId > 0 ? QStringLiteral(" as job %1").arg(jobId) : QString();
    return QStringLiteral("The report went to the printer \"%1\"%2, but the print service has not confirmed it. It "
                          "may still print once the service answers again: check the printer before printing the "
                          "report again.")
        .arg(printer, asJob);
}
