#include "mailcorpus.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QTimeZone>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

// The head of the vocabulary: words of office mail, most frequent first.
const char *const CommonWords[] = {
    "the", "to", "and", "of", "a", "in", "for", "is", "on", "that", "we", "you", "it", "with", "this", "be", "will",
    "are", "as", "have", "please", "at", "from", "can", "meeting", "our", "by", "not", "project", "if", "all",
    "thanks", "team", "or", "an", "let", "know", "update", "report", "next", "week", "review", "time", "would",
    "new", "need", "any", "about", "there", "more", "also", "should", "they", "which", "one", "budget", "schedule",
    "plan", "customer", "release", "draft", "attached", "question", "questions", "call", "today", "tomorrow",
    "monday", "friday", "agenda", "notes", "minutes", "proposal", "contract", "invoice", "payment", "order",
    "delivery", "status", "issue", "issues", "feedback", "design", "document", "version", "changes", "support",
    "server", "database", "network", "security", "access", "account", "password", "training", "office", "travel",
    "hotel", "flight", "conference", "workshop", "presentation", "slides", "quarter", "quarterly", "annual",
    "sales", "marketing", "product", "launch", "deadline", "priority", "urgent", "follow", "up", "discussion",
    "decision", "approval", "approved", "confirm", "confirmed", "available", "availability", "lunch", "dinner",
    "coffee", "holiday", "vacation", "weekend", "morning", "afternoon", "evening", "room", "building", "floor",
    "phone", "email", "address", "list", "group", "department", "manager", "director", "board", "members",
    "staff", "hiring", "interview", "candidate", "offer", "salary", "benefits", "policy", "process", "quality",
    "testing", "tests", "bug", "bugs", "fix", "fixed", "build", "deployment", "migration", "backup", "storage",
    "cloud", "service", "services", "costs", "estimate", "forecast", "revenue", "growth", "risk", "risks",
    "compliance", "audit", "legal", "partner", "partners", "vendor", "supplier", "shipping", "warehouse",
    "inventory", "stock", "price", "prices", "discount", "analysis", "data", "results", "numbers", "figures",
    "chart", "spreadsheet", "summary", "overview", "details", "information", "request", "requests", "reply",
    "answer", "problem", "solution", "idea", "ideas", "suggestion", "improvement", "progress", "milestone",
    "goal", "goals", "target", "strategy", "roadmap", "timeline", "phase", "stage", "kickoff", "retrospective",
    "café", "naïve", "Grüße", "Zürich", "São", "Ærø", "Straße", "résumé", "déjà", "façade"};

const char *const FirstNames[] = {"Anna", "Bob", "Carla", "David", "Eva", "Frank", "Greta", "Hugo", "Ines", "Jonas",
                                  "Karin", "Lukas", "Maria", "Nils", "Olga", "Paul", "Rita", "Stefan", "Tina", "Uwe",
                                  "Vera", "Walter", "Xenia", "Yusuf", "Zoe", "Jürgen", "Søren", "Chloé", "José",
                                  "Zoë", "Émile", "Björn"};
const char *const LastNames[] = {"Smith", "Jones", "Miller", "Schmidt", "Garcia", "Brown", "Wilson", "Taylor",
                                 "Müller", "Dubois", "Rossi", "Novak", "Kowalski", "Johansson", "Nakamura",
                                 "Okafor", "Silva", "Larsen", "Horvat", "Papadopoulos", "Øster", "Peña", "Weiß",
                                 "O'Brien"};
const char *const Domains[] = {"example.com", "corp.example", "mail.example.org", "example.net", "lists.example.org",
                               "partner.example", "vendor.example.com", "uni.example.edu"};

constexpr int TailWords = 30000;
constexpr int PeopleCount = 400;
constexpr int CommonCount = int(sizeof(CommonWords) / sizeof(CommonWords[0]));

// Zipf's law over count ranks: the cumulative weights, to draw ranks from.
QList<double> zipf(int count, double exponent)
{
    QList<double> cumulative;
    cumulative.reserve(count);
    double sum = 0;
    for (int rank = 1; rank <= count; ++rank) {
        sum += 1.0 / std::pow(rank, exponent);
        cumulative.append(sum);
    }
    for (double &value : cumulative)
        value /= sum;
    return cumulative;
}

int draw(const QList<double> &cumulative, QRandomGenerator &random)
{
    const double point = random.generateDouble();
    return int(std::lower_bound(cumulative.cbegin(), cumulative.cend(), point) - cumulative.cbegin());
}

const QList<double> &wordRanks()
{
    static const QList<double> ranks = zipf(CommonCount + TailWords, 1.0);
    return ranks;
}

const QList<double> &personRanks()
{
    static const QList<double> ranks = zipf(PeopleCount, 0.8);
    return ranks;
}

