// The server's own full-text index ("Local" in "Search/Manager") against the real server process:
// SEARCH by every field, with items made here and, when the shared test data is there
// (TALVORI_SHARED_DIR), with real mails, vCards and calendars; items that change or go; the same
// answer lines as UID FETCH; malformed queries; persistent searches that gain and lose links as
// items come, change and go, across a restart, a deleted and a damaged index; an index another
// process holds; and a server killed during heavy appends. TALVORI_TEST_BACKEND picks the database.

#include "notifylistener.h"
#include "testclient.h"
#include "testserver.h"

#include <listingline.h>

#include <xapian.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QTest>
#include <QThread>

#include <memory>
#include <sys/stat.h>

namespace {

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

QByteArray quoted(const QByteArray &text)
{
    QByteArray escaped = text;
    escaped.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + escaped + '"';
}

// The (operation, item) of each link and unlink record of the batches for the collection.
QList<QPair<int, qint64>> linkRecords(const QList<NotificationMessage::List> &batches, qint64 collection)
{
    QList<QPair<int, qint64>> records;
    for (const NotificationMessage::List &batch : batches) {
        for (const NotificationMessage &message : batch) {
            if (message.type() == NotificationMessage::Item && message.parentCollection() == collection
                && (message.operation() == NotificationMessage::Link || message.operation() == NotificationMessage::Unlink))
                records.append({message.operation(), message.uid()});
        }
    }
    std::sort(records.begin(), records.end());
    return records;
}

constexpr int Link = NotificationMessage::Link;
constexpr int Unlink = NotificationMessage::Unlink;

// Items made here, by name: (collection, MIME type, payload).
struct Fixture {
    const char *name;
    const char *collection;
    const char *mimeType;
    QByteArray payload;
};

QList<Fixture> fixtures()
{
    return {
        {"agenda", "Mail", "message/rfc822",
         crlf("From: Alice Example <alice@example.org>\n"
              "To: Bob <bob@example.net>\n"
              "Cc: Carol <carol@example.com>\n"
              "Subject: Quarterly meeting agenda\n"
              "Date: Tue, 05 Mar 2024 10:00:00 +0100\n"
              "Message-ID: <agenda.1@example.org>\n"
              "MIME-Version: 1.0\n"
              "Content-Type: text/plain; charset=iso-8859-1\n"
              "Content-Transfer-Encoding: quoted-printable\n"
              "\n"
              "Die Tagesordnung f=FCr die Sitzung: Budget und Planung. Zebra.\n")},
        {"lunch", "Mail", "message/rfc822",
         crlf("From: Bob <bob@example.net>\n"
              "To: Alice Example <alice@example.org>\n"
              "Subject: Re: lunch plans\n"
              "Date: Mon, 20 Nov 2023 12:00:00 +0000\n"
              "MIME-Version: 1.0\n"
              "Content-Type: multipart/alternative; boundary=\"x\"\n"
              "\n"
              "--x\n"
              "Content-Type: text/plain; charset=utf-8\n"
              "Content-Transfer-Encoding: base64\n"
              "\n")
             + QByteArray("Let's meet at the caf\xc3\xa9 near the station. Meetings are boring.").toBase64()
             + crlf("\n--x\n"
                    "Content-Type: text/html; charset=utf-8\n"
                    "\n"
                    "<p>Ristorante <b>Bella</b>vista</p>\n"
                    "--x--\n")},
        {"newyear", "Mail", "message/rfc822",
         crlf("From: Night Owl <owl@example.org>\n"
              "Subject: late greetings\n"
              "Date: Sun, 31 Dec 2023 23:30:00 -0500\n"
              "\n"
              "Sent before midnight where I am.\n")},
        {"japanese", "Mail", "message/rfc822",
         crlf("From: Taro <taro@example.jp>\n"
              "Subject: =?utf-8?B?5Lya6K2w44Gu6K2w5LqL6Yyy?=\n"
              "Date: Wed, 01 Feb 2023 09:00:00 +0900\n"
              "Content-Type: text/plain; charset=utf-8\n"
              "Content-Transfer-Encoding: 8bit\n"
              "\n"
              "\xe6\x9d\xb1\xe4\xba\xac\xe3\x81\xa7\xe4\xbc\x9a\xe3\x81\x84\xe3\x81\xbe\xe3\x81\x97\xe3\x82\x87\xe3\x81\x86\n")},
        {"dana", "Contacts", "text/vcard",
         "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Dana Schmidt\r\nN:Schmidt;Dana;;;\r\nEMAIL:dana@schmidt.de\r\n"
         "TEL;TYPE=work:+49 30 123456\r\nORG:Acme GmbH\r\nADR:;;Unter den Linden 1;Berlin;;10117;Germany\r\n"
         "END:VCARD\r\n"},
        {"dentist", "Calendar", "text/calendar",
         "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:Dentist appointment\r\nLOCATION:Hauptstra\xc3\x9f\x65 5\r\n"
         "DESCRIPTION:Bring the insurance card\r\nDTSTART:20240410T083000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"},
        {"garden", "Notes", "text/plain", "plain note about gardening tomatoes"},
    };
}

// One client appending (and now and then removing) items with words of their own until its
// connection is gone; what the server acknowledged is kept.
class BulkWriter : public QThread
{
public:
    BulkWriter(int number, QString socketPath, qint64 collection)
        : m_number(number)
        , m_socketPath(std::move(socketPath))
        , m_collection(collection)
    {
    }
    QList<qint64> appended;
    QList<qint64> removed;

protected:
    void run() override
    {
        TestClient client;
        client.setTimeout(30000);
        if (!client.open(m_socketPath) || !client.login("res1"))
            return;
        for (int i = 0; client.socket()->state() == QLocalSocket::ConnectedState; ++i) {
            const QByteArray text = "bulk tok" + number(m_number) + 'x' + number(i) + " common words";
            const qint64 id = client.tvAppend(m_collection, "(PLD:RFC822 :" + number(text.size()) + ')', text,
                                              "(\\MimeType[text/plain])");
            if (id <= 0)
                return;
            appended.append(id);
            if (i % 5 == 4) {
                const qint64 victim = appended.at(appended.size() - 3);
                if (client.tagged("UID REMOVE " + number(victim)) != "OK REMOVE complete")
                    return;
                removed.append(victim);
            }
        }
    }

private:
    const int m_number;
    const QString m_socketPath;
    const qint64 m_collection;
};

} // namespace

class LocalSearchTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void findsItems_data();
    void findsItems();
    void findsRealFiles_data();
    void findsRealFiles();
    void answerLinesAreFetchLines();
    void malformedQueries_data();
    void malformedQueries();
    void changedAndRemovedItems();
    void persistentSearchFollowsItems();
    void persistentSearchesAcrossRestartAndRebuild();
    void indexHeldByAnotherProcess();
    void killDuringHeavyAppends();

private:
    QList<qint64> search(const QByteArray &query);
    QList<qint64> linked(qint64 collection);
    qint64 append(const char *collection, const char *mimeType, const QByteArray &payload);
    qint64 searchStore(const QByteArray &name, const QByteArray &query);
    bool storePayload(qint64 item, const QByteArray &payload);
    bool restart();
    QString indexPath() const;
    // The ids of fixtures by name, in ascending order.
    QList<qint64> idsOf(const QStringList &names) const;
    bool appendRealFiles();

    TestServer m_server;
    TestClient m_client;
    TestClient m_resource;
    std::unique_ptr<NotifyListener> m_listener;
    QHash<QByteArray, qint64> m_collections;
    QHash<QString, qint64> m_items;
};

void LocalSearchTest::initTestCase()
{
    QVERIFY2(m_server.prepare(), qPrintable(m_server.errorString()));
    m_server.environment().writeServerSettings(QStringLiteral("Search"), QStringLiteral("Manager"),
                                               QStringList{QStringLiteral("Local")});
    // Dates are searched by their day in the server's time zone.
    m_server.environment().setVariable(QStringLiteral("TZ"), QStringLiteral("UTC"));
    TALVORI_VERIFY_STARTED(m_server, m_server.start({QStringLiteral("res1")}));
    m_listener = std::make_unique<NotifyListener>(m_server.bus().address());
    QVERIFY(m_server.login(m_client, "searchclient"));
    QVERIFY(m_server.login(m_resource, "res1"));
    m_client.setTimeout(120000);
    m_resource.setTimeout(120000);
    for (const char *name : {"Mail", "Contacts", "Calendar", "Notes", "Bulk"}) {
        const qint64 id = m_resource.create(quoted(name) + " 0 (MIMETYPE (inode/directory message/rfc822 text/vcard "
                                                           "text/calendar text/plain))");
        QVERIFY(id > 0);
        m_collections.insert(name, id);
    }
    for (const Fixture &fixture : fixtures()) {
        const qint64 id = append(fixture.collection, fixture.mimeType, fixture.payload);
        QVERIFY(id > 0);
        m_items.insert(QString::fromLatin1(fixture.name), id);
    }
}

