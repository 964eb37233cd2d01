#pragma once

#include <QString>
#include <QtGlobal>

// Whether what an archive declares it unpacks to may be unpacked: the sizes
// and compressed sizes of its entries against a limit, the room on the disk
// and the ratios deflate reaches on real models. A plain decision, so that a
// full disk is never blamed on the file and a bomb never on the disk.
class UnpackBudget {
public:
    // Room kept free on the destination's disk.
    static const qint64 kFreeSpaceMargin = qint64(64) << 20;
    // An entry, and the archive as a whole, at least this large may not
    // shrink by more than maximumRatio: many entries of zeros just below the
    // size are as much a bomb as one large one.
    static const qint64 kRatioCheckedSize = qint64(32) << 20;
    static const qint64 kMaximumRatio = 200;

    enum class Refusal {
        None,
        TooLarge, // more than the limit: the file's fault
        ImplausibleRatio, // a zip bomb: the file's fault
        NoSpace, // within the limit, but the disk has too little room
    };
    struct Verdict {
        Refusal refusal = Refusal::None;
        QString reason; // empty when accepted
    };

    void add(const QString& entryName, quint64 uncompressedSize, quint64 compressedSize);
    // bytesFree < 0: unknown, only the limit applies.
    Verdict verdict(qint64 sizeLimit, qint64 bytesFree) const;

private:
    quint64 m_total = 0;
    quint64 m_compressedTotal = 0;
    quint64 m_worstRatio = 0; // among entries of ratioCheckedSize or more
    QString m_worstEntry;
};
