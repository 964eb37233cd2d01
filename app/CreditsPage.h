#pragma once

#include <QString>
#include <QVector>

// The outside components this program is built from, with their copyright
// notices and licences, as the about window shows them.
class CreditsPage {
public:
    struct Credit {
        const char* name;
        const char* notice;
        const char* licence;
        const char* licenceUrl;
    };

    static const QVector<Credit>& credits();
    // One heading, then one section per component.
    static QString html();
};
