#include "intake/reviewrecords.h"

#include "store/command.h"
#include "store/dbvalues.h"

#include <QStringList>

ReviewRecords::ReviewRecords(Connection &connection)
    : m_connection(connection), m_facts(connection), m_fingerprints(connection)
{
}

ReviewRecords::~ReviewRecords() = default;

void ReviewRecords::record(
    const Picture &picture, const PictureReview::Result &result, bool details)
{
    if (!examined(result))
        return;
    if (details && result.outcome == PictureReview::Outcome::Larger) {
        if (!m_details)
            m_details = std::make_unique<Command>(m_connection);
        const QList<QPair<QString, QVariant>> columns = PictureReview::details(result, true);
        QStringList sets;
        for (const auto &column : columns)
            sets << QStringLiteral("%1 = :%2").arg(column.first, column.first.toUpper());
        m_details->setSql(QStringLiteral("UPDATE Pictures SET %1 WHERE RecId = :CHAVE")
                              .arg(sets.join(QStringLiteral(", "))));
        for (const auto &column : columns)
            m_details->setParam(column.first.toUpper(), column.second);
        m_details->setParam(QStringLiteral("CHAVE"), picture.recId);
        m_details->execute();
    }

    PictureFactsTable::Entry facts;
    facts.picture = picture.recId;
    facts.facts = result.facts;
    facts.modified = picture.modified;
    facts.drawn = result.outcome == PictureReview::Outcome::Fits ? PictureFactsTable::Drawn::Fits
        : result.outcome == PictureReview::Outcome::Larger       ? PictureFactsTable::Drawn::Larger
                                                                 : PictureFactsTable::Drawn::No;
    m_facts.record(facts);

    PictureFingerprints::Entry fingerprint;
    fingerprint.picture = picture.recId;
    fingerprint.content = result.fingerprint.content;
    fingerprint.perceptual = result.fingerprint.perceptual;
    fingerprint.modified = dbvalues::fromDbDate(picture.modified);
    m_fingerprints.record(fingerprint);
}