void LocalSearchTest::cleanupTestCase()
{
    m_listener.reset();
    QCOMPARE(m_server.stop(), 0);
}

qint64 LocalSearchTest::append(const char *collection, const char *mimeType, const QByteArray &payload)
{
    return m_resource.tvAppend(m_collections.value(collection), "(PLD:RFC822 :" + number(payload.size()) + ')',
                               payload, "(\\MimeType[" + QByteArray(mimeType) + "])");
}

QList<qint64> LocalSearchTest::search(const QByteArray &query)
{
    QList<QByteArray> answer;
    if (!m_client.runOk("SEARCH " + quoted(query) + " (UID)", &answer))
        qWarning() << answer.value(answer.size() - 1);
    return TestClient::itemIds(answer);
}

QList<qint64> LocalSearchTest::linked(qint64 collection)
{
    return m_client.collectionItems(collection);
}

qint64 LocalSearchTest::searchStore(const QByteArray &name, const QByteArray &query)
{
    const QList<QByteArray> answer = m_client.run("SEARCH_STORE " + quoted(name) + ' ' + quoted(query));
    ListingLine line;
    if (answer.size() != 2 || !line.parse(answer.first()) || !answer.last().endsWith(" OK SEARCH_STORE completed")
        || line.queryLanguage != QLatin1String("XAPIAN")) {
        qWarning() << answer;
        return -1;
    }
    return line.id;
}

bool LocalSearchTest::storePayload(qint64 item, const QByteArray &payload)
{
    return m_resource.tagged("UID STORE " + number(item) + " (PLD:RFC822 " + quoted(payload) + ')').startsWith("OK");
}

bool LocalSearchTest::restart()
{
    m_client.disconnectFromServer();
    m_resource.disconnectFromServer();
    m_listener.reset();
    if (!m_server.start()) {
        qWarning() << m_server.errorString();
        return false;
    }
    m_listener = std::make_unique<NotifyListener>(m_server.bus().address());
    return m_server.login(m_client, "searchclient") && m_server.login(m_resource, "res1");
}

QString LocalSearchTest::indexPath() const
{
    return m_server.environment().dataHome() + QLatin1String("/talvori/search_index");
}

