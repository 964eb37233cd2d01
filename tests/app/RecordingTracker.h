#pragma once

#include "AnalyticsTracker.h"

#include <QDir>
#include <QStringList>

// A tracker that only writes down what it is asked to record, so tests can
// check the events and their order without a collector.
class RecordingTracker : public AnalyticsTracker {
public:
    RecordingTracker()
        : AnalyticsTracker(QStringLiteral("UA-TEST"), QUrl(QStringLiteral("http://127.0.0.1:9/")),
                           QDir::current().absoluteFilePath(QStringLiteral("recording-tracker.xml")))
    {
    }

    void pageView(const QString& page) override { calls << QStringLiteral("page:") + page; }
    void trackEvent(const QString& category, const QString& action, const QString& label, int value) override
    {
        calls << QStringLiteral("event:%1/%2/%3/%4").arg(category, action, label).arg(value);
    }
    void startSending() override { calls << QStringLiteral("start"); }

    QStringList calls;
};

// Registers a recording tracker for the lifetime of a test and puts back
// whatever was registered before.
class ScopedRecordingTracker {
public:
    ScopedRecordingTracker()
        : m_previous(AnalyticsTracker::instance())
    {
        AnalyticsTracker::setInstance(&tracker);
    }
    ~ScopedRecordingTracker() { AnalyticsTracker::setInstance(m_previous); }

    RecordingTracker tracker;

private:
    AnalyticsTracker* m_previous;
};
