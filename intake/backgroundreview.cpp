#include "intake/backgroundreview.h"

#include "intake/picturereview.h"
#include "intake/storagereach.h"
#include "store/command.h"
#include "store/dberror.h"
#include "store/statement.h"
#include "store/tdados.h"
#include "store/transaction.h"

#include <QDir>

struct BackgroundReview::Outcome {
    bool larger = false; // a thumbnail was made
    QList<QPair<QString, QVariant>> details;
};

BackgroundReview::BackgroundReview(TDados &store, QObject *parent)
    : QObject(parent), m_store(store)
{
    m_pool.setMaxThreadCount(kMaxRunning);
}

BackgroundReview::~BackgroundReview()
{
    m_pool.clear();
    m_pool.waitForDone();
}

void BackgroundReview::reset()
{
    ++m_generation;
    m_asked.clear();
    m_queue.clear();
    m_support.clear();
}

void BackgroundReview::request(qint64 key)
{
    if (m_asked.contains(key))
        return;
    m_asked.insert(key);
    // The newest first: they are the ones on show.
    m_queue.prepend(key);
    startNext();
}

void BackgroundReview::startNext()
{
    while (m_running < kMaxRunning && !m_queue.isEmpty()) {
        const qint64 key = m_queue.takeFirst();
        PictureReview::Picture picture;
        try {
            if (m_support.isEmpty()) {
                Statement f(m_store.Conexao,
                    QStringLiteral("SELECT Extension, Support FROM Formats ORDER BY rowid"));
                Statement::Reset done(f);
                while (f.step())
                    if (!m_support.contains(f.text(0).toLower()))
                        m_support.insert(f.text(0).toLower(), f.integer(1) != 0);
            }
            Statement s(m_store.Conexao,
                QStringLiteral("SELECT FullPath, FileName, FileType, Location FROM Pictures "
                               "WHERE RecId = :K"));
            Statement::Reset done(s);
            s.bind(QStringLiteral("K"), key);
            if (!s.step())
                continue;
            const QString fullPath = s.text(0), fileName = s.text(1), fileType = s.text(2);
            const qint64 location = s.isNull(3) ? 0 : s.integer(3);
            s.reset();
            if (PictureReview::isWebType(fileType) || !m_support.value(fileType.toLower(), false))
                continue;
            const StorageReach::PictureFile file
                = StorageReach().pictureFile(m_store.Conexao, location, fullPath, fileName);
            if (!file.online)
                continue;
            picture = { file.path, fileType, QString() };
            m_store.prepareThumbnailFolder();
            picture.thumbnail = m_store.GetThumbnailName(key);
        } catch (const DbError &) {
            continue; // the picture page will tell, when the person opens it
        }
        ++m_running;
        const quint64 generation = m_generation;
        m_pool.start([this, key, picture, generation] {
            Outcome outcome;
            const QSize box(PictureReview::kViewSide, PictureReview::kViewSide);
            const PictureReview::Result result = PictureReview::examine(picture, box, true);
            if (result.outcome == PictureReview::Outcome::Larger) {
                try {
                    PictureReview::writeThumbnail(result, picture.thumbnail);
                    outcome.larger = true;
                    outcome.details = PictureReview::details(result, true);
                } catch (const JpegError &) {
                }
            }
            QMetaObject::invokeMethod(
                this,
                [this, key, outcome, generation] {
                    --m_running;
                    if (generation == m_generation)
                        finished(key, outcome);
                    startNext();
                },
                Qt::QueuedConnection);
        });
    }
}

void BackgroundReview::finished(qint64 key, const Outcome &outcome)
{
    if (!outcome.larger)
        return;
    // A row the person is editing gets its details with the person's own save.
    RecordSet &pictures = m_store.TPictures;
    const bool editingIt = pictures.isOpen() && pictures.isEditing()
        && pictures.asInt(QStringLiteral("RecId")) == key;
    if (!editingIt && !m_store.Conexao.inTransaction()) {
        try {
            QStringList sets;
            for (const auto &[column, value] : outcome.details)
                sets << column + QStringLiteral(" = :") + column;
            Transaction transaction(m_store.Conexao);
            Command update(m_store.Conexao);
            update.setSql(QStringLiteral("UPDATE Pictures SET ") + sets.join(QStringLiteral(", "))
                + QStringLiteral(" WHERE RecId = :RECID"));
            for (const auto &[column, value] : outcome.details)
                update.setParam(column, value);
            update.setParam(QStringLiteral("RECID"), key);
            update.execute();
            transaction.commit();
        } catch (const DbError &) {
            return; // busy or read-only: the thumbnail waits for the picture's own showing
        }
    }
    emit reviewed(key);
}