QList<qint64> LocalSearchTest::idsOf(const QStringList &names) const
{
    QList<qint64> ids;
    for (const QString &name : names) {
        if (!m_items.contains(name))
            qWarning() << "no item" << name;
        ids.append(m_items.value(name, -1));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

void LocalSearchTest::findsItems_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QStringList>("found");

    QTest::newRow("a body word") << QByteArray("zebra") << QStringList{"agenda"};
    QTest::newRow("sender name") << QByteArray("from:alice") << QStringList{"agenda"};
    QTest::newRow("sender address") << QByteArray("from:alice@example.org") << QStringList{"agenda"};
    QTest::newRow("recipient") << QByteArray("to:alice") << QStringList{"lunch"};
    QTest::newRow("cc counts as recipient") << QByteArray("to:carol") << QStringList{"agenda"};
    QTest::newRow("subject only") << QByteArray("subject:meeting") << QStringList{"agenda"};
    QTest::newRow("body only") << QByteArray("body:meeting") << QStringList{"lunch"};
    QTest::newRow("a subject word is not body") << QByteArray("body:quarterly") << QStringList();
    QTest::newRow("anywhere, stemmed") << QByteArray("meeting") << QStringList{"agenda", "lunch"};
    QTest::newRow("phrase") << QByteArray("\"near the station\"") << QStringList{"lunch"};
    QTest::newRow("phrase in another order") << QByteArray("\"the station near\"") << QStringList();
    QTest::newRow("non-ascii in base64 utf-8") << QByteArray("caf\xc3\xa9") << QStringList{"lunch"};
    QTest::newRow("non-ascii in quoted-printable latin-1") << QByteArray("f\xc3\xbcr") << QStringList{"agenda"};
    QTest::newRow("html part, inline markup") << QByteArray("bellavista") << QStringList{"lunch"};
    QTest::newRow("cjk body") << QByteArray("\xe6\x9d\xb1\xe4\xba\xac") << QStringList{"japanese"};
    QTest::newRow("cjk encoded subject") << QByteArray("subject:\xe4\xbc\x9a\xe8\xad\xb0") << QStringList{"japanese"};
    QTest::newRow("and") << QByteArray("alice AND lunch") << QStringList{"lunch"};
    QTest::newRow("or") << QByteArray("zebra OR dana") << QStringList{"agenda", "dana"};
    QTest::newRow("not") << QByteArray("meeting NOT lunch") << QStringList{"agenda"};
    QTest::newRow("wildcard") << QByteArray("garden*") << QStringList{"garden"};
    QTest::newRow("stem of another form") << QByteArray("tomato") << QStringList{"garden"};
    QTest::newRow("date range") << QByteArray("date:20240101..20241231") << QStringList{"agenda", "dentist", "newyear"};
    QTest::newRow("the day in the local time zone") << QByteArray("date:20240101..20240101") << QStringList{"newyear"};
    QTest::newRow("open date range") << QByteArray("date:..2023-12-31") << QStringList{"lunch", "japanese"};
    QTest::newRow("mime type") << QByteArray("mimetype:text/vcard") << QStringList{"dana"};
    QTest::newRow("collection") << QByteArray("collection:%Notes") << QStringList{"garden"};
    QTest::newRow("collection and word") << QByteArray("collection:%Mail bob") << QStringList{"agenda", "lunch"};
    QTest::newRow("message id") << QByteArray("msgid:agenda.1@example.org") << QStringList{"agenda"};
    QTest::newRow("contact name") << QByteArray("name:schmidt") << QStringList{"dana"};
    QTest::newRow("contact email") << QByteArray("email:dana@schmidt.de") << QStringList{"dana"};
    QTest::newRow("contact phone") << QByteArray("tel:123456") << QStringList{"dana"};
    QTest::newRow("contact organisation") << QByteArray("org:acme") << QStringList{"dana"};
    QTest::newRow("contact address") << QByteArray("location:berlin") << QStringList{"dana"};
    QTest::newRow("event summary as subject") << QByteArray("subject:dentist") << QStringList{"dentist"};
    QTest::newRow("event location") << QByteArray("location:hauptstra\xc3\x9f\x65") << QStringList{"dentist"};
    QTest::newRow("event description") << QByteArray("insurance") << QStringList{"dentist"};
    QTest::newRow("nothing") << QByteArray("nosuchwordanywhere") << QStringList();
}

void LocalSearchTest::findsItems()
{
    QFETCH(QByteArray, query);
    QFETCH(QStringList, found);
    for (auto it = m_collections.cbegin(); it != m_collections.cend(); ++it)
        query.replace('%' + it.key(), number(it.value()));
    // The index takes the items in shortly after they were committed.
    QTRY_COMPARE_WITH_TIMEOUT(search(query), idsOf(found), 20000);
}

bool LocalSearchTest::appendRealFiles()
{
    const QDir testdata(qEnvironmentVariable("TALVORI_SHARED_DIR", QStringLiteral("../shared")) + QLatin1String("/testdata"));
    const struct {
        const char *folder;
        const char *collection;
        const char *mimeType;
    } kinds[] = {{"mail", "Mail", "message/rfc822"}, {"pim", "Contacts", "text/vcard"}, {"pim", "Calendar", "text/calendar"}};
    for (const auto &kind : kinds) {
        const QDir folder(testdata.filePath(QLatin1String(kind.folder)));
        const QStringList files = folder.entryList({kind.collection == QByteArray("Contacts") ? QStringLiteral("*.vcf")
                                                    : kind.collection == QByteArray("Calendar") ? QStringLiteral("*.ics")
                                                                                                : QStringLiteral("*.eml")},
                                                   QDir::Files);
        for (const QString &file : files) {
            QFile input(folder.filePath(file));
            if (!input.open(QIODevice::ReadOnly))
                return false;
            const qint64 id = append(kind.collection, kind.mimeType, input.readAll());
            if (id <= 0)
                return false;
            m_items.insert(file, id);
        }
    }
    return true;
}

void LocalSearchTest::findsRealFiles_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QStringList>("found");
    // Exact: nothing else is found; otherwise these are found among others.
    QTest::addColumn<bool>("exact");

    QTest::newRow("sender") << QByteArray("from:mikel") << QStringList{"rbmail_japanese_iso_2022.eml"} << true;
    QTest::newRow("sender address") << QByteArray("from:doug@penguin.example.com")
                                    << QStringList{"hunny_m3001.eml", "hunny_m3004.eml"} << true;
    QTest::newRow("subject") << QByteArray("subject:tortoise") << QStringList{"hunny_m3006.eml"} << true;
    QTest::newRow("base64 latin-1 body") << QByteArray("body:klagten from:penguin") << QStringList{"hunny_m3004.eml"}
                                         << true;
    QTest::newRow("quoted-printable html body") << QByteArray("body:\"independent security audit\"")
                                                << QStringList{"gluon_large_message.eml"} << true;
    QTest::newRow("encoded-word subjects in four charsets")
        << QByteArray("subject:fr\xc3\xb6sche")
        << QStringList{"hunny_m0004.eml", "hunny_m0006.eml", "hunny_m0008.eml", "hunny_m0010.eml", "hunny_m0001.eml",
                       "hunny_m4001.eml", "hunny_m1005.eml", "hunny_m2002.eml", "hunny_m3004.eml"}
        << false;
    QTest::newRow("encoded recipient name") << QByteArray("to:m\xc3\xbcller")
                                            << QStringList{"hunny_m0008.eml", "hunny_m0010.eml", "hunny_m0011.eml",
                                                           "hunny_m1005.eml", "hunny_m2002.eml", "hunny_m3004.eml"}
                                            << false;
    QTest::newRow("iso-2022-jp body") << QByteArray("\xe3\x81\x99\xe3\x81\xbf\xe3\x81\xbe\xe3\x81\x9b\xe3\x82\x93")
                                      << QStringList{"rbmail_japanese_iso_2022.eml"} << true;
    QTest::newRow("korean body") << QByteArray("\xec\x8a\xa4\xed\x8b\xb0\xed\x95\xb4")
                                 << QStringList{"rbmail_ks_c_5601-1987.eml"} << true;
    QTest::newRow("raw utf-8 subject") << QByteArray("s\xc3\xa4ying") << QStringList{"rbmail_utf8_headers.eml"} << true;
    QTest::newRow("attached message") << QByteArray("\"another pdf\"")
                                      << QStringList{"rbmail_attachment_message_rfc822.eml"} << true;
    QTest::newRow("contact name") << QByteArray("name:perreault") << QStringList{"Simon_Perreault.vcf"} << true;
    QTest::newRow("contact name in raw latin-1") << QByteArray("name:spa\xc3\x9flund") << QStringList{"vcard-vCards-SAP.vcf"}
                                                 << true;
    QTest::newRow("contact address in quoted-printable 8-bit") << QByteArray("location:krak\xc3\xb3w")
                                                               << QStringList{"vcard-antoni-outlook2003.vcf"} << true;
    QTest::newRow("contact email") << QByteArray("email:howes@netscape.com") << QStringList{"vcard-rfc2426.vcf"} << true;
    QTest::newRow("event summary") << QByteArray("subject:standup") << QStringList{"issue_165_missing_event.ics"}
                                   << true;
    QTest::newRow("event summaries") << QByteArray("subject:\"event with alarms\"")
                                     << QStringList{"alarm_google_future.ics", "alarm_thunderbird_future.ics"} << true;
    QTest::newRow("event location") << QByteArray("location:gen\xc3\xa8ve")
                                    << QStringList{"issue_348_exception_parsing_value.ics"} << true;
    QTest::newRow("event start") << QByteArray("date:20190601..20190630")
                                 << QStringList{"issue_348_exception_parsing_value.ics"} << true;
    QTest::newRow("alarm text is not the event's") << QByteArray("\"alarm notification\"") << QStringList() << true;
}

