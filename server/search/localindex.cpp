#include "localindex.h"

#include "common/log.h"
#include "search/localquery.h"

#include <xdgbasedirs.h>

#include <xapian.h>

namespace LocalIndex {

namespace {

// A reader that the indexing thread overtook by more than one commit reopens and tries again.
constexpr int Attempts = 3;

} // namespace

QString path()
{
    return XdgBaseDirs::saveDir("data", QStringLiteral("talvori/search_index"));
}

bool search(const QString &query, QList<qint64> *ids, QString *error)
{
    ids->clear();
    LocalQuery parsed;
    if (!parsed.parse(query, error))
        return false;
    for (int attempt = 1;; ++attempt) {
        try {
            const Xapian::Database database(path().toStdString());
            *ids = parsed.matches(database);
            return true;
        } catch (const Xapian::DatabaseOpeningError &) {
            // Not made yet: the indexing thread creates it at its start.
            return true;
        } catch (const Xapian::DatabaseModifiedError &) {
            if (attempt == Attempts) {
                *error = QStringLiteral("Search index busy, try again");
                return false;
            }
        } catch (const Xapian::WildcardError &e) {
            *error = QString::fromStdString(e.get_msg());
            return false;
        } catch (const Xapian::Error &e) {
            logError().noquote() << "Unable to search the local index:" << QString::fromStdString(e.get_description());
            *error = QStringLiteral("Unable to read the search index: ") + QString::fromStdString(e.get_msg());
            return false;
        }
    }
}

} // namespace LocalIndex
