#ifndef DAXAPPABOUTDATA_H
#define DAXAPPABOUTDATA_H

#include <QList>
#include <QString>

// What a program says about itself: in --version and --author output, the About dialog and the
// application object's names.
class DaxAppAboutData
{
public:
    struct Person
    {
        QString name;
        QString task;
        QString emailAddress;
    };

    DaxAppAboutData(const QString &appName, const QString &displayName, const QString &version,
                    const QString &shortDescription = QString());

    QString appName() const { return m_appName; }
    QString displayName() const { return m_displayName; }
    QString version() const { return m_version; }
    QString shortDescription() const { return m_shortDescription; }
    QList<Person> authors() const { return m_authors; }
    void addAuthor(const QString &name, const QString &task, const QString &emailAddress = QString());

    // The about data of the running program (set by DaxApplication); empty names before that.
    static DaxAppAboutData applicationData();
    static void setApplicationData(const DaxAppAboutData &data);

private:
    QString m_appName;
    QString m_displayName;
    QString m_version;
    QString m_shortDescription;
    QList<Person> m_authors;
};

#endif