void LocalSearchTest::findsRealFiles()
{
    QFETCH(QByteArray, query);
    QFETCH(QStringList, found);
    QFETCH(bool, exact);
    const QString shared = qEnvironmentVariable("TALVORI_SHARED_DIR", QStringLiteral("../shared"));
    if (!QFile::exists(shared + QLatin1String("/testdata/mail/hunny_m0001.eml")))
        QSKIP(qPrintable(QStringLiteral("no real mails in %1/testdata (set TALVORI_SHARED_DIR)").arg(shared)));
    static const bool appended = appendRealFiles();
    QVERIFY(appended);
    const QList<qint64> expected = idsOf(found);
    if (exact) {
        QTRY_COMPARE_WITH_TIMEOUT(search(query), expected, 30000);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QList<qint64> ids = search(query);
            return std::all_of(expected.cbegin(), expected.cend(), [&](qint64 id) { return ids.contains(id); });
        }(),
        30000);
}

void LocalSearchTest::answerLinesAreFetchLines()
{
    const QList<qint64> expected = idsOf({"agenda", "lunch"});
    QTRY_COMPARE_WITH_TIMEOUT(search("meeting"), expected, 20000);
    for (const QByteArray arguments : {"(UID FLAGS)", "FULLPAYLOAD (REMOTEID)", "CACHEONLY ALLATTR (PLD:RFC822)"}) {
        QList<QByteArray> answer = m_client.run("SEARCH \"meeting\" " + arguments);
        QVERIFY(answer.last().endsWith(" OK SEARCH completed"));
        answer.removeLast();
        QList<QByteArray> fetched = m_client.run("UID FETCH " + number(expected.at(0)) + ',' + number(expected.at(1))
                                                 + ' ' + arguments);
        fetched.removeLast();
        for (QByteArray &line : fetched)
            line.replace(line.indexOf(" FETCH "), 7, " SEARCH ");
        QCOMPARE(answer, fetched);
    }
}