QByteArray base36(quint64 value)
{
    return QByteArray::number(value, 36);
}

// "=?utf-8?Q?...?=" for text that is not ASCII, the text itself otherwise.
QByteArray headerText(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    bool ascii = true;
    for (const char c : utf8)
        ascii = ascii && uchar(c) < 0x80;
    if (ascii)
        return utf8;
    QByteArray encoded = "=?utf-8?Q?";
    for (const char c : utf8) {
        const uchar u = uchar(c);
        if (u == ' ')
            encoded += '_';
        else if (u < 0x80 && (std::isalnum(u) || u == '.' || u == '-'))
            encoded += char(u);
        else
            encoded += '=' + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
    }
    return encoded + "?=";
}

QByteArray mailbox(const MailCorpus::Person &person)
{
    return headerText(person.name) + " <" + person.address + '>';
}

QByteArray quotedPrintable(const QByteArray &text)
{
    QByteArray encoded;
    int column = 0;
    for (const char c : text) {
        const uchar u = uchar(c);
        QByteArray piece;
        if (c == '\n') {
            encoded += "\r\n";
            column = 0;
            continue;
        }
        if ((u >= 33 && u <= 126 && u != '=') || u == ' ')
            piece = QByteArray(1, c);
        else
            piece = '=' + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
        if (column + piece.size() > 75) {
            encoded += "=\r\n";
            column = 0;
        }
        encoded += piece;
        column += int(piece.size());
    }
    return encoded;
}

QByteArray wrappedBase64(const QByteArray &data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray lines;
    for (qsizetype at = 0; at < encoded.size(); at += 76)
        lines += encoded.mid(at, 76) + "\r\n";
    return lines;
}

void capitalize(QByteArray &word)
{
    if (!word.isEmpty() && word.at(0) >= 'a' && word.at(0) <= 'z')
        word[0] = char(word.at(0) - 'a' + 'A');
}

QByteArray withCrlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

} // namespace

MailCorpus::MailCorpus(quint32 seed)
    : m_seed(seed)
{
}

int MailCorpus::vocabularySize()
{
    return CommonCount + TailWords;
}

int MailCorpus::people()
{
    return PeopleCount;
}

QByteArray MailCorpus::word(int rank) const
{
    if (rank < CommonCount)
        return CommonWords[rank];
    // Pronounceable words made of syllables, different for every rank.
    static const char *const syllables[] = {"ka", "lo", "mi", "ne", "tu", "ra", "vo", "si", "de", "pa", "gu", "zo",
                                            "be", "fi", "ho", "ju", "ly", "ma", "no", "qui", "re", "ta", "wa", "xe"};
    constexpr int count = int(sizeof(syllables) / sizeof(syllables[0]));
    QByteArray word;
    int value = rank - CommonCount + count * count;
    while (value > 0) {
        word += syllables[value % count];
        value /= count;
    }
    return word;
}

MailCorpus::Person MailCorpus::person(int k) const
{
    constexpr int firsts = int(sizeof(FirstNames) / sizeof(FirstNames[0]));
    constexpr int lasts = int(sizeof(LastNames) / sizeof(LastNames[0]));
    constexpr int domains = int(sizeof(Domains) / sizeof(Domains[0]));
    const QString first = QString::fromUtf8(FirstNames[(k * 7) % firsts]);
    const QString last = QString::fromUtf8(LastNames[(k * 13 + k / firsts) % lasts]);
    Person person;
    person.name = first + QLatin1Char(' ') + last;
    // Addresses are ASCII: the local part of a name without its accents, numbered.
    QString local = (first + QLatin1Char('.') + last).normalized(QString::NormalizationForm_KD).toLower();
    local.removeIf([](QChar c) { return c.unicode() > 0x7f || c == QLatin1Char('\''); });
    person.address = local.toLatin1() + QByteArray::number(k) + '@' + Domains[k % domains];
    return person;
}

QByteArray MailCorpus::reference(int index) const
{
    return "ref" + base36(quint64(index) * 7919 + 100000);
}

QByteArray MailCorpus::messageId(int index) const
{
    return base36(quint64(index) * 104729 + m_seed) + '.' + QByteArray::number(index) + "@mail.example.com";
}

