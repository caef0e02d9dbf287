#pragma once

// A report's document on a Windows printer as the driver takes it: the
// answers to the document's own calls (StartDoc, StartPage, EndPage,
// EndDoc), read on the spooler's thread as each is given, and how far the
// document got, for the thread waiting on it. Built on Windows only.

#include "WindowsSpoolerAnswers.h"

#include <QString>

#include <mutex>

// How far a report's document got, shared by the spooler's thread, which
// prints it, and the thread waiting on it. Once the waiting thread has given
// up, no job is started for the report, and one the spooler was making at
// that moment is taken back as soon as it exists: the operator has been told
// that the report was not printed.
class DocumentProgress
{
public:
    explicit DocumentProgress(const QString &printer) : m_printer(printer) {}

    const QString &Printer() const { return m_printer; }

    // On the spooler's thread, around StartDoc: false if it is not to start.
    bool Starting()
    {
        const std::lock_guard lock(m_mutex);
        return !m_givenUp;
    }
    // The job StartDoc made, or why it made none; false if it is to be
    // taken back.
    bool Started(int jobId, DWORD error)
    {
        const std::lock_guard lock(m_mutex);
        if (jobId <= 0) {
            Note(error);
            return true;
        }
        if (m_givenUp)
            return false;
        m_calls.jobId = jobId;
        return true;
    }
    void Failed(DWORD error)
    {
        const std::lock_guard lock(m_mutex);
        Note(error);
    }

    // On the waiting thread. False when the spooler has already taken the
    // job: its driver's work then has an allowance of its own.
    bool GiveUp()
    {
        const std::lock_guard lock(m_mutex);
        m_givenUp = m_calls.jobId == 0;
        return m_givenUp;
    }
    bool Accepted() const
    {
        const std::lock_guard lock(m_mutex);
        return m_calls.jobId > 0;
    }
    DocumentCalls Calls() const
    {
        const std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    void Note(DWORD error)
    {
        if (m_calls.error == ERROR_SUCCESS)
            m_calls.error = error; // the first failure is the one to tell
    }

    const QString m_printer;
    mutable std::mutex m_mutex;
    DocumentCalls m_calls;
    bool m_givenUp = false;
};

// Makes the toolkit's print engine make all four document calls through
// here; false where one of them cannot be, and then none is: the answers
// are read after the fact.
bool WatchDocumentCalls();

// While one lives, the document calls made on this thread are the given document's.
class WatchingDocument
{
public:
    explicit WatchingDocument(DocumentProgress *document);
    ~WatchingDocument();
    WatchingDocument(const WatchingDocument &) = delete;
    WatchingDocument &operator=(const WatchingDocument &) = delete;
};
