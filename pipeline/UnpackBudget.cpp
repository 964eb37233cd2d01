#include "UnpackBudget.h"

namespace {

quint64 ratioOf(quint64 uncompressed, quint64 compressed) { return uncompressed / qMax<quint64>(1, compressed); }

} // namespace

void UnpackBudget::add(const QString& entryName, quint64 uncompressedSize, quint64 compressedSize)
{
    // Saturating: hostile sizes must not wrap the sum back below the limit.
    m_total = m_total + uncompressedSize < m_total ? ~quint64(0) : m_total + uncompressedSize;
    m_compressedTotal
        = m_compressedTotal + compressedSize < m_compressedTotal ? ~quint64(0) : m_compressedTotal + compressedSize;
    const quint64 ratio = ratioOf(uncompressedSize, compressedSize);
    if (uncompressedSize >= quint64(kRatioCheckedSize) && ratio > m_worstRatio) {
        m_worstRatio = ratio;
        m_worstEntry = entryName;
    }
}

UnpackBudget::Verdict UnpackBudget::verdict(qint64 sizeLimit, qint64 bytesFree) const
{
    Verdict verdict;
    if (m_total > quint64(sizeLimit)) {
        verdict.refusal = Refusal::TooLarge;
        verdict.reason
            = QStringLiteral("it would unpack to %1 bytes, more than the %2 allowed").arg(m_total).arg(sizeLimit);
    } else if (m_worstRatio > quint64(kMaximumRatio)) {
        verdict.refusal = Refusal::ImplausibleRatio;
        verdict.reason
            = QStringLiteral("entry \"%1\" claims to grow %2 times when unpacked").arg(m_worstEntry).arg(m_worstRatio);
    } else if (m_total >= quint64(kRatioCheckedSize) && ratioOf(m_total, m_compressedTotal) > quint64(kMaximumRatio)) {
        verdict.refusal = Refusal::ImplausibleRatio;
        verdict.reason = QStringLiteral("its entries claim to grow %1 times when unpacked")
                             .arg(ratioOf(m_total, m_compressedTotal));
    } else if (bytesFree >= 0 && m_total + quint64(kFreeSpaceMargin) > quint64(bytesFree)) {
        verdict.refusal = Refusal::NoSpace;
        verdict.reason = QStringLiteral("not enough disk space: %1 bytes needed, %2 bytes free")
                             .arg(m_total + quint64(kFreeSpaceMargin))
                             .arg(bytesFree);
    }
    return verdict;
}