void LocalSearchTest::malformedQueries_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("SEARCH, dangling operator") << QByteArray("SEARCH \"zebra AND\" (UID)")
                                               << QByteArray("NO Invalid query: Syntax: <expression> AND <expression>");
    QTest::newRow("SEARCH, bad range") << QByteArray("SEARCH \"date:soon..later\" (UID)")
                                       << QByteArray("NO Invalid query: Unknown range operation");
    QTest::newRow("SEARCH_STORE") << QByteArray("SEARCH_STORE \"Broken\" \"OR zebra\"")
                                  << QByteArray("NO Invalid query: Syntax: <expression> OR <expression>");
    QTest::newRow("MODIFY to a broken query")
        << QByteArray("MODIFY %search PERSISTENTSEARCH \"(QUERYLANGUAGE XAPIAN QUERYSTRING \\\"NOT zebra\\\")\"")
        << QByteArray("NO Invalid query: Syntax: <expression> NOT <expression>");
}

void LocalSearchTest::malformedQueries()
{
    QFETCH(QByteArray, command);
    static const qint64 intact = searchStore("Intact", "zebra");
    QVERIFY(intact > 0);
    command.replace("%search", number(intact));
    const int collections = m_client.list("LIST 0 INF ()").size();
    QTEST(m_client.tagged(command), "answer");
    // Nothing made, nothing changed, and the connection goes on.
    QCOMPARE(m_client.list("LIST 0 INF ()").size(), collections);
    const QList<ListingLine> searches = m_client.list("LIST " + number(intact) + " 0 ()");
    QCOMPARE(searches.value(0).queryString, QStringLiteral("zebra"));
    QTRY_COMPARE_WITH_TIMEOUT(linked(intact), idsOf({"agenda"}), 20000);
}

void LocalSearchTest::changedAndRemovedItems()
{
    const qint64 item = append("Notes", "text/plain", "original wording kiwi");
    QVERIFY(item > 0);
    QTRY_COMPARE_WITH_TIMEOUT(search("kiwi"), QList<qint64>{item}, 20000);

    QVERIFY(storePayload(item, "replacement wording mango"));
    QTRY_COMPARE_WITH_TIMEOUT(search("mango"), QList<qint64>{item}, 20000);
    QCOMPARE(search("kiwi"), QList<qint64>());
    QCOMPARE(search("wording"), QList<qint64>{item});

    // New flags leave the words alone.
    QVERIFY(m_resource.runOk("UID STORE " + number(item) + " +FLAGS.SILENT (\\Seen)"));
    QTest::qWait(300);
    QCOMPARE(search("mango"), QList<qint64>{item});

    QCOMPARE(m_resource.tagged("UID REMOVE " + number(item)), QByteArray("OK REMOVE complete"));
    QTRY_COMPARE_WITH_TIMEOUT(search("mango"), QList<qint64>(), 20000);
    QCOMPARE(search("wording"), QList<qint64>());
}

