#include "VersionComparator.h"

#include <QList>

#include <cctype>

namespace {

// Between parts of different kinds the later kind wins: letters mark a
// pre-release, a number outweighs any punctuation, and a period outweighs
// other separators. A strict rank keeps the order the same whichever version
// is named first.
enum class PartKind { Letters, Separator, Period, Digits };

struct VersionPart {
    PartKind kind;
    QByteArray text;
};

PartKind kindOf(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '.')
        return PartKind::Period;
    if (std::isdigit(u))
        return PartKind::Digits;
    if (std::isspace(u) || std::ispunct(u))
        return PartKind::Separator;
    return PartKind::Letters;
}

QList<VersionPart> splitIntoParts(const QByteArray& version)
{
    QList<VersionPart> parts;
    for (char c : version) {
        const PartKind kind = kindOf(c);
        if (parts.isEmpty() || parts.last().kind != kind || kind == PartKind::Period)
            parts.append({kind, QByteArray()});
        parts.last().text.append(c);
    }
    return parts;
}

// Digit runs of any length compare by value without overflowing: drop the
// leading zeros, then the longer run is the bigger number.
int compareNumbers(QByteArray a, QByteArray b)
{
    while (a.size() > 1 && a.startsWith('0'))
        a.remove(0, 1);
    while (b.size() > 1 && b.startsWith('0'))
        b.remove(0, 1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return qstrcmp(a, b);
}

VersionComparator::Order orderOf(int comparison)
{
    if (comparison < 0)
        return VersionComparator::Order::Older;
    return comparison > 0 ? VersionComparator::Order::Newer : VersionComparator::Order::Same;
}

VersionComparator::Order compareParts(const VersionPart& a, const VersionPart& b)
{
    if (a.kind != b.kind)
        return orderOf(int(a.kind) - int(b.kind));
    if (a.kind == PartKind::Digits)
        return orderOf(compareNumbers(a.text, b.text));
    if (a.kind == PartKind::Letters)
        return orderOf(qstrcmp(a.text, b.text));
    return VersionComparator::Order::Same;
}

} // namespace

VersionComparator::Order VersionComparator::compare(const QByteArray& version, const QByteArray& other)
{
    const QList<VersionPart> mine = splitIntoParts(version);
    const QList<VersionPart> theirs = splitIntoParts(other);
    const int common = qMin(mine.size(), theirs.size());
    for (int i = 0; i < common; ++i) {
        const Order order = compareParts(mine[i], theirs[i]);
        if (order != Order::Same)
            return order;
    }
    // The longer one decides by its first extra part: "1.8b" < "1.8" < "1.8.1".
    if (mine.size() > common)
        return mine[common].kind == PartKind::Letters ? Order::Older : Order::Newer;
    if (theirs.size() > common)
        return theirs[common].kind == PartKind::Letters ? Order::Newer : Order::Older;
    return Order::Same;
}
