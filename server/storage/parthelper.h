#ifndef TALVORI_PARTHELPER_H
#define TALVORI_PARTHELPER_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

class ImapSet;
class PayloadWriter;
class QFile;

namespace Talvori {
class Part;
}

// The only code that stores, reads and removes payload part data. A payload above the configured
// size goes to a file of its own, "<part id>_r<revision>" in the payload directory, and the row
// keeps the file's path; anything smaller stays in the row. Row and file always move together,
// and files follow the transaction (TransactionFiles). A payload that arrives in pieces comes
// through a PayloadWriter: callers hand over bytes, never file names.
class PartHelper
{
public:
    // Stores a new part; part->datasize() must hold the payload's full size. Run inside a
    // transaction: the row is written before its file.
    static bool insert(Talvori::Part *part, qint64 *insertId = nullptr);
    // The same with the payload from a writer (the part's own data is not used); the size is the
    // larger of the part's datasize and what was written.
    static bool insert(Talvori::Part *part, PayloadWriter &payload, qint64 *insertId = nullptr);
    // Rewrites the payload. A file payload gets a new revision file; the old file is deleted only
    // after the row points at the new one. Throws PartHelperException.
    static void update(Talvori::Part *part, const QByteArray &data, qint64 dataSize);
    static void update(Talvori::Part *part, PayloadWriter &payload);
    // Stores a new part (name, version and item set) with the payload of source, which stays as it
    // is: a payload in a file gets a file of its own, copied from file to file. False when the
    // source's file cannot be read whole.
    static bool insertCopy(Talvori::Part *part, const Talvori::Part &source);
    static bool remove(Talvori::Part *part);
    // Removes every part whose column equals value, with their files.
    static bool remove(const QString &column, const QVariant &value);
    // Removes every part of the items, with their files; the set must fit one statement
    // (QueryHelper::splitSet).
    static bool removeItemParts(const ImapSet &itemIds);
    // Drops the payload (file included) but keeps the row, with datasize 0.
    static bool truncate(Talvori::Part &part);

    // The payload: data itself, or the content of the file data names.
    static QByteArray translateData(const QByteArray &data, bool isExternal);
    static QByteArray translateData(const Talvori::Part &part);

    // "<payload directory>/<id>", without revision.
    static QString fileNameForId(qint64 id);
    // Where payload files live: "talvori/file_db_data" in the user's data directory.
    static QString storagePath();
    // An SQL expression for the first four characters of a part's name, its kind: "PLD:" for
    // payload, "ATR:" for attributes.
    static QString namePrefixExpression();

    // Whether a payload of this size goes to a file of its own.
    static bool storeExternally(qint64 dataSize);

    // What a server killed in the middle of a change can leave behind: files whose transaction
    // never committed, and old revisions a committed change had not deleted yet.
    struct FileCheck {
        bool done = false;       // false when the parts could not be listed: nothing was touched
        int removed = 0;         // payload and temporary upload files no row names, deleted
        QStringList missing;     // "<item id> <part name> <path>" of rows whose file is not there
    };
    // Deletes the payload directory's files that no part names (by file name, so a payload
    // directory that moved loses nothing) and lists the parts whose file is missing; those are
    // never deleted, a resource may deliver them again. Run before any transaction can be open.
    static FileCheck checkFiles();

private:
    // Where a payload of the part goes: into the row, or into the part's file at fileName, written
    // from data or moved there from the writer.
    struct Payload {
        const QByteArray *data = nullptr;
        PayloadWriter *writer = nullptr;
        qint64 size = 0;
        // Copied from this payload file instead.
        const QString *sourceFile = nullptr;
    };
    static bool insert(Talvori::Part *part, const Payload &payload, qint64 *insertId);
    static void update(Talvori::Part *part, const Payload &payload);
    // The file cannot be opened (or the writer's file moved there), or not written whole.
    enum class PlaceFailure { None, Open, Write };
    static PlaceFailure placeFile(const QString &fileName, const Payload &payload, QString *error);
    // Writes the whole content of the open source into file; false with the reason in *error.
    static bool copyInto(QFile &file, const QString &sourceFileName, QString *error);
    // The next revision's file name after the current one (or revision 0 of the part).
    static QString nextRevisionFileName(const Talvori::Part &part);
    // A file no row needs any more, deleted once the change is committed.
    static void removeFile(const QString &fileName);
    // A file no row ever pointed at, deleted at once.
    static void discardFile(const QString &fileName);
};

#endif