void LocalSearchTest::persistentSearchFollowsItems()
{
    const qint64 before = append("Notes", "text/plain", "kumquat pie recipe");
    QVERIFY(before > 0);
    QTRY_COMPARE_WITH_TIMEOUT(search("kumquat"), QList<qint64>{before}, 20000);
    m_listener->settle(200);

    // A new search links what the index has.
    const qint64 fruit = searchStore("Fruit", "kumquat OR pomelo");
    QVERIFY(fruit > 0);
    QTRY_COMPARE_WITH_TIMEOUT(linked(fruit), QList<qint64>{before}, 20000);
    QTRY_COMPARE(linkRecords(m_listener->batches, fruit), (QList<QPair<int, qint64>>{{Link, before}}));
    m_listener->settle(200);

    // Items that come, change and go.
    const qint64 pear = append("Notes", "text/plain", "a ripe pomelo");
    const qint64 plum = append("Notes", "text/plain", "a ripe durian");
    QVERIFY(pear > 0 && plum > 0);
    QTRY_COMPARE_WITH_TIMEOUT(linked(fruit), (QList<qint64>{before, pear}), 20000);
    QTRY_COMPARE(linkRecords(m_listener->batches, fruit), (QList<QPair<int, qint64>>{{Link, pear}}));
    m_listener->settle(200);

    QVERIFY(storePayload(before, "cherimoya pie recipe"));
    QVERIFY(storePayload(plum, "durian and kumquat jam"));
    QTRY_COMPARE_WITH_TIMEOUT(linked(fruit), (QList<qint64>{pear, plum}), 20000);
    QTRY_COMPARE(linkRecords(m_listener->batches, fruit), (QList<QPair<int, qint64>>{{Link, plum}, {Unlink, before}}));
    m_listener->settle(200);

    QCOMPARE(m_resource.tagged("UID REMOVE " + number(pear)), QByteArray("OK REMOVE complete"));
    QTRY_COMPARE_WITH_TIMEOUT(linked(fruit), QList<qint64>{plum}, 20000);
    m_listener->settle(300);

    // A new query: the old links go as the MODIFY commits, the new ones come from the index.
    QVERIFY(m_client.runOk("MODIFY " + number(fruit)
                           + " PERSISTENTSEARCH \"(QUERYLANGUAGE XAPIAN QUERYSTRING \\\"cherimoya\\\")\""));
    QTRY_COMPARE_WITH_TIMEOUT(linked(fruit), QList<qint64>{before}, 20000);
    QTRY_COMPARE(linkRecords(m_listener->batches, fruit), (QList<QPair<int, qint64>>{{Link, before}, {Unlink, plum}}));

    QVERIFY(m_client.runOk("DELETE " + number(fruit)));
    const qint64 more = append("Notes", "text/plain", "more cherimoya");
    QTRY_COMPARE_WITH_TIMEOUT(search("cherimoya"), (QList<qint64>{before, more}), 20000);
    QCOMPARE(m_server.errorLog().count("Unable to"), 0);
}

void LocalSearchTest::persistentSearchesAcrossRestartAndRebuild()
{
    const qint64 first = append("Notes", "text/plain", "zorbulent goods");
    QVERIFY(first > 0);
    const qint64 lasting = searchStore("Lasting", "zorbulent");
    QVERIFY(lasting > 0);
    QTRY_COMPARE_WITH_TIMEOUT(linked(lasting), QList<qint64>{first}, 20000);

    // A restart: the search runs on.
    QCOMPARE(m_server.stop(), 0);
    QVERIFY(restart());
    const qint64 second = append("Notes", "text/plain", "zorbulent ideas");
    QVERIFY(second > 0);
    QTRY_COMPARE_WITH_TIMEOUT(linked(lasting), (QList<qint64>{first, second}), 20000);
    m_listener->settle(300);

    // Its index deleted: built anew from the store, in the background, and the links that are
    // right stay as they are, unannounced.
    QCOMPARE(m_server.stop(), 0);
    QVERIFY(QDir(indexPath()).removeRecursively());
    QVERIFY(restart());
    QTRY_COMPARE_WITH_TIMEOUT(search("zorbulent"), (QList<qint64>{first, second}), 30000);
    QTRY_VERIFY(m_server.errorLog().contains("Building the search index of "));
    QTRY_VERIFY(m_server.errorLog().contains("Search index up to date: "));
    QCOMPARE(search("zebra"), idsOf({"agenda"}));
    QCOMPARE(linked(lasting), (QList<qint64>{first, second}));
    QCOMPARE(linkRecords(m_listener->settle(), lasting), (QList<QPair<int, qint64>>()));
    const qint64 third = append("Notes", "text/plain", "zorbulent tools");
    QTRY_COMPARE_WITH_TIMEOUT(linked(lasting), (QList<qint64>{first, second, third}), 20000);

    // Its files damaged: the same.
    QCOMPARE(m_server.stop(), 0);
    QDirIterator files(indexPath(), QDir::Files);
    int damaged = 0;
    while (files.hasNext()) {
        QFile file(files.next());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(64, 'x'));
        ++damaged;
    }
    QVERIFY(damaged > 0);
    QVERIFY(restart());
    QTRY_COMPARE_WITH_TIMEOUT(search("zorbulent"), (QList<qint64>{first, second, third}), 30000);
    QVERIFY2(m_server.errorLog().contains("cannot be used"), m_server.errorLog().constData());
    QCOMPARE(linked(lasting), (QList<qint64>{first, second, third}));

    // The rebuilt index keeps the search going both ways: an item that no longer matches leaves it.
    m_listener->settle(300);
    QVERIFY(storePayload(first, "plain goods"));
    QTRY_COMPARE_WITH_TIMEOUT(linked(lasting), (QList<qint64>{second, third}), 20000);
    QTRY_COMPARE(linkRecords(m_listener->batches, lasting), (QList<QPair<int, qint64>>{{Unlink, first}}));

    // The index is the user's alone, as the rest of the server's files.
    QDirIterator entries(indexPath(), QDir::AllEntries | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        struct stat info;
        QVERIFY(::stat(QFile::encodeName(entries.next()).constData(), &info) == 0);
        QVERIFY2((info.st_mode & 077) == 0, qPrintable(entries.filePath()));
    }
}

