// The searchable text of mails, vCards and iCalendar data: which fields each format gives, decoded
// from every transfer encoding and charset, with fixtures made here and, when the shared test
// data is there (TALVORI_SHARED_DIR), with real mails and address book and calendar exports.

#include <htmltext.h>
#include <pimtext.h>
#include <textdecoding.h>

#include <QDir>
#include <QTest>

namespace {

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

QString fieldText(const PimText &text, PimText::Field field)
{
    return text.texts(field).join(QLatin1Char('\n'));
}

} // namespace

class PimTextTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fields_data();
    void fields();
    void dates_data();
    void dates();
    void realFiles_data();
    void realFiles();
    void htmlText_data();
    void htmlText();
    void quotedPrintable_data();
    void quotedPrintable();
};

void PimTextTest::fields_data()
{
    QTest::addColumn<QString>("mimeType");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("field");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");

    const QByteArray alternative = crlf(
        "From: =?utf-8?B?SsO2cmcgQsOkcg==?= <joerg@example.org>\n"
        "To: Anna <anna@example.org>, team: bob@example.org, carl@example.org;\n"
        "Cc: =?iso-8859-1?Q?Ren=E9?= <rene@example.org>\n"
        "Subject: =?iso-8859-1?Q?Gr=FC=DFe?= aus =?utf-8?Q?K=C3=B6ln?=\n"
        "Message-ID: <abc.123@example.org>\n"
        "MIME-Version: 1.0\n"
        "Content-Type: multipart/alternative; boundary=\"b1\"\n"
        "\n"
        "--b1\n"
        "Content-Type: text/plain; charset=iso-8859-1\n"
        "Content-Transfer-Encoding: quoted-printable\n"
        "\n"
        "Sch=F6ne Gr=FC=DFe vom Rhein, mit einer sehr langen Zeile, die weich umbroch=\n"
        "en wird.\n"
        "--b1\n"
        "Content-Type: text/html; charset=utf-8\n"
        "Content-Transfer-Encoding: base64\n"
        "\n"
        + QByteArray("<html><head><style>p{color:red}</style><script>var secret=1;</script></head>"
                     "<body><p>Caf&eacute; <b>Dom</b>platte &amp; M&#252;nster</p></body></html>")
              .toBase64()
        + "\n"
          "--b1--\n");
    QTest::newRow("mail: encoded-word sender") << "message/rfc822" << alternative << int(PimText::From)
                                               << QStringList{"Jörg Bär", "joerg@example.org"} << QStringList();
    QTest::newRow("mail: recipients and groups") << "message/rfc822" << alternative << int(PimText::To)
                                                 << QStringList{"Anna", "anna@example.org", "team", "carl@example.org"}
                                                 << QStringList{"René"};
    QTest::newRow("mail: cc apart") << "message/rfc822" << alternative << int(PimText::Cc) << QStringList{"René"}
                                    << QStringList();
    QTest::newRow("mail: mixed encoded words") << "message/rfc822" << alternative << int(PimText::Subject)
                                               << QStringList{"Grüße aus Köln"} << QStringList();
    QTest::newRow("mail: message id without brackets")
        << "message/rfc822" << alternative << int(PimText::MessageId) << QStringList{"abc.123@example.org"}
        << QStringList{"<"};
    QTest::newRow("mail: quoted-printable latin-1 and base64 html")
        << "message/rfc822" << alternative << int(PimText::Body)
        << QStringList{"Schöne Grüße vom Rhein", "umbrochen", "Café", "Domplatte", "& Münster"}
        << QStringList{"secret", "color", "<p>", "=F6"};

    const QByteArray attached = crlf(
        "From: a@example.org\n"
        "Subject: outer\n"
        "Content-Type: multipart/mixed; boundary=\"m\"\n"
        "\n"
        "--m\n"
        "Content-Type: text/plain\n"
        "\n"
        "see attached\n"
        "--m\n"
        "Content-Type: image/png\n"
        "Content-Disposition: attachment; filename=\"holiday-snapshot.png\"\n"
        "Content-Transfer-Encoding: base64\n"
        "\n"
        + QByteArray("PNGBINARYWORD").toBase64()
        + "\n"
          "--m\n"
          "Content-Type: message/rfc822\n"
          "\n"
          "From: Inner Sender <inner@example.org>\n"
          "Subject: forwarded news\n"
          "Content-Type: text/plain; charset=utf-8\n"
          "Content-Transfer-Encoding: 8bit\n"
          "\n"
          "inner w\xc3\xb6rds\n"
          "--m--\n");
    QTest::newRow("mail: attached message and file names in the body, images not")
        << "message/rfc822" << attached << int(PimText::Body)
        << QStringList{"see attached", "Inner Sender", "forwarded news", "inner wörds", "holiday-snapshot.png"}
        << QStringList{"PNGBINARYWORD"};
    QTest::newRow("mail: attached message's subject is not the mail's")
        << "message/rfc822" << attached << int(PimText::Subject) << QStringList{"outer"} << QStringList{"forwarded"};

    const QByteArray raw8bit = "From: M\xfcller <m@example.org>\r\nSubject: Gr\xfc\xdf\x65\r\n\r\nK\xf6rper ohne Zeichensatz\r\n";
    QTest::newRow("mail: raw latin-1 header") << "message/rfc822" << raw8bit << int(PimText::Subject)
                                              << QStringList{"Grüße"} << QStringList();
    QTest::newRow("mail: body without charset") << "message/rfc822" << raw8bit << int(PimText::Body)
                                                << QStringList{"Körper ohne Zeichensatz"} << QStringList();
    QTest::newRow("mail: header alone") << "message/rfc822" << QByteArray("Subject: only a header\r\n\r\n")
                                        << int(PimText::Subject) << QStringList{"only a header"} << QStringList();

    const QByteArray vcard21 = "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=ISO-8859-2;ENCODING=QUOTED-PRINTABLE:=A3uk=B3asz;Jan\r\n"
                               "FN;CHARSET=ISO-8859-2;ENCODING=QUOTED-PRINTABLE:Jan =A3uk=\r\n=B3asz\r\nORG:Firma;Dzia\xc5\x82\r\n"
                               "TEL;WORK;VOICE:+48 12 345\r\nEMAIL;INTERNET:jan@example.pl\r\nEND:VCARD\r\n";
    QTest::newRow("vcard 2.1: quoted-printable, charset, soft break")
        << "text/directory" << vcard21 << int(PimText::Name) << QStringList{"Łukłasz Jan", "Jan Łukłasz"} << QStringList{"="};
    QTest::newRow("vcard 2.1: no charset, not utf-8: windows-1252")
        << "text/directory" << QByteArray("BEGIN:VCARD\r\nFN;ENCODING=QUOTED-PRINTABLE:Gr=FC=DFe\r\nEND:VCARD\r\n")
        << int(PimText::Name) << QStringList{"Grüße"} << QStringList();
    QTest::newRow("vcard 2.1: structured org") << "text/directory" << vcard21 << int(PimText::Organization)
                                               << QStringList{"Firma Dział"} << QStringList{";"};
    QTest::newRow("vcard 2.1: phone and email")
        << "text/directory" << vcard21 << int(PimText::Phone) << QStringList{"+48 12 345"} << QStringList();

    const QByteArray vcard4 = "BEGIN:VCARD\nVERSION:4.0\nFN:Ada\n  Lovelace\nitem1.EMAIL;TYPE=work:ada@example.org\n"
                              "TEL;VALUE=uri;TYPE=\"voice,home\":tel:+44-20-1234\nNOTE:First line\\nsecond\\, with comma\n"
                              "PHOTO;ENCODING=b:QUJD\nEND:VCARD\n";
    QTest::newRow("vcard 4: folded name") << "text/vcard" << vcard4 << int(PimText::Name)
                                          << QStringList{"Ada Lovelace"} << QStringList();
    QTest::newRow("vcard 4: grouped email") << "text/vcard" << vcard4 << int(PimText::Email)
                                            << QStringList{"ada@example.org"} << QStringList();
    QTest::newRow("vcard 4: tel uri") << "text/vcard" << vcard4 << int(PimText::Phone) << QStringList{"+44-20-1234"}
                                      << QStringList{"tel:"};
    QTest::newRow("vcard 4: note escapes") << "text/vcard" << vcard4 << int(PimText::Body)
                                           << QStringList{"First line\nsecond, with comma"} << QStringList{"\\"};

    const QByteArray calendar = crlf(
        "BEGIN:VCALENDAR\n"
        "BEGIN:VTIMEZONE\n"
        "TZID:Europe/Berlin\n"
        "BEGIN:STANDARD\n"
        "DTSTART:19701025T030000\n"
        "END:STANDARD\n"
        "END:VTIMEZONE\n"
        "BEGIN:VEVENT\n"
        "SUMMARY:Quarterly planning\\, room B\n"
        "DESCRIPTION:Bring the numbers.\\nAnd the\n"
        "  slides.\n"
        "LOCATION:Gen\xc3\xa8ve\n"
        "ORGANIZER;CN=\"Boss, The\":mailto:boss@example.org\n"
        "DTSTART;TZID=Europe/Berlin:20240305T093000\n"
        "BEGIN:VALARM\n"
        "DESCRIPTION:Reminder text\n"
        "SUMMARY:Alarm summary\n"
        "END:VALARM\n"
        "END:VEVENT\n"
        "END:VCALENDAR\n");
    QTest::newRow("ical: summary, not the alarm's") << "text/calendar" << calendar << int(PimText::Summary)
                                                    << QStringList{"Quarterly planning, room B"}
                                                    << QStringList{"Alarm"};
    QTest::newRow("ical: folded description") << "text/calendar" << calendar << int(PimText::Description)
                                              << QStringList{"Bring the numbers.\nAnd the slides."}
                                              << QStringList{"Reminder"};
    QTest::newRow("ical: location") << "text/calendar" << calendar << int(PimText::Location) << QStringList{"Genève"}
                                    << QStringList();
    QTest::newRow("ical: organizer name") << "text/calendar" << calendar << int(PimText::Name)
                                          << QStringList{"Boss, The"} << QStringList();
    QTest::newRow("ical: organizer address") << "text/calendar" << calendar << int(PimText::Email)
                                             << QStringList{"boss@example.org"} << QStringList{"mailto"};

    QTest::newRow("other: text") << "text/plain" << QByteArray("plain note na\xc3\xafve") << int(PimText::Body)
                                 << QStringList{"plain note naïve"} << QStringList();
    QTest::newRow("other: binary") << "application/octet-stream" << QByteArray("bin\0ary words", 13)
                                   << int(PimText::Body) << QStringList() << QStringList{"words"};
    QTest::newRow("other: a vcard by its content") << "application/x-unknown" << vcard4 << int(PimText::Name)
                                                   << QStringList{"Ada Lovelace"} << QStringList();
}

