#ifndef DAXCONFIG_H
#define DAXCONFIG_H

#include "daxconfiggroup.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

class QSettings;

// A configuration file of a program, an INI file in the user's configuration directory. With
// CascadeConfig, a key missing there is read from the same file in the system's configuration
// directories; with IncludeGlobals, from the framework-wide file "daxglobals" after that. Writes
// always go to the user's file.
class DaxConfig
{
public:
    enum OpenFlag {
        SimpleConfig = 0x0,
        IncludeGlobals = 0x1,
        CascadeConfig = 0x2,
        FullConfig = IncludeGlobals | CascadeConfig,
    };
    Q_DECLARE_FLAGS(OpenFlags, OpenFlag)

    // resourceType "config" is the only kind of file the frame keeps.
    explicit DaxConfig(const QString &fileName, OpenFlags flags = FullConfig,
                       const QString &resourceType = QStringLiteral("config"));
    ~DaxConfig();
    DaxConfig(const DaxConfig &) = delete;
    DaxConfig &operator=(const DaxConfig &) = delete;

    DaxConfigGroup group(const QString &name);
    QString filePath() const;
    // Writes pending changes to disk; false when the file cannot be written.
    bool sync();

    // Used by DaxConfigGroup: keys are "group/key".
    QVariant readValue(const QString &key, const QVariant &defaultValue) const;
    bool hasValue(const QString &key) const;
    void writeValue(const QString &key, const QVariant &value);
    void removeValue(const QString &key);

private:
    std::unique_ptr<QSettings> m_user;
    std::vector<std::unique_ptr<QSettings>> m_fallbacks;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(DaxConfig::OpenFlags)

#endif