QByteArray MailCorpus::message(int index) const
{
    QRandomGenerator random(m_seed * 2654435761u ^ quint32(index));
    const auto words = [&](int count) {
        QList<QByteArray> list;
        for (int i = 0; i < count; ++i)
            list.append(word(draw(wordRanks(), random)));
        return list;
    };
    const Person from = person(draw(personRanks(), random));
    QList<Person> to;
    for (int i = 0, n = 1 + int(random.bounded(3)); i < n; ++i)
        to.append(person(draw(personRanks(), random)));
    QList<Person> cc;
    for (int i = 0, n = random.bounded(10) < 3 ? 1 + int(random.bounded(2)) : 0; i < n; ++i)
        cc.append(person(draw(personRanks(), random)));

    QList<QByteArray> subjectWords = words(3 + int(random.bounded(6)));
    capitalize(subjectWords.first());
    const int kind = int(random.bounded(100));
    const QByteArray prefix = kind < 30 ? "Re: " : kind < 35 ? "Fwd: " : "";
    const QString subject = QString::fromUtf8(prefix + subjectWords.join(' '));

    // Ten years, in one of a few time zones.
    const qint64 start = QDateTime(QDate(2015, 1, 1), QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch();
    const int offsets[] = {0, 3600, 7200, -18000, -28800, 19800, 32400};
    const int offset = offsets[random.bounded(int(sizeof(offsets) / sizeof(offsets[0])))];
    const QDateTime date = QDateTime::fromSecsSinceEpoch(start + qint64(random.bounded(quint64(3652) * 86400)),
                                                         QTimeZone(offset));

    QByteArray body;
    const int paragraphs = 1 + int(random.bounded(8));
    for (int p = 0; p < paragraphs; ++p) {
        QList<QByteArray> paragraph = words(12 + int(random.bounded(70)));
        capitalize(paragraph.first());
        QByteArray line;
        for (const QByteArray &w : std::as_const(paragraph)) {
            if (line.size() + w.size() > 72) {
                body += line + '\n';
                line.clear();
            }
            line += (line.isEmpty() ? "" : " ") + w;
        }
        body += line + ".\n\n";
    }
    body += "Ref: " + reference(index) + "\n";
    if (!prefix.isEmpty()) {
        body += "\nOn " + date.addDays(-1).toString(Qt::RFC2822Date).toUtf8() + ", " + to.first().name.toUtf8()
                + " wrote:\n";
        const QList<QByteArray> quoted = words(20 + int(random.bounded(60)));
        for (qsizetype at = 0; at < quoted.size(); at += 10)
            body += "> " + quoted.mid(at, 10).join(' ') + '\n';
    }
    body += "\n-- \n" + from.name.toUtf8() + "\n" + words(2).join(' ') + " department\n";

    QByteArray header = "From: " + mailbox(from) + "\r\nTo: ";
    for (qsizetype i = 0; i < to.size(); ++i)
        header += (i ? ", " : "") + mailbox(to.at(i));
    header += "\r\n";
    if (!cc.isEmpty()) {
        header += "Cc: ";
        for (qsizetype i = 0; i < cc.size(); ++i)
            header += (i ? ", " : "") + mailbox(cc.at(i));
        header += "\r\n";
    }
    header += "Subject: " + headerText(subject) + "\r\nDate: " + date.toString(Qt::RFC2822Date).toLatin1()
              + "\r\nMessage-ID: <" + messageId(index) + ">\r\n";
    if (!prefix.isEmpty() && index > 0)
        header += "In-Reply-To: <" + messageId(int(random.bounded(index))) + ">\r\n";
    header += "MIME-Version: 1.0\r\n";

    const int encoding = int(random.bounded(100));
    if (encoding < 50)
        return header + "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
               + withCrlf(body);
    if (encoding < 62)
        return header + "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
               + quotedPrintable(body);
    if (encoding < 70)
        return header
               + "Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
               + quotedPrintable(QString::fromUtf8(body).toLatin1());
    if (encoding < 78)
        return header + "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
               + wrappedBase64(withCrlf(body));
    const QByteArray boundary = "=_bench_" + base36(quint64(index) + 1000000);
    if (encoding < 94) {
        QByteArray html = "<html><body>";
        for (const QByteArray &paragraph : body.split('\n'))
            html += "<p>" + QString::fromUtf8(paragraph).toHtmlEscaped().toUtf8() + "</p>\n";
        html += "</body></html>\n";
        return header + "Content-Type: multipart/alternative; boundary=\"" + boundary + "\"\r\n\r\n--" + boundary
               + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
               + quotedPrintable(body) + "\r\n--" + boundary
               + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
               + quotedPrintable(html) + "\r\n--" + boundary + "--\r\n";
    }
    QByteArray attachment(qsizetype(4096 + random.bounded(36 * 1024)), Qt::Uninitialized);
    for (char &c : attachment)
        c = char(random.bounded(256));
    return header + "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n--" + boundary
           + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + withCrlf(body)
           + "\r\n--" + boundary
           + "\r\nContent-Type: application/pdf; name=\"report.pdf\"\r\nContent-Transfer-Encoding: base64\r\n"
             "Content-Disposition: attachment; filename=\"report.pdf\"\r\n\r\n"
           + wrappedBase64(attachment) + "--" + boundary + "--\r\n";
}