void PimTextTest::fields()
{
    QFETCH(QString, mimeType);
    QFETCH(QByteArray, payload);
    QFETCH(int, field);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);

    const QString text = fieldText(PimText::fromPayload(mimeType, payload), PimText::Field(field));
    for (const QString &wanted : present)
        QVERIFY2(text.contains(wanted), qPrintable(QStringLiteral("'%1' not in '%2'").arg(wanted, text)));
    for (const QString &unwanted : absent)
        QVERIFY2(!text.contains(unwanted), qPrintable(QStringLiteral("'%1' in '%2'").arg(unwanted, text)));
    if (present.isEmpty())
        QVERIFY(text.isEmpty());
}

void PimTextTest::dates_data()
{
    QTest::addColumn<QString>("mimeType");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("date"); // ISO, empty for none

    QTest::newRow("mail date keeps its offset") << "message/rfc822"
                                                << QByteArray("Date: Tue, 31 Dec 2024 23:30:00 -0500\r\n\r\nx\r\n")
                                                << "2024-12-31T23:30:00-05:00";
    QTest::newRow("mail without date") << "message/rfc822" << QByteArray("Subject: x\r\n\r\nx\r\n") << QString();
    QTest::newRow("event date only") << "text/calendar"
                                     << QByteArray("BEGIN:VEVENT\nDTSTART;VALUE=DATE:20240229\nEND:VEVENT\n")
                                     << "2024-02-29T00:00:00+00:00";
    QTest::newRow("event start, not the time zone's") << "text/calendar"
                                                      << QByteArray("BEGIN:VCALENDAR\nBEGIN:VTIMEZONE\nBEGIN:DAYLIGHT\n"
                                                                    "DTSTART:19700329T020000\nEND:DAYLIGHT\nEND:VTIMEZONE\n"
                                                                    "BEGIN:VEVENT\nDTSTART:20230101T120000Z\nEND:VEVENT\n"
                                                                    "END:VCALENDAR\n")
                                                      << "2023-01-01T12:00:00+00:00";
    QTest::newRow("event with a broken start") << "text/calendar"
                                               << QByteArray("BEGIN:VEVENT\nDTSTART:2023-13-45\nEND:VEVENT\n") << QString();
}