void LocalSearchTest::indexHeldByAnotherProcess()
{
    QCOMPARE(m_server.stop(), 0);
    {
        // Xapian's lock is a process's: another writer keeps the server from writing the index.
        Xapian::WritableDatabase holder(indexPath().toStdString(), Xapian::DB_OPEN);
        QVERIFY(restart());
        // Commands are not held up or failed by an index that cannot be written.
        const qint64 item = append("Notes", "text/plain", "unindexed wumpus");
        QVERIFY(item > 0);
        QVERIFY(searchStore("Wumpuses", "wumpus") > 0);
        QTRY_VERIFY(m_server.errorLog().contains("is in use by another process"));
        QCOMPARE(search("wumpus"), QList<qint64>());
        QCOMPARE(m_server.stop(), 0);
    }
    // Once it is free again the next start catches up.
    QVERIFY(restart());
    QTRY_COMPARE_WITH_TIMEOUT(search("wumpus").size(), 1, 20000);
}

void LocalSearchTest::killDuringHeavyAppends()
{
    const qint64 bulk = m_collections.value("Bulk");
    std::vector<std::unique_ptr<BulkWriter>> writers;
    for (int i = 0; i < 3; ++i) {
        writers.push_back(std::make_unique<BulkWriter>(i, m_server.socketPath(), bulk));
        writers.back()->start();
    }
    // Long enough for the index to lag behind the appends and to have committed some of them.
    QTest::qWait(2500);
    m_server.process().kill();
    QVERIFY(m_server.process().waitForFinished(10000));
    QList<qint64> removed;
    int appended = 0;
    for (const auto &writer : writers) {
        QVERIFY(writer->wait(60000));
        removed += writer->removed;
        appended += writer->appended.size();
    }
    QVERIFY2(appended > 50, qPrintable(QString::number(appended)));

    QVERIFY(restart());
    // The kill left the index behind the store, which the start found.
    QTRY_VERIFY(m_server.errorLog().contains("Bringing the search index up to date: "));
    const QList<qint64> stored = m_client.collectionItems(bulk);
    QVERIFY(!stored.isEmpty());
    for (const qint64 id : std::as_const(removed))
        QVERIFY(!stored.contains(id));
    // Every item of the store is found, once, and nothing else.
    QTRY_COMPARE_WITH_TIMEOUT(search("common collection:" + number(bulk)), stored, 60000);
    const QList<qint64> all = search("bulk");
    QCOMPARE(QSet<qint64>(all.cbegin(), all.cend()).size(), all.size());
    QCOMPARE(all, stored);
    // Each one by its own word.
    for (qsizetype i = 0; i < stored.size(); i += qMax<qsizetype>(1, stored.size() / 25)) {
        QList<QByteArray> fetched = m_client.run("UID FETCH " + number(stored.at(i)) + " (PLD:RFC822)");
        const QByteArray line = fetched.value(0);
        const qsizetype at = line.indexOf("tok");
        QVERIFY(at > 0);
        const QByteArray word = line.mid(at, line.indexOf(' ', at) - at);
        QCOMPARE(search(word), QList<qint64>{stored.at(i)});
    }
    // The index's own view: one document per item of the collection, no more.
    const Xapian::Database index(indexPath().toStdString());
    QList<qint64> documents;
    const std::string term = "XC" + std::to_string(bulk);
    for (auto it = index.postlist_begin(term); it != index.postlist_end(term); ++it)
        documents.append(qint64(*it));
    QCOMPARE(documents, stored);
    const QByteArray log = m_server.errorLog();
    const qsizetype at = log.lastIndexOf("Bringing the search index up to date: ");
    qInfo("%d appended, %d removed, %d in the store after the kill; %s", appended, int(removed.size()),
          int(stored.size()), log.mid(at, log.indexOf('\n', at) - at).constData());
}

QTEST_GUILESS_MAIN(LocalSearchTest)
#include "tst_localsearch.moc"
