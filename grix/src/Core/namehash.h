#ifndef NAMEHASH_H
#define NAMEHASH_H

#include <QString>
#include <QStringView>

#include <cstddef>

// A quick hash of node names and ids for the tables file readers keep while they read (FNV-1a:
// names are short). Qt's own string hash is several times slower, and QHash compares the stored
// strings at every probe; tables keyed by this can keep the hash and compare only on a match.
inline quint64 nameHash(QStringView name)
{
    quint64 hash = 14695981039346656037ULL;
    for (QChar c : name)
        hash = (hash ^ c.unicode()) * 1099511628211ULL;
    return hash;
}

// For std::unordered_map. Deliberately not noexcept: that is what makes the standard table store
// each key's hash beside it.
struct NameHash
{
    size_t operator()(QStringView name) const { return size_t(nameHash(name)); }
    size_t operator()(const QString &name) const { return size_t(nameHash(name)); }
};

#endif