void PimTextTest::dates()
{
    QFETCH(QString, mimeType);
    QFETCH(QByteArray, payload);
    QFETCH(QString, date);
    const QDateTime found = PimText::fromPayload(mimeType, payload).date();
    QCOMPARE(found.isValid() ? found.toString(Qt::ISODate) : QString(), date);
}

void PimTextTest::realFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("wanted");

    QTest::newRow("base64 latin-1 body") << "mail/hunny_m3004.eml" << int(PimText::Body) << "mißliche Lage";
    QTest::newRow("utf-7 encoded word") << "mail/hunny_m0006.eml" << int(PimText::Subject) << "Die Hasen und die Frösche";
    QTest::newRow("windows-1252 encoded word") << "mail/hunny_m0010.eml" << int(PimText::To) << "Heinz Müller";
    QTest::newRow("raw latin-1 in a folded subject") << "mail/hunny_m0001.eml" << int(PimText::Subject) << "Frösche";
    QTest::newRow("quoted-printable html") << "mail/gluon_large_message.eml" << int(PimText::Body)
                                           << "independent security audit";
    QTest::newRow("quoted-printable text attachment") << "mail/hunny_m0022.eml" << int(PimText::Body) << "bbbbbbbbbb";
    QTest::newRow("iso-2022-jp body") << "mail/rbmail_japanese_iso_2022.eml" << int(PimText::Body) << "すみません";
    QTest::newRow("base64 utf-8 subject") << "mail/rbmail_japanese_iso_2022.eml" << int(PimText::Subject) << "まみむめも";
    QTest::newRow("korean charset alias") << "mail/rbmail_ks_c_5601-1987.eml" << int(PimText::Body) << "스티해";
    QTest::newRow("raw utf-8 headers") << "mail/rbmail_utf8_headers.eml" << int(PimText::From) << "Jöhn Doe";
    QTest::newRow("digest parts") << "mail/hunny_m4007.eml" << int(PimText::Body) << "m2 body";
    QTest::newRow("attached message") << "mail/rbmail_attachment_message_rfc822.eml" << int(PimText::Body)
                                      << "figure out what is going wrong";
    QTest::newRow("vcard 2.1 quoted-printable 8-bit") << "pim/vcard-antoni-outlook2003.vcf" << int(PimText::Location)
                                                      << "Kraków";
    QTest::newRow("vcard raw latin-1") << "pim/vcard-vCards-SAP.vcf" << int(PimText::Name) << "Ingrid Spaßlund";
    QTest::newRow("vcard 3 folded") << "pim/vcard-rfc2426.vcf" << int(PimText::Organization)
                                    << "Netscape Communications Corp.";
    QTest::newRow("vcard 4 tel uri") << "pim/Simon_Perreault.vcf" << int(PimText::Phone) << "+1-418-656-9254";
    QTest::newRow("event summary") << "pim/issue_165_missing_event.ics" << int(PimText::Summary)
                                   << "Sprint 25 Daily Standup";
    QTest::newRow("event location utf-8") << "pim/issue_348_exception_parsing_value.ics" << int(PimText::Location)
                                          << "Sixt Genève Aéroport";
}

void PimTextTest::realFiles()
{
    QFETCH(QString, file);
    QFETCH(int, field);
    QFETCH(QString, wanted);
    const QDir testdata(qEnvironmentVariable("TALVORI_SHARED_DIR", QStringLiteral("../shared")) + QLatin1String("/testdata"));
    QFile input(testdata.filePath(file));
    if (!input.open(QIODevice::ReadOnly))
        QSKIP(qPrintable(QStringLiteral("no shared test data at %1 (set TALVORI_SHARED_DIR)").arg(input.fileName())));
    const QString mimeType = file.endsWith(QLatin1String(".eml")) ? QStringLiteral("message/rfc822")
                             : file.endsWith(QLatin1String(".vcf")) ? QStringLiteral("text/vcard")
                                                                     : QStringLiteral("text/calendar");
    const QString text = fieldText(PimText::fromPayload(mimeType, input.readAll()), PimText::Field(field));
    QVERIFY2(text.contains(wanted), qPrintable(text.left(2000)));
}

void PimTextTest::htmlText_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("text");

    QTest::newRow("blocks part words") << "<p>one</p><p>two<br>three</p>" << " one  two three ";
    QTest::newRow("inline markup does not") << "Fr<b>ö</b>sche <span>und</span>" << "Frösche und";
    QTest::newRow("scripts, styles, comments") << "a<script>x<y</script>b<style>p{}</style>c<!-- d -->e"
                                                << "a b c e";
    QTest::newRow("references") << "&lt;&amp;&gt; &#246;&#xFC; &eacute; &euro; &bogus; &#0;"
                                << "<&> öü é € &bogus; &#0;";
    QTest::newRow("unclosed tag") << "text <p" << "text  ";
}

void PimTextTest::htmlText()
{
    QFETCH(QString, html);
    QTEST(HtmlText::toPlainText(html), "text");
}

void PimTextTest::quotedPrintable_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<QByteArray>("decoded");

    QTest::newRow("escapes") << QByteArray("caf=C3=A9 =3D") << QByteArray("caf\xc3\xa9 =");
    QTest::newRow("soft breaks, trailing blanks") << QByteArray("one=\r\ntwo= \nthree=") << QByteArray("onetwothree");
    QTest::newRow("broken escapes kept") << QByteArray("=ZZ a=4") << QByteArray("=ZZ a=4");
}

void PimTextTest::quotedPrintable()
{
    QFETCH(QByteArray, encoded);
    QTEST(TextDecoding::fromQuotedPrintable(encoded), "decoded");
}

QTEST_GUILESS_MAIN(PimTextTest)
#include "tst_pimtext.moc"
